#include "StoredSettingsReader.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iterator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kv::converter {

std::optional<std::string> PlainSettingsFilePath()
{
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

std::optional<StoredValues> ReadStoredValuesWithoutQt()
{
    const std::optional<std::string> path = PlainSettingsFilePath();
    if (!path) {
        return std::nullopt;
    }
    struct stat status = {};
    if (stat(path->c_str(), &status) != 0) {
        if (errno == ENOENT) {
            return StoredValues(); // nothing stored yet
        }
        return std::nullopt;
    }
    // Anything but a small regular file (a folder or FIFO in its place) is the store's to explain.
    constexpr off_t kLargestPlainFile = 64 << 10;
    if (!S_ISREG(status.st_mode) || status.st_size > kLargestPlainFile) {
        return std::nullopt;
    }
    const int file = open(path->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
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
    std::optional<std::map<std::string, std::string>> values = ParsePlainSettingsText(text);
    // A file without any of the store's values is the store's to judge (it renames it aside).
    if (!values ||
        std::none_of(std::begin(setting::kNames), std::end(setting::kNames),
                     [&](const char *name) { return values->count(LowerCaseName(name)); })) {
        return std::nullopt;
    }
    return StoredValues(std::move(*values));
}

} // namespace kv::converter
