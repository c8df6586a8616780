#include "PathExists.h"

#include <filesystem>
#include <system_error>

namespace kv::game {

bool PathExistsOnDisk(const std::string &path)
{
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
}

} // namespace kv::game
