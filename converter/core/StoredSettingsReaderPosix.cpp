#include "StoredSettingsReader.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "PortableSettings.h"

namespace kv::converter {

std::optional<std::string> PlainSettingsFilePath()
{
    if (std::optional<std::string> portable = PortableSettingsFile()) {
        return portable;
    }
    std::string folder;
    const char *config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config) {
        folder = config;
    } else {
        const char *home = std::getenv("HOME");
        folder = std::string(home && *home ? home : "/") + "/.config";
    }
    // The store cleans ".." out of its path as text, where the file system follows links.
    if (folder.find("..") != std::string::npos) {
        return std::nullopt;
    }
    return folder + "/KVSC/KVSC.conf";
}

std::optional<SettingsFileText> ReadSettingsFileText(const std::string &path)
{
    struct stat status = {};
    if (stat(path.c_str(), &status) != 0) {
        if (errno == ENOENT) {
            return SettingsFileText{};
        }
        return std::nullopt;
    }
    // Anything but a small regular file (a folder or FIFO in its place) is the store's to explain.
    constexpr off_t kLargestPlainFile = 64 << 10;
    if (!S_ISREG(status.st_mode) || status.st_size > kLargestPlainFile) {
        return std::nullopt;
    }
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (file < 0) {
        return std::nullopt;
    }
    std::string text(std::size_t(kLargestPlainFile) + 1, '\0');
    std::size_t length = 0;
    for (;;) {
        const ssize_t got = read(file, text.data() + length, text.size() - length);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            close(file);
            if (got < 0) {
                return std::nullopt;
            }
            break;
        }
        length += std::size_t(got);
        if (length == text.size()) {
            close(file);
            return std::nullopt; // grew past the limit while being read
        }
    }
    text.resize(length);
    return SettingsFileText{true, std::move(text)};
}

std::optional<StoredValues> ReadStoredValuesWithoutQt()
{
    const std::optional<std::string> path = PlainSettingsFilePath();
    if (!path) {
        return std::nullopt;
    }
    return ReadPlainSettingsFile(*path);
}

} // namespace kv::converter
