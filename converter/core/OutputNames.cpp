#include "OutputNames.h"

#include <string_view>

#include "ConverterTexts.h"
#include "FileOperations.h"
#include "FilePath.h"

namespace kv::converter {

std::string WithTrailingSeparator(std::string folder)
{
    if (folder.empty() || !IsPathSeparator(folder.back())) {
        folder += kPathSeparator;
    }
    return folder;
}

std::string OutputPath(const std::string &folder, const std::string &name, int n)
{
    return folder + name + std::to_string(n) + ".jpg";
}

std::optional<std::string> SaveNameProblem(const std::string &name)
{
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            return texts::SaveNameRefused("a control character");
        }
    }
#ifdef _WIN32
    constexpr std::string_view kRefused = "/\\<>:\"|?*";
#else
    constexpr std::string_view kRefused = "/";
#endif
    for (const char c : name) {
        if (kRefused.find(c) != std::string_view::npos) {
            return texts::SaveNameRefused("\"" + std::string(1, c) + "\"");
        }
    }
    return std::nullopt;
}

bool NamesADevice([[maybe_unused]] const std::string &fileName)
{
#ifdef _WIN32
    return imaging::IsDeviceName(fileName);
#else
    return false;
#endif
}

} // namespace kv::converter
