#include "PlatformPrivilegedRun.h"

#if defined(__APPLE__)
#include "AuthorizationPrivilegedRun.h"
#elif defined(_WIN32)
#include "HelperPrivilegedRun.h"
#else
#include <unistd.h>

#include "ProcessPrivilegedRun.h"
#endif

namespace kv::installer {

std::unique_ptr<PrivilegedRun> MakePlatformPrivilegedRun()
{
#if defined(__APPLE__)
    return std::make_unique<AuthorizationPrivilegedRun>();
#elif defined(_WIN32)
    return std::make_unique<HelperPrivilegedRun>();
#else
    if (geteuid() == 0) {
        return std::make_unique<ProcessPrivilegedRun>();
    }
    return std::make_unique<ProcessPrivilegedRun>(QString::fromLatin1(kPkexec));
#endif
}

} // namespace kv::installer
