#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <system_error>

#include <gtest/gtest.h>
#include <windows.h>
#endif

#include "GameTestSupport.h"

// The ways a Linux player has the game, laid out below a test's folder with home as the player's
// home: the logs, the executables (the fake game where it is started), Wine's drive links,
// Steam's library file. Both programs' tests run on this one table.
namespace kv::test {

namespace fs = std::filesystem;

struct LaidOut
{
    // The game location: the mod goes below it.
    fs::path game;
    // What the launcher must start, as the fake records it: working directory, arguments, and
    // for Wine its prefix.
    std::vector<std::string> started;
    // Steam starts the game: the launcher says so and ends once the alert is dismissed.
    bool handedToSteam = false;
};

struct PlayerLayout
{
    const char *name;
    // Lays the game out below root; fakeGame is the stand-in executable.
    std::function<LaidOut(const fs::path &root, const fs::path &home, const fs::path &fakeGame)>
        lay;
};

inline void PrintTo(const PlayerLayout &layout, std::ostream *out)
{
    *out << layout.name;
}

namespace layouts {

inline const std::string kLogo = "-userlogo=../KVRavelock/Help/KVRavelockLogo.bmp";
inline const std::string kMod = "-mod=KVRavelock";

inline void Executable(const fs::path &path, const fs::path &fakeGame)
{
    fs::create_directories(path.parent_path());
    fs::copy_file(fakeGame, path, fs::copy_options::overwrite_existing);
}

inline void NativeLog(const fs::path &home, const fs::path &systemFolder)
{
    WriteTextFile(home / kGameLogBelowHome, "Log: Log file open\nInit: Base directory: " +
                                                systemFolder.string() + "/\nLog: Bound\n");
}

// A Wine prefix with the usual drive links.
inline void Prefix(const fs::path &prefix)
{
    fs::create_directories(prefix / "drive_c");
    fs::create_directories(prefix / "dosdevices");
    fs::create_directory_symlink("../drive_c", prefix / "dosdevices/c:");
    fs::create_directory_symlink("/", prefix / "dosdevices/z:");
}

// The Windows game in folder, with the log it writes (CR LF) naming windowsFolder.
inline void WindowsGame(const fs::path &folder, const std::string &windowsFolder)
{
    WriteTextFile(folder / "System/UT2004.exe", "MZ");
    WriteTextFile(folder / "System/UT2004.log", "Log: Log file open\r\nInit: Base directory: " +
                                                    windowsFolder + "\\System\\\r\n");
}

inline std::string Windows(const fs::path &path)
{
    std::string text = "Z:" + path.string();
    for (char &c : text) {
        c = c == '/' ? '\\' : c;
    }
    return text;
}

inline std::vector<std::string> Native(const fs::path &runsIn)
{
    return {fs::weakly_canonical(runsIn).string(), kLogo, kMod};
}

inline std::vector<std::string> Wine(const fs::path &game, const fs::path &prefix)
{
    const fs::path real = fs::canonical(game);
    return {(real / "System").string(), (real / "System/UT2004.exe").string(), kLogo, kMod,
            "WINEPREFIX=" + prefix.string()};
}

inline std::vector<PlayerLayout> All()
{
    return {
        {"Native3369Script",
         [](const fs::path &root, const fs::path &home, const fs::path &fake) {
             const fs::path game = root / "usr/local/games/ut2004";
             NativeLog(home, game / "System");
             // The port's script changes into System and starts the binary there.
             WriteTextFile(game / "ut2004",
                           "#!/bin/sh\ncd \"${0%/*}/System\" && exec ./ut2004-bin \"$@\"\n");
             fs::permissions(game / "ut2004", fs::perms::owner_all | fs::perms::group_exec |
                                                  fs::perms::others_exec | fs::perms::group_read |
                                                  fs::perms::others_read);
             Executable(game / "System/ut2004-bin", fake);
             return LaidOut{game, Native(game / "System")};
         }},
        {"Native3369Amd64",
         [](const fs::path &root, const fs::path &home, const fs::path &fake) {
             const fs::path game = root / "opt/ut2004";
             NativeLog(home, game / "System");
             Executable(game / "System/ut2004-bin-linux-amd64", fake);
             WriteTextFile(game / "System/ut2004-bin", "32-bit, not to be chosen");
             return LaidOut{game, Native(game / "System")};
         }},
        {"Native3369InHome",
         [](const fs::path &, const fs::path &home, const fs::path &fake) {
             const fs::path game = home / "ut2004";
             NativeLog(home, game / "System");
             Executable(game / "System/ut2004-bin", fake);
             return LaidOut{game, Native(game / "System")};
         }},
        {"Patch3374",
         [](const fs::path &, const fs::path &home, const fs::path &fake) {
             const fs::path game = home / ".local/share/OldUnreal/UT2004";
             NativeLog(home, game / "System");
             Executable(game / "System/UT2004", fake);
             return LaidOut{game, Native(game / "System")};
         }},
        {"Patch3374Arm64",
         [](const fs::path &, const fs::path &home, const fs::path &fake) {
             const fs::path game = home / ".local/share/OldUnreal/UT2004";
             NativeLog(home, game / "SystemARM64");
             Executable(game / "SystemARM64/UT2004", fake);
             WriteTextFile(game / "System/UT2004", "x86_64, not to be chosen");
             return LaidOut{game, Native(game / "SystemARM64")};
         }},
        {"Patch3374NeverRun",
         [](const fs::path &, const fs::path &home, const fs::path &fake) {
             const fs::path game = home / ".local/share/OldUnreal/UT2004";
             Executable(game / "System/UT2004", fake);
             return LaidOut{game, Native(game / "System")};
         }},
        {"WineDefaultPrefix",
         [](const fs::path &, const fs::path &home, const fs::path &) {
             const fs::path prefix = home / ".wine";
             Prefix(prefix);
             WindowsGame(prefix / "drive_c/UT2004", "C:\\UT2004");
             return LaidOut{prefix / "drive_c/UT2004", Wine(prefix / "drive_c/UT2004", prefix)};
         }},
        {"LutrisPrefix",
         [](const fs::path &, const fs::path &home, const fs::path &) {
             const fs::path prefix = home / "Games/unreal-tournament-2004";
             Prefix(prefix);
             const fs::path game = prefix / "drive_c/GOG Games/Unreal Tournament 2004";
             WindowsGame(game, "C:\\GOG Games\\Unreal Tournament 2004");
             return LaidOut{game, Wine(game, prefix)};
         }},
        // A prefix elsewhere, named by Lutris' game file, whose registry names the game on D:.
        {"LutrisRegistryOnDriveD",
         [](const fs::path &root, const fs::path &home, const fs::path &) {
             const fs::path prefix = root / "prefixes/ut2004";
             Prefix(prefix);
             fs::create_directories(root / "disk-d");
             fs::create_directory_symlink(root / "disk-d", prefix / "dosdevices/d:");
             WriteTextFile(home / ".config/lutris/games/unreal-tournament-2004-1700000000.yml",
                           "game:\n  exe: UT2004.exe\n  prefix: " + prefix.string() + "\n");
             WriteTextFile(prefix / "system.reg",
                           "WINE REGISTRY Version 2\n\n[Software\\\\Wow6432Node\\\\Unreal "
                           "Technology\\\\Installed Apps\\\\UT2004] 1700000000\n"
                           "\"Folder\"=\"D:\\\\Games\\\\UT2004\"\n");
             const fs::path game = root / "disk-d/Games/UT2004";
             WindowsGame(game, "D:\\Games\\UT2004");
             return LaidOut{game, Wine(game, prefix)};
         }},
        {"SteamProtonLibrary",
         [](const fs::path &root, const fs::path &home, const fs::path &) {
             const fs::path library = root / "SteamLibrary";
             WriteTextFile(
                 home / ".local/share/Steam/steamapps/libraryfolders.vdf",
                 "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" +
                     (home / ".local/share/Steam").string() +
                     "\"\n\t}\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"" + library.string() +
                     "\"\n\t\t\"apps\"\n\t\t{\n\t\t\t\"13230\"\t\t\"1\"\n\t\t}\n\t}\n}\n");
             Prefix(library / "steamapps/compatdata/13230/pfx");
             const fs::path game = library / "steamapps/common/Unreal Tournament 2004";
             WindowsGame(game, Windows(game));
             return LaidOut{
                 game,
                 {fs::canonical(game / "System").string(), "-applaunch", "13230", kLogo, kMod},
                 true};
         }},
        {"FlatpakSteam",
         [](const fs::path &, const fs::path &home, const fs::path &) {
             const fs::path steam = home / ".var/app/com.valvesoftware.Steam/.local/share/Steam";
             const fs::path game = steam / "steamapps/common/Unreal Tournament 2004";
             WriteTextFile(game / "System/UT2004.exe", "MZ");
             return LaidOut{game,
                            {fs::canonical(game / "System").string(), "run",
                             "com.valvesoftware.Steam", "-applaunch", "13230", kLogo, kMod},
                            true};
         }},
    };
}

#ifdef _WIN32
// The ways a Windows player has the game, in the real places of the Wine prefix the tests run in:
// C:\, the machine's and the user's registry. Shared by every test in that prefix, so only under
// Wine, one test at a time, each clearing the places before and after.

inline bool UnderWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

inline const wchar_t *kRetailKey = L"SOFTWARE\\Unreal Technology\\Installed Apps\\UT2004";
inline const wchar_t *kSteamKey = L"Software\\Valve\\Steam";
inline const fs::path kDefaultFolder = "C:\\UT2004";

// Clears the places when made and when it goes.
class WindowsPlacesCleared
{
public:
    WindowsPlacesCleared() { clear(); }
    ~WindowsPlacesCleared() { clear(); }
    WindowsPlacesCleared(const WindowsPlacesCleared &) = delete;
    WindowsPlacesCleared &operator=(const WindowsPlacesCleared &) = delete;

private:
    static void clear()
    {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRetailKey);
        RegDeleteTreeW(HKEY_CURRENT_USER, kSteamKey);
        std::error_code ignored;
        fs::remove_all(kDefaultFolder, ignored);
    }
};

inline void SetRegistryText(HKEY hive, const wchar_t *key, const wchar_t *value,
                            const fs::path &text)
{
    const std::wstring data = text.native();
    ASSERT_EQ(RegSetKeyValueW(hive, key, value, REG_SZ, data.c_str(),
                              DWORD((data.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

// The Windows game in folder, the stand-in as its UT2004.exe, and what it must record: it runs
// in System, from where ../KVRavelock is the mod.
inline LaidOut WindowsGameWithFake(const fs::path &folder, const fs::path &fakeGame)
{
    Executable(folder / "System/UT2004.exe", fakeGame);
    return LaidOut{folder, {(folder / "System").string(), kLogo, kMod}};
}

inline std::vector<PlayerLayout> WindowsAll()
{
    return {
        {"DefaultFolder",
         [](const fs::path &, const fs::path &, const fs::path &fake) {
             return WindowsGameWithFake(kDefaultFolder, fake);
         }},
        // The retail installer's value, naming a folder whose log names it too.
        {"RetailRegistryValue",
         [](const fs::path &root, const fs::path &, const fs::path &fake) {
             const fs::path game = root / "Retail Games/UT2004";
             SetRegistryText(HKEY_LOCAL_MACHINE, kRetailKey, L"Folder", game);
             LaidOut laid = WindowsGameWithFake(game.lexically_normal().make_preferred(), fake);
             WriteTextFile(game / "System/UT2004.log",
                           "Log: Log file open\r\nInit: Base directory: " +
                               (laid.game / "System\\").string() + "\r\n");
             return laid;
         }},
        // Steam named in the user's registry; the game in a second library its file lists.
        {"SteamLibrary",
         [](const fs::path &root, const fs::path &, const fs::path &fake) {
             SetRegistryText(HKEY_CURRENT_USER, kSteamKey, L"SteamPath", root / "Steam");
             std::string library = (root / "SteamLibrary").lexically_normal().string();
             std::string escaped;
             for (const char c : library) {
                 escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
             }
             WriteTextFile(root / "Steam/steamapps/libraryfolders.vdf",
                           "\"libraryfolders\"\n{\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"" + escaped +
                               "\"\n\t}\n}\n");
             return WindowsGameWithFake(
                 (root / "SteamLibrary/steamapps/common/Unreal Tournament 2004")
                     .lexically_normal()
                     .make_preferred(),
                 fake);
         }},
    };
}
#endif

} // namespace layouts

} // namespace kv::test
