#include "GameLayout.h"

#include <array>
#include <cstdlib>

#ifdef _WIN32
#include <filesystem>
#include <optional>

#include <windows.h>

#include "FilePath.h"
#else
#include <pwd.h>
#include <unistd.h>
#endif

namespace kv::game {

namespace {

// The game's Mac release of 2004, which the programs were first written for; its logs live in
// the user's Application Support folder and the executable inside the application bundle.
constexpr std::array kMacExecutables = {
    GameExecutable{"Contents/MacOS/Unreal Tournament 2004", false, RunsIn::Location},
};
constexpr std::array kMacPlaces = {
    // The 2026 community patch (3374) for macOS installs an application bundle whose System
    // folder sits in Contents/Resources (its release notes; not checked on a Mac here).
    GamePlace{PlaceKind::GameFolder, "/Applications/UT2004.app/Contents/Resources"},
};

// The Linux port (3369) and the 2026 community patch (3374). Both write their log to ~/.ut2004
// (the port's README.linux); the mod, run by the game, writes its own below that folder.
constexpr std::array kLinuxExecutables = {
    // 3374: the binary of the folder the game ran from (System for x86_64, SystemARM64, ...).
    GameExecutable{"UT2004", true, RunsIn::ExecutableFolder},
    // 3369: the launch script at the top of the game, which changes into System itself.
    GameExecutable{"ut2004", false, RunsIn::Location},
    // 3369: the binaries the script chooses from, 64-bit first.
    GameExecutable{"System/ut2004-bin-linux-amd64", false, RunsIn::ExecutableFolder},
    GameExecutable{"System/ut2004-bin", false, RunsIn::ExecutableFolder},
    // 3374, x86_64.
    GameExecutable{"System/UT2004", false, RunsIn::ExecutableFolder},
};
constexpr std::array kLinuxPlaces = {
    // 3374's installer default.
    GamePlace{PlaceKind::GameFolder, "$XDG_DATA_HOME/OldUnreal/UT2004"},
    // The 3369 installer's default, as root and as a user.
    GamePlace{PlaceKind::GameFolder, "/usr/local/games/ut2004"},
    GamePlace{PlaceKind::GameFolder, "/opt/ut2004"},
    GamePlace{PlaceKind::GameFolder, "~/ut2004"},
    // Wine's default prefix (wine(1), WINEPREFIX).
    GamePlace{PlaceKind::WinePrefix, "~/.wine"},
    // Lutris installs each game into ~/Games/<game> with its own prefix there, and records the
    // prefix in the game's file (older versions in ~/.config, newer in ~/.local/share).
    GamePlace{PlaceKind::LutrisGames, "~/Games"},
    GamePlace{PlaceKind::LutrisConfigs, "~/.config/lutris/games"},
    GamePlace{PlaceKind::LutrisConfigs, "$XDG_DATA_HOME/lutris/games"},
    // Steam (Debian's steam-installer links ~/.steam/steam to its data folder) and the Flatpak
    // Steam (com.valvesoftware.Steam, whose home is below ~/.var/app). Each library holds the
    // game in steamapps/common and its Proton prefix in steamapps/compatdata/13230/pfx.
    GamePlace{PlaceKind::SteamRoot, "$XDG_DATA_HOME/Steam"},
    GamePlace{PlaceKind::SteamRoot, "~/.steam/steam"},
    GamePlace{PlaceKind::FlatpakSteamRoot, "~/.var/app/com.valvesoftware.Steam/.local/share/Steam"},
    GamePlace{PlaceKind::FlatpakSteamRoot, "~/.var/app/com.valvesoftware.Steam/data/Steam"},
};

// Windows (retail, GOG, Steam, 3374), and the same inside a Wine prefix. The game writes its log
// into its own System folder, so the logs are found through the places.
constexpr std::array kWindowsExecutables = {
    GameExecutable{"System/UT2004.exe", false, RunsIn::ExecutableFolder},
};
constexpr std::array kWindowsPlaces = {
    // The retail installer records the game's folder here (64-bit Windows keeps the 32-bit
    // installer's keys below WOW6432Node).
    GamePlace{PlaceKind::RegistryFolder,
              "HKLM\\SOFTWARE\\Unreal Technology\\Installed Apps\\UT2004|Folder"},
    GamePlace{PlaceKind::RegistryFolder,
              "HKLM\\SOFTWARE\\WOW6432Node\\Unreal Technology\\Installed Apps\\UT2004|Folder"},
    // The installers' default folders: retail, its other spelling, GOG.
    GamePlace{PlaceKind::GameFolder, "C:\\UT2004"},
    GamePlace{PlaceKind::GameFolder, "C:\\UnrealTournament2004"},
    GamePlace{PlaceKind::GameFolder, "C:\\GOG Games\\Unreal Tournament 2004"},
    // Steam records where it is installed; its default folder follows.
    GamePlace{PlaceKind::RegistrySteamRoot, "HKCU\\Software\\Valve\\Steam|SteamPath"},
    GamePlace{PlaceKind::SteamRoot, "C:\\Program Files (x86)\\Steam"},
};

// The mod's log and descriptor lie in the game's user folder: ~/Library/Application Support on
// the Mac, ~/.ut2004 on Linux, and on Windows the game's folder itself (not known beforehand).
constexpr PlatformLayout kMac{
    "macOS",
    "~/Library/Application Support/Unreal Tournament 2004/System/UT2004.log",
    "~/Library/Application Support/Unreal Tournament 2004/KVRavelock/System/KVRavelock.log",
    "~/Library/Application Support/Unreal Tournament 2004/KVRavelock/UT2K4Mod.ini",
    kMacExecutables,
    kMacPlaces,
};
constexpr PlatformLayout kLinux{
    "Linux",
    "~/.ut2004/System/UT2004.log",
    "~/.ut2004/KVRavelock/System/KVRavelock.log",
    "~/.ut2004/KVRavelock/UT2K4Mod.ini",
    kLinuxExecutables,
    kLinuxPlaces,
};
constexpr PlatformLayout kWindows{
    "Windows", "", "", "", kWindowsExecutables, kWindowsPlaces,
};

} // namespace

const PlatformLayout &MacLayout()
{
    return kMac;
}

const PlatformLayout &LinuxLayout()
{
    return kLinux;
}

const PlatformLayout &WindowsLayout()
{
    return kWindows;
}

const PlatformLayout &ThisPlatform()
{
#if defined(__APPLE__)
    return kMac;
#elif defined(_WIN32)
    return kWindows;
#else
    return kLinux;
#endif
}

#ifdef _WIN32
namespace {

// An environment variable through the wide API, as UTF-8: the ANSI one would garble a user name
// outside the system's code page. Nothing when it is unset or empty.
std::optional<std::string> WideVariable(const wchar_t *name)
{
    std::wstring value(MAX_PATH, L'\0');
    DWORD length = GetEnvironmentVariableW(name, value.data(), DWORD(value.size()));
    if (length >= value.size()) {
        // Too small: length is the size needed, its terminating zero counted.
        value.resize(length);
        length = GetEnvironmentVariableW(name, value.data(), DWORD(value.size()));
    }
    if (length == 0 || length >= value.size()) {
        return std::nullopt;
    }
    value.resize(length);
    return imaging::Utf8FromPath(std::filesystem::path(value));
}

} // namespace
#endif

std::string HomeFolder()
{
#ifdef _WIN32
    for (const wchar_t *name : {L"HOME", L"USERPROFILE"}) {
        if (std::optional<std::string> folder = WideVariable(name)) {
            return *folder;
        }
    }
#else
    if (const char *home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    if (const passwd *entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
#endif
    return {};
}

std::string ExpandHome(const std::string &path, const std::string &home)
{
    // Only "~" alone or "~/..." names the current user's home; "~name" is left alone.
    if (path == "~" || path.starts_with("~/")) {
        return home + path.substr(1);
    }
    const std::string dataHome = "$XDG_DATA_HOME";
    if (path.starts_with(dataHome)) {
        // The XDG rule: a relative value is invalid and ignored.
        const char *value = std::getenv("XDG_DATA_HOME");
        const std::string folder =
            value != nullptr && *value == '/' ? std::string(value) : home + "/.local/share";
        return folder + path.substr(dataHome.size());
    }
    return path;
}

} // namespace kv::game
