#include "GameScreenshotFolder.h"

#ifdef KV_WITH_GAME_LOCATION
#include "GameLayout.h"
#include "GameLocator.h"
#include "SystemLog.h"
#endif

namespace kv::converter {

std::string GameScreenshotFolder()
{
#ifdef KV_WITH_GAME_LOCATION
    // The locator names each log line and place it reads; here only the folder matters.
    struct Quiet : game::SystemLog
    {
        void line(const std::string &) override {}
    } quiet;
    return game::GameLocator(game::HomeFolder(), quiet).screenshotFolder();
#else
    return {};
#endif
}

} // namespace kv::converter
