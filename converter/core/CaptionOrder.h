#pragma once

#include <string>
#include <vector>

#include "ScreenshotRow.h"

namespace kv::converter {

// The order of the screenshot list: negative when caption a comes before b, 0 only for equal
// texts. Locale-aware and case-sensitive (the system's user locale on Windows, LC_COLLATE
// elsewhere); texts the locale ranks alike are ordered byte by byte.
int CompareCaptions(const std::string &a, const std::string &b);

// Orders rows by CompareCaptions, keeping rows of equal captions in the order they were added.
void SortByCaption(std::vector<ScreenshotRow> &rows);

} // namespace kv::converter
