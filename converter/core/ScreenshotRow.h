#pragma once

#include <string>

namespace kv::converter {

// One row of the screenshot list. The supported verdict is for the edition selected when it was
// measured; the window marks it anew when another is chosen, and a run goes by the edition it
// runs with.
struct ScreenshotRow
{
    std::string caption;    // file name without folder
    std::string resolution; // resolution label, "1024 x 768"
    bool supported = false; // for the edition it was measured or last marked for
    std::string path;       // full path as chosen
};

} // namespace kv::converter
