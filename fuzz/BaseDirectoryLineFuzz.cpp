// Any log text gives a base-directory line and a location, or none, never a crash.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "BaseDirectoryLine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    if (const auto line = kv::game::FindBaseDirectoryLine(text)) {
        volatile std::size_t length =
            kv::game::GameLocationOf(kv::game::BaseDirectoryOf(*line)).size();
        (void)length;
    }
    return 0;
}
