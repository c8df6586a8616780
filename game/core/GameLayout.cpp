#include "GameLayout.h"

#include <cstdlib>

#include <pwd.h>
#include <unistd.h>

namespace kv::game {

std::string HomeFolder()
{
    if (const char *home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    if (const passwd *entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return {};
}

std::string ExpandHome(const std::string &path, const std::string &home)
{
    // Only "~" alone or "~/..." names the current user's home; "~name" is left alone.
    if (path == "~" || path.starts_with("~/")) {
        return home + path.substr(1);
    }
    return path;
}

} // namespace kv::game
