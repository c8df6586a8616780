#include "FreedesktopTrash.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kv::converter {

namespace fs = std::filesystem;

namespace {

std::string Reason(const std::string &what, int error)
{
    return what + ": " + std::strerror(error);
}

// A folder of the user's own, made with mode 0700 when missing; empty or why not.
std::string OwnFolder(const std::string &folder)
{
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return Reason(folder, errno);
    }
    struct stat info;
    if (::lstat(folder.c_str(), &info) != 0) {
        return Reason(folder, errno);
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) {
        return folder + ": no folder of the user's own";
    }
    return {};
}

// The nearest folder of path that exists (path itself when it does).
std::optional<struct stat> NearestExisting(fs::path path)
{
    struct stat info;
    while (::stat(path.c_str(), &info) != 0) {
        if (!path.has_relative_path()) {
            return std::nullopt;
        }
        path = path.parent_path();
    }
    return info;
}

// The top folder of the volume holding folder (a real path): the last parent on its device.
std::string TopFolderOf(fs::path folder, dev_t device)
{
    while (folder.has_relative_path()) {
        struct stat info;
        if (::stat(folder.parent_path().c_str(), &info) != 0 || info.st_dev != device) {
            break;
        }
        folder = folder.parent_path();
    }
    return folder.string();
}

bool WriteAll(int fd, const std::string &text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += std::size_t(n);
    }
    return true;
}

} // namespace

std::string PercentEncodedPath(const std::string &path)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
            (byte >= '0' && byte <= '9') || std::strchr("/-_.!~*'()", c) != nullptr) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 15];
        }
    }
    return encoded;
}

std::string TrashInfoText(const std::string &path, const std::tm &deleted)
{
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &deleted);
    return "[Trash Info]\nPath=" + PercentEncodedPath(path) + "\nDeletionDate=" + date + "\n";
}

std::string HomeTrashFolder()
{
    const char *data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/') {
        return (fs::path(data) / "Trash").string();
    }
    const char *home = std::getenv("HOME");
    return (fs::path(home ? home : "/") / ".local/share/Trash").string();
}

std::optional<std::string> VolumeTrashFolder(const std::string &topdir, unsigned uid,
                                             std::string &why)
{
    const std::string user = std::to_string(uid);
    // A shared .Trash counts only when no user can replace it: a real folder with the sticky
    // bit, not a link to somewhere else.
    struct stat shared;
    const fs::path sharedTrash = fs::path(topdir) / ".Trash";
    if (::lstat(sharedTrash.c_str(), &shared) == 0 && S_ISDIR(shared.st_mode) &&
        (shared.st_mode & S_ISVTX) != 0) {
        const std::string folder = (sharedTrash / user).string();
        if (OwnFolder(folder).empty()) {
            return folder;
        }
    }
    const std::string folder = (fs::path(topdir) / (".Trash-" + user)).string();
    why = OwnFolder(folder);
    if (!why.empty()) {
        return std::nullopt;
    }
    return folder;
}

std::string MoveIntoTrashFolder(const std::string &path, const std::string &trash)
{
    const fs::path files = fs::path(trash) / "files";
    const fs::path info = fs::path(trash) / "info";
    for (const std::string &folder : {trash, files.string(), info.string()}) {
        if (std::string why = OwnFolder(folder); !why.empty()) {
            return why;
        }
    }
    const fs::path original(path);
    const std::string stem = original.stem().string();
    const std::string extension = original.extension().string();
    std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    const std::string text = TrashInfoText(path, local);
    // A name that neither files/ nor info/ holds; the info file made exclusively claims it
    // against other programs trashing at the same moment.
    for (int n = 1; n < 10000; ++n) {
        const std::string name =
            n == 1 ? original.filename().string() : stem + " " + std::to_string(n) + extension;
        const fs::path infoFile = info / (name + ".trashinfo");
        const fs::path target = files / name;
        struct stat taken;
        if (::lstat(target.c_str(), &taken) == 0) {
            continue;
        }
        const int fd = ::open(infoFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return Reason(infoFile.string(), errno);
        }
        const bool written = WriteAll(fd, text) && ::fsync(fd) == 0;
        const int writeError = errno;
        ::close(fd);
        if (!written) {
            ::unlink(infoFile.c_str());
            return Reason(infoFile.string(), writeError);
        }
        if (::rename(path.c_str(), target.c_str()) != 0) {
            const int error = errno;
            ::unlink(infoFile.c_str());
            return Reason(target.string(), error);
        }
        return {};
    }
    return trash + ": no free name";
}

std::string MoveToFreedesktopTrash(const std::string &path)
{
    struct stat file;
    if (::stat(path.c_str(), &file) != 0) {
        return Reason(path, errno);
    }
    const std::string home = HomeTrashFolder();
    const std::optional<struct stat> homeVolume = NearestExisting(home);
    if (homeVolume && homeVolume->st_dev == file.st_dev) {
        // The data folder may not exist yet on a fresh account.
        std::error_code ignored;
        fs::create_directories(fs::path(home).parent_path(), ignored);
        return MoveIntoTrashFolder(path, home);
    }
    std::error_code error;
    const fs::path folder = fs::canonical(fs::path(path).parent_path(), error);
    if (error) {
        return Reason(path, error.value());
    }
    std::string why;
    const std::optional<std::string> trash =
        VolumeTrashFolder(TopFolderOf(folder, file.st_dev), ::getuid(), why);
    if (!trash) {
        return why;
    }
    return MoveIntoTrashFolder(path, *trash);
}

} // namespace kv::converter
