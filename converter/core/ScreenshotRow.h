#pragma once

#include <string>

namespace kv::converter {

// One row of the screenshot list. Complete once measured; never changed afterwards, so the
// supported verdict keeps the edition that was selected when the row was added.
struct ScreenshotRow
{
    std::string caption;    // file name without folder
    std::string resolution; // resolution label, "1024 x 768"
    std::string supported;  // "Yes" or "No"
    std::string path;       // full path as chosen
};

} // namespace kv::converter
