#pragma once

#include <string>

namespace kv::converter {

// One row of the result list: output file name, "Saved", full output path.
struct ResultRow
{
    std::string fileName;
    std::string result;
    std::string path;
};

} // namespace kv::converter
