// The file layer on Windows, through the wide-character API so that any file name works.
#include "FileOperations.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include <windows.h>

#include <shellapi.h>

#include "ConversionError.h"
#include "FilePath.h"
#include "ImagingTexts.h"

namespace kv::converter {

namespace fs = std::filesystem;

namespace {

// The C library's error number for a system error, so that messages read as on other systems.
int ErrnoOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_INVALID_NAME:
        return EINVAL;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    default:
        return EIO;
    }
}

[[noreturn]] void ThrowCannotCreate(const std::string &path, int error)
{
    throw ConversionError(imaging::texts::CannotCreateFile(path, std::strerror(error)));
}

// The longest file name the system takes, in UTF-16 units.
constexpr std::size_t kNameLimit = 255;

// The name of a temporary file beside the final one: "." + name + suffix, with the name cut at a
// character where that would pass kNameLimit, so that it is no longer than the final name.
std::wstring HiddenName(const std::wstring &name, const std::wstring &suffix)
{
    if (1 + name.size() + suffix.size() <= kNameLimit) {
        return L"." + name + suffix;
    }
    std::size_t keep = name.size() > 1 + suffix.size() ? name.size() - 1 - suffix.size() : 0;
    if (keep > 0 && name[keep] >= 0xDC00 && name[keep] <= 0xDFFF) {
        --keep; // not between the two halves of a surrogate pair
    }
    return L"." + name.substr(0, keep) + suffix;
}

struct HandleCloser
{
    HANDLE handle;
    ~HandleCloser()
    {
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
        }
    }
};

// The calls of SystemFileSystem(). WriteNewFile needs neither links nor a rename of their own:
// MoveFileExW refuses an existing name on every file system, FAT included.
class WindowsFileSystem final : public FileSystem
{
public:
    int Write(SystemFile file, const std::uint8_t *data, std::size_t size) override
    {
        std::size_t done = 0;
        while (done < size) {
            const DWORD chunk = DWORD(std::min<std::size_t>(size - done, 1u << 30));
            DWORD written = 0;
            if (!WriteFile(file, data + done, chunk, &written, nullptr)) {
                return ErrnoOf(GetLastError());
            }
            done += written;
        }
        return 0;
    }

    int FlushFile(SystemFile file) override
    {
        return FlushFileBuffers(file) ? 0 : ErrnoOf(GetLastError());
    }

    // A folder is no file to flush here; the move in WriteNewFile writes its entry through.
    int FlushFolder(const std::string & /*folder*/) override { return 0; }

    int Remove(const std::string &path) override
    {
        return DeleteFileW(imaging::PathFromUtf8(path).c_str()) ? 0 : ErrnoOf(GetLastError());
    }

    int SetModifiedTime(SystemFile file, std::int64_t modified) override
    {
        FILETIME time;
        time.dwLowDateTime = DWORD(std::uint64_t(modified) & 0xFFFFFFFFu);
        time.dwHighDateTime = DWORD(std::uint64_t(modified) >> 32);
        return SetFileTime(file, nullptr, nullptr, &time) ? 0 : ErrnoOf(GetLastError());
    }

    // The Recycle Bin. Where a drive has none (a network share, a removable stick set so), the
    // shell would delete the file for good instead: that is refused before it is asked.
    std::string MoveToTrash(const std::string &path) override
    {
        // The shell takes no "\\?\" paths; a path to trash is an absolute one of a screenshot.
        std::wstring wide = fs::absolute(imaging::PathFromUtf8(path)).wstring();
        if (wide.rfind(L"\\\\?\\", 0) == 0) {
            wide.erase(0, 4);
        }
        const std::wstring root = fs::path(wide).root_path().wstring();
        SHQUERYRBINFO info{};
        info.cbSize = sizeof info;
        if (FAILED(SHQueryRecycleBinW(root.c_str(), &info))) {
            return "there is no Recycle Bin on " + imaging::Utf8FromPath(fs::path(root));
        }
        wide.push_back(L'\0'); // the list of files ends with an empty name
        SHFILEOPSTRUCTW operation{};
        operation.wFunc = FO_DELETE;
        operation.pFrom = wide.c_str();
        operation.fFlags = FOF_ALLOWUNDO | FOF_NO_UI;
        const int result = SHFileOperationW(&operation);
        if (result != 0 || operation.fAnyOperationsAborted) {
            return "the Recycle Bin refused it (error " + std::to_string(result) + ")";
        }
        return {};
    }
};

// Writes all of bytes and, with flush, pushes them to the disk; 0 or the errno of the failure.
int WriteAll(FileSystem &system, HANDLE file, const std::vector<std::uint8_t> &bytes, bool flush)
{
    if (const int error = system.Write(file, bytes.data(), bytes.size())) {
        return error;
    }
    return flush ? system.FlushFile(file) : 0;
}

// A new, exclusively created file beside path, named "." + its name + "." + six characters
// (HiddenName), like the temporary files on other systems.
HANDLE CreateTemporary(const fs::path &target, fs::path &temporary)
{
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<int> pick(0, int(sizeof(kLetters)) - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring suffix = L".";
        for (int i = 0; i < 6; ++i) {
            suffix += wchar_t(kLetters[pick(random)]);
        }
        temporary = target.parent_path() / HiddenName(target.filename().native(), suffix);
        const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) {
            return file;
        }
    }
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

} // namespace

FileSystem &SystemFileSystem()
{
    static WindowsFileSystem system;
    return system;
}

std::optional<FileIdentity> IdentityOf(const std::string &path)
{
    // Without FILE_FLAG_BACKUP_SEMANTICS a folder does not open; reading attributes needs no
    // share mode that could get in a writer's way.
    const HandleCloser file{CreateFileW(imaging::PathFromUtf8(path).c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    BY_HANDLE_FILE_INFORMATION info;
    if (file.handle == INVALID_HANDLE_VALUE || GetFileType(file.handle) != FILE_TYPE_DISK ||
        !GetFileInformationByHandle(file.handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return std::nullopt;
    }
    const auto join = [](DWORD high, DWORD low) {
        return std::uint64_t(high) << 32 | std::uint64_t(low);
    };
    return FileIdentity{info.dwVolumeSerialNumber, join(info.nFileIndexHigh, info.nFileIndexLow),
                        join(info.nFileSizeHigh, info.nFileSizeLow),
                        std::int64_t(join(info.ftLastWriteTime.dwHighDateTime,
                                          info.ftLastWriteTime.dwLowDateTime))};
}

bool HeldForWriting(const std::string &path)
{
    // The share mode a screenshot is read with: refused while a handle with write (or delete)
    // access is open.
    const HandleCloser file{CreateFileW(imaging::PathFromUtf8(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr)};
    return file.handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION;
}

bool WriteNewFile(const std::string &path, const std::vector<std::uint8_t> &bytes, bool flush,
                  FileSystem &system, std::optional<std::int64_t> modified)
{
    const fs::path target = imaging::PathFromUtf8(path);
    fs::path temporary;
    int error = 0;
    {
        const HandleCloser file{CreateTemporary(target, temporary)};
        if (file.handle == INVALID_HANDLE_VALUE) {
            ThrowCannotCreate(path, ErrnoOf(GetLastError()));
        }
        error = system.Write(file.handle, bytes.data(), bytes.size());
        // A time that cannot be set is no failure: the file itself is whole. Set after the
        // writes, it stays.
        if (error == 0 && modified) {
            system.SetModifiedTime(file.handle, *modified);
        }
        if (error == 0 && flush) {
            error = system.FlushFile(file.handle);
        }
    }
    if (error != 0) {
        DeleteFileW(temporary.c_str());
        ThrowCannotCreate(path, error);
    }
    // Without MOVEFILE_REPLACE_EXISTING the move refuses an existing name on every file system,
    // FAT included, so a file that appeared since the caller looked for a free name is never
    // overwritten; with write-through the new name is on the disk when it returns.
    if (!MoveFileExW(temporary.c_str(), target.c_str(), flush ? MOVEFILE_WRITE_THROUGH : 0)) {
        const DWORD moveError = GetLastError();
        DeleteFileW(temporary.c_str());
        if (moveError == ERROR_ALREADY_EXISTS || moveError == ERROR_FILE_EXISTS) {
            return false;
        }
        ThrowCannotCreate(path, ErrnoOf(moveError));
    }
    if (flush) {
        // The whole file stays under its name, but its original must not go on the strength of it.
        const std::string folder = imaging::Utf8FromPath(target.parent_path());
        if (const int folderError = system.FlushFolder(folder)) {
            ThrowCannotCreate(path, folderError);
        }
    }
    return true;
}

void FlushToDisk(const std::string &path, FileSystem &system)
{
    const HandleCloser file{CreateFileW(imaging::PathFromUtf8(path).c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.handle == INVALID_HANDLE_VALUE) {
        ThrowCannotCreate(path, ErrnoOf(GetLastError()));
    }
    if (const int error = system.FlushFile(file.handle)) {
        ThrowCannotCreate(path, error);
    }
}

void ReplaceFileContents(const std::string &path, const std::vector<std::uint8_t> &bytes)
{
    const fs::path target = imaging::PathFromUtf8(path);
    fs::path temporary;
    int error = 0;
    {
        const HandleCloser file{CreateTemporary(target, temporary)};
        if (file.handle == INVALID_HANDLE_VALUE) {
            ThrowCannotCreate(path, ErrnoOf(GetLastError()));
        }
        error = WriteAll(SystemFileSystem(), file.handle, bytes, true);
    }
    if (error == 0 && !MoveFileExW(temporary.c_str(), target.c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = ErrnoOf(GetLastError());
    }
    if (error != 0) {
        DeleteFileW(temporary.c_str());
        ThrowCannotCreate(path, error);
    }
}

} // namespace kv::converter
