#include "GameLocator.h"

#include <optional>
#include <utility>
#include <vector>

#include "BaseDirectoryLine.h"
#include "GameLayout.h"
#include "GameTexts.h"

namespace kv::game {

GameLocator::GameLocator(std::string home, SystemLog &log, PathExists exists)
    : home_(std::move(home)), log_(log), exists_(std::move(exists))
{}

std::string GameLocator::expanded(const char *path) const
{
    return ExpandHome(path, home_);
}

bool GameLocator::unrealLogExists() const
{
    return exists_(expanded(layout::kGameLog));
}

bool GameLocator::KVROrLogExists() const
{
    return exists_(expanded(layout::kModLog));
}

std::string GameLocator::locationFrom(const char *logPath, const char *logLineFormat) const
{
    const std::optional<std::string> line = ReadBaseDirectoryLine(expanded(logPath));
    log_.line(texts::Filled(logLineFormat, line));
    return line ? GameLocationOf(BaseDirectoryOf(*line)) : std::string();
}

std::string GameLocator::unrealLocation() const
{
    return locationFrom(layout::kGameLog, texts::kUnrealLocationLine);
}

std::string GameLocator::KVROrUnrealLocation() const
{
    return locationFrom(layout::kModLog, texts::kKVROrLocationLine);
}

bool GameLocator::unrealBinaryExists(const std::string &pathBeingUsed) const
{
    return exists_(pathBeingUsed);
}

bool GameLocator::KVRavelockExists() const
{
    std::vector<std::string> candidates;
    if (sheetPrompted_) {
        log_.line(texts::kUsedASheet);
        const std::string pathFromSheet = sheetPath_ + layout::kModDescriptorBelowSheetPath;
        log_.line(texts::Filled(texts::kPathFromSheet, pathFromSheet));
        candidates = {pathFromSheet, expanded(layout::kUserModDescriptor)};
    } else {
        // A log that exists but names no location gives no candidate: its descriptor path would be
        // the bare relative "KVRavelock/UT2K4Mod.ini", tested against whatever folder we run in.
        std::optional<std::string> modPathString;
        if (unrealLogExists()) {
            if (const std::string location = unrealLocation(); !location.empty()) {
                modPathString = location + layout::kModDescriptorBelowLocation;
                log_.line(texts::Filled(texts::kUnrealBeingUsed, modPathString));
            }
        }
        std::optional<std::string> modPathString2;
        if (KVROrLogExists()) {
            if (const std::string location = KVROrUnrealLocation(); !location.empty()) {
                modPathString2 = location + layout::kModDescriptorBelowLocation;
                log_.line(texts::Filled(texts::kKVROrUnrealBeingUsed, modPathString2));
            }
        }
        if (modPathString) {
            candidates.push_back(*modPathString);
        }
        candidates.push_back(expanded(layout::kUserModDescriptor));
        if (modPathString2) {
            candidates.push_back(*modPathString2);
        }
    }
    for (const std::string &candidate : candidates) {
        if (exists_(candidate)) {
            return true;
        }
    }
    return false;
}

void GameLocator::enterSheetPath(const std::string &path)
{
    sheetPrompted_ = true;
    sheetPath_ = path;
}

} // namespace kv::game
