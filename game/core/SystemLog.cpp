#include "SystemLog.h"

#include <cstdio>

#if defined(__APPLE__)
#include <os/log.h>
#elif defined(_WIN32)
#include <string>

#include <windows.h>
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
#if defined(__APPLE__)
        os_log(OS_LOG_DEFAULT, "%{public}s", text.c_str());
#elif defined(_WIN32)
        // The debugger's output, which DebugView and the like show: the event log would want
        // an event source registered with administrator rights at install time.
        const std::string lineText = text + "\n";
        std::wstring wide(lineText.size(), L'\0'); // UTF-16 needs no more units than UTF-8 bytes
        wide.resize(std::size_t(MultiByteToWideChar(
            CP_UTF8, 0, lineText.data(), int(lineText.size()), wide.data(), int(wide.size()))));
        OutputDebugStringW(wide.c_str());
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
