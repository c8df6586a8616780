#include "PathExists.h"

#include <filesystem>
#include <system_error>

#include "FilePath.h"

namespace kv::game {

bool PathExistsOnDisk(const std::string &path)
{
    std::error_code ignored;
    return std::filesystem::exists(imaging::PathFromUtf8(path), ignored);
}

} // namespace kv::game
