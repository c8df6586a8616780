// The file layer on POSIX systems.
#include "FileOperations.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ConversionError.h"
#include "FreedesktopTrash.h"
#include "ImagingTexts.h"

namespace kv::converter {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void ThrowCannotCreate(const std::string &path, int error)
{
    throw ConversionError(imaging::texts::CannotCreateFile(path, std::strerror(error)));
}

// The longest file name in bytes that common file systems take.
constexpr std::size_t kNameLimit = 255;

// The name of a hidden file beside the final one: "." + name + suffix. Where that passes
// kNameLimit, or with cut (the system found it too long), name is cut at a character so that the
// hidden name is no longer than the final one, which the system takes.
std::string HiddenName(const std::string &name, const std::string &suffix, bool cut)
{
    if (!cut && 1 + name.size() + suffix.size() <= kNameLimit) {
        return "." + name + suffix;
    }
    std::size_t keep = name.size() > 1 + suffix.size() ? name.size() - 1 - suffix.size() : 0;
    while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) {
        --keep; // not inside a UTF-8 character
    }
    return "." + name.substr(0, keep) + suffix;
}

// The calls of SystemFileSystem().
class PosixFileSystem final : public FileSystem
{
public:
    int Write(SystemFile file, const std::uint8_t *data, std::size_t size) override
    {
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::write(file, data + done, size - done);
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return errno;
            }
            done += std::size_t(n);
        }
        return 0;
    }

    int FlushFile(SystemFile file) override { return ::fsync(file) == 0 ? 0 : errno; }

    // Only a failure of the disk counts: file systems that cannot flush a folder say EINVAL and
    // the like.
    int FlushFolder(const std::string &folder) override
    {
        const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
        if (fd < 0) {
            return 0;
        }
        int error = 0;
        if (::fsync(fd) != 0 && (errno == EIO || errno == ENOSPC || errno == EDQUOT)) {
            error = errno;
        }
        ::close(fd);
        return error;
    }

    int Link(const std::string &existing, const std::string &path) override
    {
        return ::link(existing.c_str(), path.c_str()) == 0 ? 0 : errno;
    }

    int RenameWithoutReplacing(const std::string &from, const std::string &to) override
    {
#if defined(RENAME_NOREPLACE)
        return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0
                   ? 0
                   : errno;
#elif defined(__APPLE__)
        return ::renamex_np(from.c_str(), to.c_str(), RENAME_EXCL) == 0 ? 0 : errno;
#else
        return FileSystem::RenameWithoutReplacing(from, to);
#endif
    }

    int Remove(const std::string &path) override
    {
        return ::unlink(path.c_str()) == 0 ? 0 : errno;
    }

    int SetModifiedTime(SystemFile file, std::int64_t modified) override
    {
        // Nanoseconds, rounded towards the past for times before 1970.
        std::int64_t seconds = modified / 1000000000;
        std::int64_t nanoseconds = modified % 1000000000;
        if (nanoseconds < 0) {
            seconds -= 1;
            nanoseconds += 1000000000;
        }
        const timespec times[2] = {{0, UTIME_OMIT}, {time_t(seconds), long(nanoseconds)}};
        return ::futimens(file, times) == 0 ? 0 : errno;
    }

    std::string MoveToTrash(const std::string &path) override
    {
        return MoveToFreedesktopTrash(path);
    }
};

// Writes all of bytes to fd, gives it the modification time modified (when there is one) and, with
// flush, pushes it to the disk, then closes fd whatever happened; returns 0 or the first failure's
// error. A time that cannot be set is no failure: the file itself is whole.
int WriteAndClose(FileSystem &system, int fd, const std::vector<std::uint8_t> &bytes, bool flush,
                  std::optional<std::int64_t> modified = std::nullopt)
{
    int error = system.Write(fd, bytes.data(), bytes.size());
    if (error == 0 && modified) {
        system.SetModifiedTime(fd, *modified);
    }
    if (error == 0 && flush) {
        error = system.FlushFile(fd);
    }
    if (::close(fd) != 0 && error == 0) {
        return errno;
    }
    return error;
}

mode_t NewFileMode()
{
    static const mode_t mode = [] {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return mode_t(0666 & ~mask);
    }();
    return mode;
}

// Makes the temporary file beside target; its descriptor, or -1 with errno set.
int CreateTemporary(const fs::path &target, std::string &temporary)
{
    int fd = -1;
    for (const bool cut : {false, true}) {
        temporary = (target.parent_path() / HiddenName(target.filename(), ".XXXXXX", cut)).string();
        fd = ::mkstemp(temporary.data());
        if (fd >= 0 || errno != ENAMETOOLONG) {
            break;
        }
    }
    return fd;
}

// The last resort where a file system has neither hard links nor a rename that refuses to
// replace: rename() alone would replace a file that another run gave the final name between the
// check and the rename. A folder made beside the final name claims it first, since mkdir is
// atomic on every file system, network shares included: a run meeting the folder takes the next
// number. A kill may leave the folder behind, like a temporary file; that number is then skipped,
// never overwritten. Returns 0, EEXIST when the name is taken, or the error.
int RenameUnderClaim(const std::string &temporary, const fs::path &target)
{
    std::string claim;
    int made = -1;
    for (const bool cut : {false, true}) {
        claim = (target.parent_path() / HiddenName(target.filename(), ".claim", cut)).string();
        made = ::mkdir(claim.c_str(), 0700);
        if (made == 0 || errno != ENAMETOOLONG) {
            break;
        }
    }
    if (made != 0) {
        return errno;
    }
    int error = 0;
    struct stat existing;
    if (::lstat(target.c_str(), &existing) == 0) {
        error = EEXIST;
    } else if (errno != ENOENT) {
        error = errno;
    } else if (::rename(temporary.c_str(), target.c_str()) != 0) {
        error = errno;
    }
    ::rmdir(claim.c_str());
    return error;
}

// Gives the finished temporary the final name where the file system has no hard links (FAT,
// exFAT, some network shares), never writing under that name itself: renameat2 with
// RENAME_NOREPLACE moves it in one step and, like link(), refuses an existing name. Returns 0,
// EEXIST when the name is taken, or the error; the temporary is gone either way.
int RenameInsteadOfLinking(FileSystem &system, const std::string &temporary, const fs::path &target)
{
    int error = system.RenameWithoutReplacing(temporary, target.string());
    // Kernels and file systems that know no such rename say so with one of these.
    if (error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP) {
        error = RenameUnderClaim(temporary, target);
    }
    if (error != 0) {
        ::unlink(temporary.c_str());
    }
    return error;
}

} // namespace

FileSystem &SystemFileSystem()
{
    static PosixFileSystem system;
    return system;
}

std::optional<FileIdentity> IdentityOf(const std::string &path)
{
    struct stat info;
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
#ifdef __APPLE__
    const timespec modified = info.st_mtimespec;
#else
    const timespec modified = info.st_mtim;
#endif
    return FileIdentity{std::uint64_t(info.st_dev), std::uint64_t(info.st_ino),
                        std::uint64_t(info.st_size),
                        std::int64_t(modified.tv_sec) * 1000000000 + modified.tv_nsec};
}

bool HeldForWriting(const std::string &)
{
    return false; // advisory locks only: a reader is never kept out
}

bool WriteNewFile(const std::string &path, const std::vector<std::uint8_t> &bytes, bool flush,
                  FileSystem &system, std::optional<std::int64_t> modified)
{
    const fs::path target(path);
    const std::string folder = target.parent_path().string();
    std::string temporary;
    const int fd = CreateTemporary(target, temporary);
    if (fd < 0) {
        ThrowCannotCreate(path, errno);
    }
    if (::fchmod(fd, NewFileMode()) != 0) {
        const int error = errno;
        ::close(fd);
        ::unlink(temporary.c_str());
        ThrowCannotCreate(path, error);
    }
    if (const int error = WriteAndClose(system, fd, bytes, flush, modified)) {
        ::unlink(temporary.c_str());
        ThrowCannotCreate(path, error);
    }
    // link() refuses to replace an existing name, so a file that appeared since the caller
    // looked for a free name is never overwritten.
    int error = system.Link(temporary, path);
    if (error == EPERM || error == EOPNOTSUPP || error == ENOSYS) {
        error = RenameInsteadOfLinking(system, temporary, target);
    } else {
        ::unlink(temporary.c_str());
    }
    if (error == EEXIST) {
        return false;
    }
    if (error != 0) {
        ThrowCannotCreate(path, error);
    }
    if (flush) {
        // The whole file stays under its name, but its original must not go on the strength of it.
        if (const int synced = system.FlushFolder(folder)) {
            ThrowCannotCreate(path, synced);
        }
    }
    return true;
}

void FlushToDisk(const std::string &path, FileSystem &system)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        ThrowCannotCreate(path, errno);
    }
    const int error = system.FlushFile(fd);
    ::close(fd);
    if (error != 0) {
        ThrowCannotCreate(path, error);
    }
    if (const int folderError = system.FlushFolder(fs::path(path).parent_path().string())) {
        ThrowCannotCreate(path, folderError);
    }
}

void ReplaceFileContents(const std::string &path, const std::vector<std::uint8_t> &bytes)
{
    const fs::path target(path);
    std::string temporary;
    const int fd = CreateTemporary(target, temporary);
    if (fd < 0) {
        ThrowCannotCreate(path, errno);
    }
    int error = ::fchmod(fd, NewFileMode()) != 0 ? errno : 0;
    if (error != 0) {
        ::close(fd);
    } else {
        error = WriteAndClose(SystemFileSystem(), fd, bytes, true);
    }
    if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temporary.c_str());
        ThrowCannotCreate(path, error);
    }
    if (const int synced = SystemFileSystem().FlushFolder(target.parent_path().string())) {
        ThrowCannotCreate(path, synced);
    }
}

} // namespace kv::converter
