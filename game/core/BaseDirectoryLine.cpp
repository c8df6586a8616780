#include "BaseDirectoryLine.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "FilePath.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "GameLayout.h"

namespace kv::game {

namespace {

// The last line starting with the prefix, for one line separator, from text given in pieces.
// Only a line that still matches is kept, so a long log without the line costs no memory.
class LastPrefixedLine
{
public:
    explicit LastPrefixedLine(char separator) : separator_(separator) {}

    void feed(std::string_view piece)
    {
        const char *p = piece.data();
        const char *const end = p + piece.size();
        while (p < end) {
            if (rejected_) {
                // Skip to the next line start with memchr; most lines of a log end here.
                const void *separator = std::memchr(p, separator_, std::size_t(end - p));
                if (separator == nullptr) {
                    return;
                }
                p = static_cast<const char *>(separator) + 1;
                // Runs of empty lines, and lines that do not start like the prefix, are passed
                // over without a call per line.
                while (p < end && *p == separator_) {
                    ++p;
                }
                rejected_ = p < end && *p != layout::kBaseDirectoryPrefix[0];
                compared_ = 0;
                continue;
            }
            if (compared_ == 0 && *p != layout::kBaseDirectoryPrefix[0]) {
                rejected_ = true; // at a line start, also of an empty line
                continue;
            }
            const void *separator = std::memchr(p, separator_, std::size_t(end - p));
            const char *lineEnd = separator ? static_cast<const char *>(separator) : end;
            compareWithPrefix(std::string_view(p, std::size_t(lineEnd - p)));
            if (lineEnd == end) {
                return;
            }
            endLine();
            p = lineEnd + 1;
        }
    }

    // Ends the last line, which has no separator after it.
    std::optional<std::string> finish()
    {
        endLine();
        return std::move(last_);
    }

private:
    void compareWithPrefix(std::string_view part)
    {
        const std::string_view prefix = layout::kBaseDirectoryPrefix;
        if (compared_ < prefix.size()) {
            // The prefix may arrive split over two pieces.
            const std::size_t count = std::min(prefix.size() - compared_, part.size());
            if (part.substr(0, count) != prefix.substr(compared_, count)) {
                rejected_ = true;
                current_.clear();
                return;
            }
            compared_ += count;
        }
        current_.append(part);
    }

    void endLine()
    {
        if (!rejected_ && compared_ == std::string_view(layout::kBaseDirectoryPrefix).size()) {
            last_ = current_;
        }
        current_.clear();
        compared_ = 0;
        rejected_ = false;
    }

    char separator_;
    std::size_t compared_ = 0; // characters of the current line found equal to the prefix
    bool rejected_ = false;    // the current line does not start with the prefix
    std::string current_;      // the current line so far, while it may still match
    std::optional<std::string> last_;
};

// Lines end at LF, or at CR when the text holds no LF; which is known only at its end, so both
// splits run side by side.
class BaseDirectoryLineFinder
{
public:
    void feed(std::string_view piece)
    {
        sawLineFeed_ = sawLineFeed_ || piece.find('\n') != std::string_view::npos;
        byLineFeed_.feed(piece);
        if (!sawLineFeed_) {
            byCarriageReturn_.feed(piece);
        }
    }

    std::optional<std::string> finish()
    {
        return sawLineFeed_ ? byLineFeed_.finish() : byCarriageReturn_.finish();
    }

private:
    bool sawLineFeed_ = false;
    LastPrefixedLine byLineFeed_{'\n'};
    LastPrefixedLine byCarriageReturn_{'\r'};
};

// A log is read in pieces of this size: few reads for a large log, little memory.
constexpr std::size_t kPieceSize = std::size_t(1) << 20;

#ifndef _WIN32
// Closes a file descriptor when it goes out of scope.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};
#endif

} // namespace

std::optional<std::string> FindBaseDirectoryLine(std::string_view text)
{
    BaseDirectoryLineFinder finder;
    finder.feed(text);
    return finder.finish();
}

#ifdef _WIN32
std::optional<std::string> ReadBaseDirectoryLine(const std::string &path)
{
    // A folder does not open without FILE_FLAG_BACKUP_SEMANTICS; a pipe or a device does, and is
    // refused below before it is read.
    const HANDLE file = CreateFileW(imaging::PathFromUtf8(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::optional<std::string> line;
    if (GetFileType(file) == FILE_TYPE_DISK) {
        BaseDirectoryLineFinder finder;
        std::vector<char> buffer(kPieceSize);
        DWORD count = 0;
        while (ReadFile(file, buffer.data(), DWORD(buffer.size()), &count, nullptr)) {
            if (count == 0) {
                line = finder.finish();
                break;
            }
            finder.feed(std::string_view(buffer.data(), count));
        }
    }
    CloseHandle(file);
    return line;
}
#else
std::optional<std::string> ReadBaseDirectoryLine(const std::string &path)
{
    // Non-blocking, so that opening a FIFO without a writer returns at once; it is refused below.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info
    {
    };
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    BaseDirectoryLineFinder finder;
    std::vector<char> buffer(kPieceSize);
    while (true) {
        const ssize_t count = ::read(file.get(), buffer.data(), buffer.size());
        if (count == 0) {
            return finder.finish();
        }
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        finder.feed(std::string_view(buffer.data(), std::size_t(count)));
    }
}
#endif

std::string BaseDirectoryOf(const std::string &line)
{
    // The prefix is ASCII, so its 22 characters are 22 bytes.
    if (line.size() <= layout::kBaseDirectoryPrefixLength) {
        return {};
    }
    return line.substr(layout::kBaseDirectoryPrefixLength);
}

std::string GameLocationOf(const std::string &baseDirectory)
{
    // The folder the line names may be System, SystemARM64 or another, written with "/" or, by
    // the Windows game, with "\"; its parent keeps its own separator. Cutting at a separator
    // never splits a UTF-8 character.
    const auto isSeparator = [](char c) { return c == '/' || c == '\\'; };
    std::size_t end = baseDirectory.size();
    while (end > 0 && isSeparator(baseDirectory[end - 1])) {
        --end;
    }
    while (end > 0 && !isSeparator(baseDirectory[end - 1])) {
        --end;
    }
    // The game never lies at a file system's root: such a line would send the installer there.
    const std::string location = baseDirectory.substr(0, end);
    const bool root = location.find_first_not_of("/\\") == std::string::npos ||
                      (location.size() == 3 && location[1] == ':');
    return root ? std::string() : location;
}

} // namespace kv::game
