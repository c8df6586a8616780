#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ConversionRun.h"
#include "ConversionSettings.h"
#include "FileSystem.h"
#include "FolderWatch.h"

namespace kv::converter {

// Converts the complete screenshots a FolderWatch hands over (absolute paths) as a conversion of
// those files would: each is measured for the edition of settings and the rows are run in caption
// order, reporting to observer. A file gone since the watch looked is passed over without a word.
// A file that cannot be measured, and the one an error ended the run at, are done until they
// change, and problem gets the text to show; those after it come again. Throws nothing but what
// observer and problem throw.
WatchHandler::Outcome ConvertWatchedScreenshots(
    const std::vector<std::string> &paths, const ConversionSettingTexts &settings, int jobs,
    ConversionObserver &observer, const std::function<void(const std::string &)> &problem,
    FileSystem &files = SystemFileSystem());

} // namespace kv::converter
