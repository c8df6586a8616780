#include "InstallPlan.h"

#include <filesystem>
#include <system_error>

#include "BaseDirectoryLine.h"
#include "FilePath.h"
#include "GameLayout.h"
#include "GameTexts.h"
#include "InstallerTexts.h"

namespace kv::installer {

std::optional<std::string> BaseDirectoryFromGameLog(const std::string &home)
{
    const std::optional<std::string> line =
        game::ReadBaseDirectoryLine(game::ExpandHome(game::ThisPlatform().gameLog, home));
    if (!line) {
        return std::nullopt;
    }
    std::string baseDirectory = game::BaseDirectoryOf(*line);
    // Without a location tar would unpack into its working directory: ask for the game instead.
    if (game::GameLocationOf(baseDirectory).empty()) {
        return std::nullopt;
    }
    return baseDirectory;
}

std::string BaseDirectoryFromSheet(const std::string &sheetText)
{
    return sheetText + kSystemBelowSheetPath;
}

std::string InstallerFolderOf(const std::string &bundlePath)
{
    std::string path = bundlePath;
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string ArchivePath(const std::string &installerFolder)
{
    return game::texts::Filled(kArchiveFormat, installerFolder);
}

std::string MarkerPath(const std::string &gameLocation)
{
    return gameLocation + kMarkerBelowLocation;
}

std::string LauncherSource(const std::string &gameLocation)
{
    return gameLocation + kLauncherBelowLocation;
}

std::string LauncherDestination(const std::string &desktop)
{
    return desktop + "/" + kLauncherOnDesktop;
}

std::string DesktopFolderOf(const std::string &printed, const std::string &home)
{
    std::string folder = printed;
    while (!folder.empty() && (folder.back() == '\n' || folder.back() == '\r')) {
        folder.pop_back();
    }
    return folder.starts_with('/') ? folder : home + "/Desktop";
}

bool ListingReadableByAll(std::string_view listing)
{
    // Each line starts with the member's mode as ls prints it: "-rw-r--r--", "drwxr-xr-x".
    std::size_t start = 0;
    while (start < listing.size()) {
        std::size_t end = listing.find('\n', start);
        if (end == std::string_view::npos) {
            end = listing.size();
        }
        const std::string_view line = listing.substr(start, end - start);
        start = end + 1;
        if (line.empty() || line[0] == 'l' || line[0] == 'h') {
            continue; // a link's own mode means nothing
        }
        if (line.size() < 10 || line[7] != 'r' ||
            (line[0] == 'd' && line[9] != 'x' && line[9] != 't')) {
            return false;
        }
    }
    return true;
}

std::vector<std::string> ExtractionArguments(const std::string &archive,
                                             const std::string &gameLocation)
{
    return {"-xzvf", archive, "--no-same-permissions", "--no-same-owner", "-C", gameLocation};
}

std::vector<std::string> ListingArguments(const std::string &archive)
{
    return {"-tvzf", archive};
}

bool ListingNamesOnlyPlainMembers(std::string_view listing)
{
    // tar escapes a newline inside a name, so every line is one member, led by its type: "-" file,
    // "d" folder, "l" symbolic link, "h" hard link. Anything else (device, FIFO, unknown) refuses.
    std::size_t start = 0;
    while (start < listing.size()) {
        std::size_t end = listing.find('\n', start);
        if (end == std::string_view::npos) {
            end = listing.size();
        }
        if (end > start &&
            std::string_view("-dlh").find(listing[start]) == std::string_view::npos) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

std::optional<std::string> ExtractionObstacle(const std::string &archive,
                                              const std::string &gameLocation)
{
    std::error_code error;
    const std::filesystem::path archivePath = imaging::PathFromUtf8(archive);
    if (!std::filesystem::is_regular_file(archivePath, error)) {
        const std::string folder = imaging::Utf8FromPath(archivePath.parent_path());
        return game::texts::Filled(texts::kArchiveNotFound, folder);
    }
    if (!std::filesystem::is_directory(imaging::PathFromUtf8(gameLocation), error)) {
        return game::texts::Filled(texts::kGameFolderNotFound, gameLocation);
    }
    return std::nullopt;
}

bool CopyLauncher(const std::string &source, const std::string &destination)
{
    std::error_code error;
    // The archive decides what lies at source: a link there could hand any file the installer
    // can read to the Desktop, so only a plain file is copied.
    const std::filesystem::path from = imaging::PathFromUtf8(source);
    if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(from, error))) {
        return false;
    }
    return std::filesystem::copy_file(from, imaging::PathFromUtf8(destination),
                                      std::filesystem::copy_options::none, error);
}

} // namespace kv::installer
