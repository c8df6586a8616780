#include "PlatformPrivilegedRun.h"

#ifdef __APPLE__
#include "AuthorizationPrivilegedRun.h"
#else
#include <unistd.h>

#include "ProcessPrivilegedRun.h"
#endif

namespace kv::installer {

std::unique_ptr<PrivilegedRun> MakePlatformPrivilegedRun()
{
#ifdef __APPLE__
    return std::make_unique<AuthorizationPrivilegedRun>();
#else
    if (geteuid() == 0) {
        return std::make_unique<ProcessPrivilegedRun>();
    }
    return std::make_unique<ProcessPrivilegedRun>(QString::fromLatin1(kPkexec));
#endif
}

} // namespace kv::installer
