#include "GameTexts.h"

namespace kv::game::texts {

std::string Filled(const char *format, const std::optional<std::string> &value)
{
    std::string text = format;
    if (const std::size_t at = text.find("%@"); at != std::string::npos) {
        text.replace(at, 2, value ? *value : std::string(kNullValue));
    }
    return text;
}

} // namespace kv::game::texts
