#include "OutputNames.h"

#include <string_view>

#include "ConverterTexts.h"
#include "FileOperations.h"

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

bool IsDeviceName(const std::string &fileName)
{
    // The system looks at the name up to its first dot, less trailing blanks.
    std::string stem = fileName.substr(0, fileName.find('.'));
    while (!stem.empty() && stem.back() == ' ') {
        stem.pop_back();
    }
    std::string upper = stem;
    for (char &c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = char(c - 'a' + 'A');
        }
    }
    for (const char *device : {"CON", "PRN", "AUX", "NUL"}) {
        if (upper == device) {
            return true;
        }
    }
    if (upper.starts_with("COM") || upper.starts_with("LPT")) {
        const std::string_view digit = std::string_view(upper).substr(3);
        // "1" to "9", or the superscript one, two and three in UTF-8.
        return (digit.size() == 1 && digit[0] >= '1' && digit[0] <= '9') || digit == "\xC2\xB9" ||
               digit == "\xC2\xB2" || digit == "\xC2\xB3";
    }
    return false;
}

bool NamesADevice([[maybe_unused]] const std::string &fileName)
{
#ifdef _WIN32
    return IsDeviceName(fileName);
#else
    return false;
#endif
}

} // namespace kv::converter
