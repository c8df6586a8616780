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

bool GameLocator::gameLogExists() const
{
    return exists_(expanded(layout::kGameLog));
}

bool GameLocator::modLogExists() const
{
    return exists_(expanded(layout::kModLog));
}

std::string GameLocator::locationFrom(const char *logPath, const char *logLineFormat) const
{
    const std::optional<std::string> line = ReadBaseDirectoryLine(expanded(logPath));
    log_.line(texts::Filled(logLineFormat, line));
    return line ? GameLocationOf(BaseDirectoryOf(*line)) : std::string();
}

std::string GameLocator::gameLogLocation() const
{
    return locationFrom(layout::kGameLog, texts::kGameLogLine);
}

std::string GameLocator::modLogLocation() const
{
    return locationFrom(layout::kModLog, texts::kModLogLine);
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
        candidates = {pathFromSheet, expanded(layout::kUserModDescriptor)};
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
        candidates.push_back(expanded(layout::kUserModDescriptor));
        if (descriptorBelowModLog) {
            candidates.push_back(*descriptorBelowModLog);
        }
    }
    for (const std::string &candidate : candidates) {
        if (exists_(candidate)) {
            return true;
        }
    }
    return false;
}

std::string GameLocator::screenshotFolder() const
{
    std::vector<std::string> candidates;
    if (gameLogExists()) {
        if (const std::string location = gameLogLocation(); !location.empty()) {
            candidates.push_back(location + layout::kScreenshotsBelowLocation);
        }
    }
#ifdef __linux__
    candidates.push_back(expanded(layout::kLinuxUserScreenshots));
#endif
    for (const std::string &candidate : candidates) {
        if (exists_(candidate)) {
            return candidate;
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
