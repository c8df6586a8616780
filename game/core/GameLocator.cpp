#include "GameLocator.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <utility>
#include <vector>

#include "BaseDirectoryLine.h"
#include "FilePath.h"
#include "GameTexts.h"
#include "WindowsPaths.h"

namespace kv::game {

namespace fs = std::filesystem;

namespace {

constexpr const char *kSteamGameFolder = "/steamapps/common/Unreal Tournament 2004";
constexpr const char *kSteamLibraryFile = "/steamapps/libraryfolders.vdf";
constexpr const char *kProtonPrefixBelowLibrary = "/steamapps/compatdata/13230/pfx";
constexpr const char *kFlatpakSteamHome = "/.var/app/com.valvesoftware.Steam/";

bool IsSeparator(char c)
{
    return c == '/' || c == '\\';
}

std::string WithoutTrailingSeparators(std::string path)
{
    while (path.size() > 1 && IsSeparator(path.back())) {
        path.pop_back();
    }
    return path;
}

// The folder holding path's last component, with its trailing separator.
std::string FolderOf(const std::string &path)
{
    std::size_t end = path.size();
    while (end > 0 && !IsSeparator(path[end - 1])) {
        --end;
    }
    return path.substr(0, end);
}

std::optional<std::string> ReadWholeFile(const std::string &path)
{
    std::ifstream in(imaging::PathFromUtf8(path), std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The entries of folder in name order, so that the search goes the same way on every run.
std::vector<fs::path> Entries(const std::string &folder)
{
    std::vector<fs::path> entries;
    std::error_code error;
    for (fs::directory_iterator it(imaging::PathFromUtf8(folder), error), end; !error && it != end;
         it.increment(error)) {
        entries.push_back(it->path());
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

} // namespace

GameStart StartFor(const FoundGame &game, const PathExists &exists)
{
    const PlatformLayout &layout = game.layout != nullptr ? *game.layout : ThisPlatform();
    // Those in the named folder first: the log says which binary the machine ran.
    std::vector<const GameExecutable *> order;
    for (const bool named : {true, false}) {
        for (const GameExecutable &executable : layout.executables) {
            if (executable.inNamedFolder == named) {
                order.push_back(&executable);
            }
        }
    }
    const auto pathOf = [&game](const GameExecutable &executable) {
        return (executable.inNamedFolder ? game.baseDirectory : game.location) + executable.path;
    };
    const auto chosen = std::find_if(order.begin(), order.end(),
                                     [&](const GameExecutable *e) { return exists(pathOf(*e)); });
    const GameExecutable &executable = chosen != order.end() ? **chosen : *order.front();

    GameStart start;
    start.executable = pathOf(executable);
    start.workingDirectory =
        executable.runsIn == RunsIn::Location ? game.location : FolderOf(start.executable);
    const std::vector<std::string> modArguments = {layout::kUserLogoArgument, layout::kModArgument};
    switch (game.runner) {
    case GameRunner::Direct:
        start.program = start.executable;
        break;
    case GameRunner::Wine:
        start.program = "wine";
        start.arguments = {start.executable};
        start.environment = {{"WINEPREFIX", game.prefix}};
        break;
    case GameRunner::Steam:
    case GameRunner::FlatpakSteam:
        // Steam passes what follows the game's id on to the game.
        start.program = game.runner == GameRunner::Steam ? "steam" : "flatpak";
        if (game.runner == GameRunner::FlatpakSteam) {
            start.arguments = {"run", "com.valvesoftware.Steam"};
        }
        start.arguments.insert(start.arguments.end(), {"-applaunch", layout::kSteamAppId});
        start.waitable = false;
        break;
    }
    start.arguments.insert(start.arguments.end(), modArguments.begin(), modArguments.end());
#ifdef _WIN32
    // The layout's paths use "/" as they also serve inside Wine prefixes; Windows shows "\".
    for (std::string *path : {&start.executable, &start.program, &start.workingDirectory}) {
        std::replace(path->begin(), path->end(), '/', '\\');
    }
#endif
    return start;
}

GameLocator::GameLocator(std::string home, SystemLog &log, PathExists exists,
                         const PlatformLayout &layout, RegistryReader registry)
    : home_(std::move(home)), log_(log), exists_(std::move(exists)), layout_(layout),
      registry_(std::move(registry))
{}

std::string GameLocator::expanded(const char *path) const
{
    return ExpandHome(path, home_);
}

bool GameLocator::gameLogExists() const
{
    return *layout_.gameLog != '\0' && exists_(expanded(layout_.gameLog));
}

bool GameLocator::modLogExists() const
{
    return *layout_.modLog != '\0' && exists_(expanded(layout_.modLog));
}

std::optional<FoundGame> GameLocator::fromLog(const char *logPath, const char *logLineFormat) const
{
    const std::optional<std::string> line =
        *logPath != '\0' ? ReadBaseDirectoryLine(expanded(logPath)) : std::nullopt;
    log_.line(texts::Filled(logLineFormat, line));
    if (!line) {
        return std::nullopt;
    }
    FoundGame game;
    game.baseDirectory = BaseDirectoryOf(*line);
    game.location = GameLocationOf(game.baseDirectory);
    game.layout = &layout_;
    if (game.location.empty()) {
        return std::nullopt;
    }
    return game;
}

std::optional<FoundGame> GameLocator::gameFromGameLog() const
{
    return fromLog(layout_.gameLog, texts::kGameLogLine);
}

std::optional<FoundGame> GameLocator::gameFromModLog() const
{
    return fromLog(layout_.modLog, texts::kModLogLine);
}

std::string GameLocator::gameLogLocation() const
{
    const std::optional<FoundGame> game = gameFromGameLog();
    return game ? game->location : std::string();
}

std::string GameLocator::modLogLocation() const
{
    const std::optional<FoundGame> game = gameFromModLog();
    return game ? game->location : std::string();
}

std::optional<FoundGame> GameLocator::findElsewhere()
{
    visited_.clear();
    std::optional<FoundGame> game =
        inPlaces(layout_, Context{&layout_, GameRunner::Direct, std::string(), false});
    if (game) {
        log_.line(texts::Filled(texts::kUsingPlace, game->location));
        foundLocation_ = game->location;
    }
    return game;
}

bool GameLocator::firstVisit(const std::string &path)
{
    std::error_code error;
    const fs::path canonical = fs::weakly_canonical(imaging::PathFromUtf8(path), error);
    return visited_
        .insert(error ? path : WithoutTrailingSeparators(imaging::Utf8FromPath(canonical)))
        .second;
}

std::optional<FoundGame> GameLocator::inPlaces(const PlatformLayout &places, const Context &context)
{
    // A Windows path inside a prefix is mapped to this system's; one that cannot be is skipped.
    const auto here = [&context](const std::string &path) -> std::optional<std::string> {
        return context.insidePrefix ? MapThroughPrefix(path, context.prefix) : path;
    };
    for (const GamePlace &place : places.places) {
        std::optional<FoundGame> game;
        switch (place.kind) {
        case PlaceKind::GameFolder:
            if (const auto folder = here(expanded(place.path))) {
                game = inFolder(*folder, context);
            }
            break;
        case PlaceKind::WinePrefix:
            game = inPrefix(expanded(place.path));
            break;
        case PlaceKind::LutrisGames:
            for (const fs::path &folder : Entries(expanded(place.path))) {
                if (!game && exists_((folder / "dosdevices").string())) {
                    game = inPrefix(folder.string());
                }
            }
            break;
        case PlaceKind::LutrisConfigs:
            for (const fs::path &file : Entries(expanded(place.path))) {
                if (game || file.extension() != ".yml") {
                    continue;
                }
                if (const auto text = ReadWholeFile(file.string())) {
                    if (const auto prefix = LutrisPrefixIn(*text)) {
                        game = inPrefix(ExpandHome(*prefix, home_));
                    }
                }
            }
            break;
        case PlaceKind::SteamRoot:
        case PlaceKind::FlatpakSteamRoot:
            if (const auto root = here(expanded(place.path))) {
                game = inSteam(*root, context,
                               place.kind == PlaceKind::SteamRoot ? GameRunner::Steam
                                                                  : GameRunner::FlatpakSteam);
            }
            break;
        case PlaceKind::RegistryFolder:
            if (const auto value = registryValue(place.path, context)) {
                if (const auto folder = here(*value)) {
                    game = inFolder(*folder, context);
                }
            }
            break;
        case PlaceKind::RegistrySteamRoot:
            if (const auto value = registryValue(place.path, context)) {
                if (const auto root = here(*value)) {
                    game = inSteam(*root, context, GameRunner::Steam);
                }
            }
            break;
        }
        if (game) {
            return game;
        }
    }
    return std::nullopt;
}

std::optional<FoundGame> GameLocator::inFolder(const std::string &path, const Context &context)
{
    const std::string folder = WithoutTrailingSeparators(path);
    if (folder.empty() || !firstVisit(folder)) {
        return std::nullopt;
    }
    log_.line(texts::Filled(texts::kLookingIn, folder));
    if (!exists_(folder)) {
        return std::nullopt;
    }
    const auto found = [&context](std::string baseDirectory) {
        FoundGame game;
        game.location = GameLocationOf(baseDirectory);
        game.baseDirectory = std::move(baseDirectory);
        game.runner = context.runner;
        game.prefix = context.prefix;
        game.layout = context.layout;
        return game;
    };
    // The Windows game writes its log into its own System folder; a game moved since then is
    // still found where it is now.
    if (const auto line = ReadBaseDirectoryLine(folder + "/System/UT2004.log")) {
        // The Windows game ends its lines with CR LF.
        std::optional<std::string> baseDirectory = BaseDirectoryOf(*line);
        while (!baseDirectory->empty() && baseDirectory->back() == '\r') {
            baseDirectory->pop_back();
        }
        if (!context.prefix.empty()) {
            baseDirectory = MapThroughPrefix(*baseDirectory, context.prefix);
        }
        if (baseDirectory && (&layout_ == &WindowsLayout() || !HasDriveLetter(*baseDirectory))) {
            const FoundGame game = found(*baseDirectory);
            if (!game.location.empty() && holdsExecutable(game)) {
                return game;
            }
        }
    }
    FoundGame game = found(folder + "/System/");
    if (holdsExecutable(game)) {
        return game;
    }
    return std::nullopt;
}

std::optional<FoundGame> GameLocator::inPrefix(const std::string &prefix)
{
    if (!firstVisit(prefix + "/dosdevices")) {
        return std::nullopt;
    }
    log_.line(texts::Filled(texts::kLookingIn, prefix));
    if (!exists_(prefix + "/dosdevices")) {
        return std::nullopt;
    }
    return inPlaces(WindowsLayout(), Context{&WindowsLayout(), GameRunner::Wine, prefix, true});
}

std::optional<FoundGame> GameLocator::inSteam(const std::string &root, const Context &context,
                                              GameRunner runner)
{
    const std::string rootFolder = WithoutTrailingSeparators(root);
    if (!firstVisit(rootFolder + kSteamLibraryFile)) {
        return std::nullopt;
    }
    log_.line(texts::Filled(texts::kLookingIn, rootFolder));
    std::vector<std::string> libraries = {rootFolder};
    if (const auto vdf = ReadWholeFile(rootFolder + kSteamLibraryFile)) {
        for (const std::string &library : SteamLibrariesIn(*vdf)) {
            const auto here =
                context.insidePrefix ? MapThroughPrefix(library, context.prefix) : library;
            if (here) {
                libraries.push_back(WithoutTrailingSeparators(*here));
            }
        }
    }
    for (const std::string &library : libraries) {
        Context inLibrary = context;
        if (!context.insidePrefix && &layout_ != &WindowsLayout()) {
            // Steam for Linux runs the Windows game through Proton, in the library's prefix.
            inLibrary =
                Context{&WindowsLayout(), runner, library + kProtonPrefixBelowLibrary, false};
        }
        if (auto game = inFolder(library + kSteamGameFolder, inLibrary)) {
            return game;
        }
    }
    return std::nullopt;
}

std::optional<std::string> GameLocator::registryValue(const std::string &entry,
                                                      const Context &context) const
{
    const std::size_t bar = entry.find('|');
    const std::string key = entry.substr(0, bar);
    const std::string value = entry.substr(bar + 1);
    if (!context.insidePrefix) {
        return registry_ ? registry_(key, value) : std::nullopt;
    }
    // Wine keeps the machine's hive in system.reg and the user's in user.reg, below the hive.
    const std::size_t hiveEnd = key.find('\\');
    const std::string hive = key.substr(0, hiveEnd);
    const std::string file = hive == "HKCU" ? "/user.reg" : "/system.reg";
    const auto text = ReadWholeFile(context.prefix + file);
    if (!text || hiveEnd == std::string::npos) {
        return std::nullopt;
    }
    return WineRegistryValue(*text, key.substr(hiveEnd + 1), value);
}

bool GameLocator::holdsExecutable(const FoundGame &game) const
{
    return exists_(StartFor(game, exists_).executable);
}

FoundGame GameLocator::gameInSheetPath(const std::string &path) const
{
    FoundGame native;
    native.baseDirectory = path + "/System/";
    native.location = path + "/";
    native.layout = &layout_;
    if (&layout_ == &WindowsLayout() || holdsExecutable(native)) {
        return native;
    }
    FoundGame windows = native;
    windows.layout = &WindowsLayout();
    if (!holdsExecutable(windows)) {
        return native; // starting it fails and says so
    }
    if (const std::size_t library = path.find("/steamapps/common/"); library != std::string::npos) {
        windows.runner = path.find(kFlatpakSteamHome) != std::string::npos
                             ? GameRunner::FlatpakSteam
                             : GameRunner::Steam;
        windows.prefix = path.substr(0, library) + kProtonPrefixBelowLibrary;
        return windows;
    }
    // The Wine prefix the folder lies in: the nearest folder above it with drive links.
    for (fs::path folder = fs::path(path).parent_path(); !folder.empty();
         folder = folder.parent_path()) {
        if (exists_((folder / "dosdevices").string())) {
            windows.runner = GameRunner::Wine;
            windows.prefix = folder.string();
            return windows;
        }
        if (folder == folder.root_path()) {
            break;
        }
    }
    return native;
}

bool GameLocator::executableExists(const std::string &pathBeingUsed) const
{
    return exists_(pathBeingUsed);
}

bool GameLocator::modInstalled() const
{
    std::vector<std::string> candidates;
    if (sheetPathEntered_) {
        log_.line(texts::kSheetPathUsed);
        const std::string pathFromSheet = sheetPath_ + layout::kModDescriptorBelowSheetPath;
        log_.line(texts::Filled(texts::kPathFromSheet, pathFromSheet));
        candidates = {pathFromSheet, expanded(layout_.userModDescriptor)};
    } else {
        // A log that exists but names no location gives no candidate: its descriptor path would be
        // the bare relative "KVRavelock/UT2K4Mod.ini", tested against whatever folder we run in.
        std::optional<std::string> descriptorBelowGameLog;
        if (gameLogExists()) {
            if (const std::string location = gameLogLocation(); !location.empty()) {
                descriptorBelowGameLog = location + layout::kModDescriptorBelowLocation;
                log_.line(texts::Filled(texts::kDescriptorBelowGameLog, descriptorBelowGameLog));
            }
        }
        std::optional<std::string> descriptorBelowModLog;
        if (modLogExists()) {
            if (const std::string location = modLogLocation(); !location.empty()) {
                descriptorBelowModLog = location + layout::kModDescriptorBelowLocation;
                log_.line(texts::Filled(texts::kDescriptorBelowModLog, descriptorBelowModLog));
            }
        }
        if (descriptorBelowGameLog) {
            candidates.push_back(*descriptorBelowGameLog);
        }
        if (*layout_.userModDescriptor != '\0') {
            candidates.push_back(expanded(layout_.userModDescriptor));
        }
        if (descriptorBelowModLog) {
            candidates.push_back(*descriptorBelowModLog);
        }
        if (foundLocation_) {
            const std::string descriptor = *foundLocation_ + layout::kModDescriptorBelowLocation;
            log_.line(texts::Filled(texts::kDescriptorBelowPlace, descriptor));
            candidates.push_back(descriptor);
        }
    }
    for (const std::string &candidate : candidates) {
        if (exists_(candidate)) {
            return true;
        }
    }
    return false;
}

std::string GameLocator::screenshotFolder()
{
    const auto below = [](const std::optional<FoundGame> &game) {
        return game ? game->location + layout::kScreenshotsBelowLocation : std::string();
    };
    // In the order the launcher finds the game; the search of the other places, the slowest,
    // only when nothing before it has the folder.
    const std::function<std::string()> candidates[] = {
        [&] { return below(gameFromGameLog()); },
        [&] { return below(gameFromModLog()); },
        [&] {
#ifdef __linux__
            // Where the Linux game itself writes them, wherever it lies.
            return expanded(layout::kLinuxUserScreenshots);
#else
            return std::string();
#endif
        },
        [&] { return below(findElsewhere()); },
    };
    for (const auto &candidate : candidates) {
        if (const std::string folder = candidate(); !folder.empty() && exists_(folder)) {
            return folder;
        }
    }
    return {};
}

void GameLocator::enterSheetPath(const std::string &path)
{
    sheetPathEntered_ = true;
    sheetPath_ = path;
}

} // namespace kv::game
