#include "FileOperations.h"

#include <filesystem>
#include <system_error>

#include "FilePath.h"

namespace kv::converter {

namespace fs = std::filesystem;

bool FileExists(const std::string &path)
{
    std::error_code ec;
    return fs::is_regular_file(imaging::PathFromUtf8(path), ec);
}

bool PathExists(const std::string &path)
{
    std::error_code ec;
    return fs::exists(imaging::PathFromUtf8(path), ec);
}

void CreateFolders(const std::string &folder)
{
    std::error_code ignored;
    fs::create_directories(imaging::PathFromUtf8(folder), ignored);
}

} // namespace kv::converter
