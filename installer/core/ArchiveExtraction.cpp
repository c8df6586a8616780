#include "ArchiveExtraction.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>
#include <vector>

#include <archive.h>
#include <archive_entry.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include "FilePath.h"
#include "GameTexts.h"
#include "InstallerTexts.h"

namespace kv::installer {

namespace fs = std::filesystem;

namespace {

struct ArchiveFree
{
    void operator()(archive *reader) const { archive_read_free(reader); }
};
using ArchiveReader = std::unique_ptr<archive, ArchiveFree>;

// A reader of the gzip-compressed tar archive at path; nothing when it cannot be opened.
ArchiveReader OpenArchive(const std::string &path)
{
    ArchiveReader reader(archive_read_new());
    if (!reader) {
        throw std::bad_alloc();
    }
    archive_read_support_filter_gzip(reader.get());
    archive_read_support_format_tar(reader.get());
#ifdef _WIN32
    const int status =
        archive_read_open_filename_w(reader.get(), imaging::PathFromUtf8(path).c_str(), 1 << 16);
#else
    const int status = archive_read_open_filename(reader.get(), path.c_str(), 1 << 16);
#endif
    if (status != ARCHIVE_OK) {
        return nullptr;
    }
    return reader;
}

// A name the member carries (its own, or the member its hard link names) as UTF-8: on Windows as
// libarchive converts it to UTF-16 (a pax archive's names are UTF-8, an old-style one's in the
// system's code page), elsewhere the bytes themselves, as the file system takes them.
template <const char *(*Narrow)(archive_entry *), const wchar_t *(*Wide)(archive_entry *)>
std::string Utf8Name(archive_entry *entry)
{
#ifdef _WIN32
    if (const wchar_t *wide = Wide(entry); wide != nullptr) {
        const std::u8string text = fs::path(wide).u8string();
        return std::string(text.begin(), text.end());
    }
    return {};
#else
    const char *bytes = Narrow(entry);
    return bytes != nullptr ? bytes : "";
#endif
}

std::string NameOf(archive_entry *entry)
{
    return Utf8Name<archive_entry_pathname, archive_entry_pathname_w>(entry);
}

std::string HardLinkOf(archive_entry *entry)
{
    return Utf8Name<archive_entry_hardlink, archive_entry_hardlink_w>(entry);
}

// The member's name with "." parts and separators at either end dropped: "./a//b/" gives "a/b".
std::string Cleaned(const std::string &name)
{
    std::string cleaned;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("/\\", start);
        if (end == std::string::npos) {
            end = name.size();
        }
        const std::string_view part = std::string_view(name).substr(start, end - start);
        if (!part.empty() && part != ".") {
            cleaned += (cleaned.empty() ? "" : "/") + std::string(part);
        }
        start = end + 1;
    }
    return cleaned;
}

ExtractionOutcome Failed(ExtractionResult result, std::string message)
{
    return ExtractionOutcome{result, std::move(message)};
}

// Damaged, cut short or no gzip-compressed tar archive at all.
ExtractionOutcome Unreadable()
{
    return Failed(ExtractionResult::Unreadable, texts::kArchiveNotListed);
}

ExtractionOutcome NotWritten(const fs::path &path, const std::string &reason)
{
    return Failed(ExtractionResult::WriteFailed,
                  game::texts::Filled(texts::kFileNotWritten, imaging::Utf8FromPath(path)) + " " +
                      reason);
}

} // namespace

ExtractionOutcome CheckArchive(const std::string &archivePath)
{
    const ArchiveReader reader = OpenArchive(archivePath);
    if (!reader) {
        return Unreadable();
    }
    std::set<std::string> files;
    archive_entry *entry = nullptr;
    int status = ARCHIVE_OK;
    while ((status = archive_read_next_header(reader.get(), &entry)) == ARCHIVE_OK ||
           status == ARCHIVE_WARN) {
        const std::string name = NameOf(entry);
        const std::string hardLink = HardLinkOf(entry);
        const auto type = archive_entry_filetype(entry);
        if (type == AE_IFCHR || type == AE_IFBLK || type == AE_IFIFO || type == AE_IFSOCK) {
            return Failed(ExtractionResult::HoldsDevices, texts::kArchiveHoldsDevices);
        }
        const bool plain = (type == AE_IFREG || type == AE_IFDIR) && hardLink.empty();
        // A hard link may only name a file of the archive met before it.
        const bool copy = !hardLink.empty() && files.contains(Cleaned(hardLink));
        if (!MemberNameStaysInside(name) || !(plain || copy)) {
            return Failed(ExtractionResult::MemberRefused,
                          game::texts::Filled(texts::kArchiveMemberRefused, name));
        }
        if (type != AE_IFDIR) {
            files.insert(Cleaned(name));
        }
        if (archive_read_data_skip(reader.get()) < ARCHIVE_WARN) {
            return Unreadable();
        }
    }
    if (status != ARCHIVE_EOF) {
        return Unreadable();
    }
    return {};
}

namespace {

// A name beside target that nothing uses yet, for the file while it is written.
fs::path TemporaryBeside(const fs::path &target)
{
    std::error_code ignored;
    for (int attempt = 0;; ++attempt) {
        fs::path candidate = target;
        candidate += ".kvrpart" + (attempt == 0 ? std::string() : std::to_string(attempt));
        if (!fs::exists(fs::symlink_status(candidate, ignored))) {
            return candidate;
        }
    }
}

// Gives temporary the name target, replacing a file already there.
std::error_code MoveOver(const fs::path &temporary, const fs::path &target)
{
    std::error_code error;
#ifdef _WIN32
    // MOVEFILE_WRITE_THROUGH: the file's data is on disk before the name is.
    if (!MoveFileExW(temporary.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = std::error_code(int(GetLastError()), std::system_category());
    }
#else
    fs::rename(temporary, target, error);
#endif
    return error;
}

// Has write put the file into a temporary beside target, then gives it target's name; the reason
// when either fails, with the temporary removed.
template <typename Write>
std::optional<std::string> WriteWhole(const fs::path &target, Write &&write)
{
    const fs::path temporary = TemporaryBeside(target);
    std::optional<std::string> failure = write(temporary);
    if (!failure) {
        if (const std::error_code error = MoveOver(temporary, target)) {
            failure = error.message();
        }
    }
    if (failure) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
    }
    return failure;
}

// The data of the current member into the file at path, with a sparse member's holes as zeros.
std::optional<std::string> CopyData(archive *reader, const fs::path &path)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        return std::string("It could not be created.");
    }
    std::int64_t written = 0;
    while (true) {
        const void *block = nullptr;
        std::size_t size = 0;
        la_int64_t offset = 0;
        const int status = archive_read_data_block(reader, &block, &size, &offset);
        if (status == ARCHIVE_EOF) {
            out.close();
            return out ? std::nullopt : std::optional<std::string>("Writing it failed.");
        }
        if (status < ARCHIVE_WARN || offset < written) {
            return std::string(texts::kArchiveNotListed);
        }
        static const std::vector<char> zeros(1 << 16);
        while (written < offset) {
            const auto count = std::streamsize(std::min<std::int64_t>(offset - written, 1 << 16));
            out.write(zeros.data(), count);
            written += count;
        }
        out.write(static_cast<const char *>(block), std::streamsize(size));
        written += std::int64_t(size);
        if (!out) {
            return std::string("Writing it failed.");
        }
    }
}

} // namespace

bool MemberNameStaysInside(const std::string &name)
{
    if (name.empty() || name.front() == '/' || name.front() == '\\' ||
        name.find(':') != std::string::npos) {
        return false;
    }
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("/\\", start);
        if (end == std::string::npos) {
            end = name.size();
        }
        const std::string_view part = std::string_view(name).substr(start, end - start);
        // Windows drops trailing dots and blanks from a name, so ".. " and "..." would be ".."
        // there; no part that is dots alone, beyond ".", or that ends in a dot or blank passes.
        if (part.size() > 1 && (part.back() == '.' || part.back() == ' ')) {
            return false;
        }
        // CON, NUL, COM1, ... would open the device, whatever folder they are named in.
        if (imaging::IsDeviceName(std::string(part))) {
            return false;
        }
        start = end + 1;
    }
    return !Cleaned(name).empty();
}

ExtractionOutcome ExtractArchive(const std::string &archivePath, const std::string &gameLocation)
{
    if (ExtractionOutcome checked = CheckArchive(archivePath);
        checked.result != ExtractionResult::Extracted) {
        return checked;
    }
    const ArchiveReader reader = OpenArchive(archivePath);
    if (!reader) {
        return Unreadable();
    }
    const fs::path folder = imaging::PathFromUtf8(gameLocation);
    const auto below = [&folder](const std::string &name) {
        const std::string cleaned = Cleaned(name);
        return (folder / fs::path(std::u8string(cleaned.begin(), cleaned.end()))).make_preferred();
    };
    archive_entry *entry = nullptr;
    int status = ARCHIVE_OK;
    while ((status = archive_read_next_header(reader.get(), &entry)) == ARCHIVE_OK ||
           status == ARCHIVE_WARN) {
        const fs::path target = below(NameOf(entry));
        std::error_code error;
        if (archive_entry_filetype(entry) == AE_IFDIR && HardLinkOf(entry).empty()) {
            fs::create_directories(target, error);
            if (error || !fs::is_directory(target, error)) {
                return NotWritten(target, error ? error.message() : "It is no folder.");
            }
            continue;
        }
        fs::create_directories(target.parent_path(), error);
        if (error) {
            return NotWritten(target.parent_path(), error.message());
        }
        std::optional<std::string> failure;
        if (const std::string hardLink = HardLinkOf(entry); !hardLink.empty()) {
            const fs::path source = below(hardLink);
            failure = WriteWhole(target, [&source](const fs::path &temporary) {
                std::error_code error;
                fs::copy_file(source, temporary, fs::copy_options::overwrite_existing, error);
                return error ? std::optional<std::string>(error.message()) : std::nullopt;
            });
        } else {
            failure = WriteWhole(target, [&reader](const fs::path &temporary) {
                return CopyData(reader.get(), temporary);
            });
        }
        if (failure) {
            return NotWritten(target, *failure);
        }
    }
    if (status != ARCHIVE_EOF) {
        return Unreadable();
    }
    return {};
}

} // namespace kv::installer
