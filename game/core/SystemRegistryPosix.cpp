#include "GameLocator.h"

namespace kv::game {

std::optional<std::string> SystemRegistryValue(const std::string &, const std::string &)
{
    // Only Windows has a registry; Wine prefixes' registry files are read by the locator itself.
    return std::nullopt;
}

} // namespace kv::game
