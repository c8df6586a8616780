#include "SystemLog.h"

#include <cstdio>

#ifdef __APPLE__
#include <os/log.h>
#else
#include <syslog.h>
#endif

namespace kv::game {

namespace {

class PlatformSystemLog final : public SystemLog
{
public:
    void line(const std::string &text) override
    {
#ifdef __APPLE__
        os_log(OS_LOG_DEFAULT, "%{public}s", text.c_str());
#else
        // Without openlog() the entry carries the program's name, under the user facility.
        syslog(LOG_USER | LOG_NOTICE, "%s", text.c_str());
#endif
        std::fprintf(stderr, "%s\n", text.c_str());
    }
};

} // namespace

SystemLog &PlatformLog()
{
    static PlatformSystemLog log;
    return log;
}

} // namespace kv::game
