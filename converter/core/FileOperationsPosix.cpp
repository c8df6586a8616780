// The file layer on POSIX systems.
#include "FileOperations.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ConversionError.h"
#include "ImagingTexts.h"

namespace kv::converter {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void ThrowCannotCreate(const std::string &path, int error)
{
    throw ConversionError(imaging::texts::CannotCreateFile(path, std::strerror(error)));
}

std::atomic<int> injectedWriteError{0};
std::atomic<int> injectedFolderFlushError{0};

// Writes all of bytes to fd and, with flush, to the disk; false with errno set on failure.
bool WriteAll(int fd, const std::vector<std::uint8_t> &bytes, bool flush)
{
    std::size_t done = 0;
    if (const int error = injectedWriteError.exchange(0)) {
        [[maybe_unused]] const ssize_t half = ::write(fd, bytes.data(), bytes.size() / 2);
        errno = error;
        return false;
    }
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += std::size_t(n);
    }
    return !flush || ::fsync(fd) == 0;
}

// Writes, flushes and closes fd; false with errno set when any step failed. fd is closed either
// way.
bool WriteAndClose(int fd, const std::vector<std::uint8_t> &bytes, bool flush)
{
    const bool written = WriteAll(fd, bytes, flush);
    const int error = errno;
    if (::close(fd) != 0 && written) {
        return false;
    }
    errno = error;
    return written;
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

// For file systems without hard links: create the final name exclusively and write into it,
// removing it again when the write fails.
bool WriteExclusively(const std::string &path, const std::vector<std::uint8_t> &bytes, bool flush)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, NewFileMode());
    if (fd < 0) {
        if (errno == EEXIST) {
            return false;
        }
        ThrowCannotCreate(path, errno);
    }
    if (!WriteAndClose(fd, bytes, flush)) {
        const int error = errno;
        ::unlink(path.c_str());
        ThrowCannotCreate(path, error);
    }
    return true;
}

// Flushes the folder's entries to the disk; returns 0 or the error the disk reported. File
// systems that cannot flush a folder (EINVAL and the like) have nothing to lose by it.
int SyncFolder(const std::string &folder)
{
    if (const int error = injectedFolderFlushError.exchange(0)) {
        return error;
    }
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

} // namespace

bool RemoveFile(const std::string &path)
{
    return ::unlink(path.c_str()) == 0;
}

bool WriteNewFile(const std::string &path, const std::vector<std::uint8_t> &bytes, bool flush)
{
    const fs::path target(path);
    const std::string folder = target.parent_path().string();
    std::string temporary =
        (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        ThrowCannotCreate(path, errno);
    }
    if (::fchmod(fd, NewFileMode()) != 0) {
        const int error = errno;
        ::close(fd);
        ::unlink(temporary.c_str());
        ThrowCannotCreate(path, error);
    }
    if (!WriteAndClose(fd, bytes, flush)) {
        const int error = errno;
        ::unlink(temporary.c_str());
        ThrowCannotCreate(path, error);
    }
    // link() refuses to replace an existing name, so a file that appeared since the caller
    // looked for a free name is never overwritten.
    const int linked = ::link(temporary.c_str(), path.c_str());
    const int error = errno;
    ::unlink(temporary.c_str());
    if (linked != 0) {
        if (error == EEXIST) {
            return false;
        }
        if (error == EPERM || error == EOPNOTSUPP || error == ENOSYS) {
            return WriteExclusively(path, bytes, flush);
        }
        ThrowCannotCreate(path, error);
    }
    if (flush) {
        // The whole file stays under its name, but its original must not go on the strength of it.
        if (const int synced = SyncFolder(folder)) {
            ThrowCannotCreate(path, synced);
        }
    }
    return true;
}

void FailNextWriteForTesting(int error, bool folderFlush)
{
    (folderFlush ? injectedFolderFlushError : injectedWriteError) = error;
}

void FlushToDisk(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        ThrowCannotCreate(path, errno);
    }
    const bool synced = ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    if (!synced) {
        ThrowCannotCreate(path, error);
    }
    if (const int folderError = SyncFolder(fs::path(path).parent_path().string())) {
        ThrowCannotCreate(path, folderError);
    }
}

} // namespace kv::converter
