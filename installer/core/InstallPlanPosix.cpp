#include "InstallPlan.h"

#include <sys/stat.h>
#include <unistd.h>

namespace kv::installer {

RunAs RunAsFor(const std::string &gameLocation)
{
    struct stat info
    {
    };
    if (::geteuid() == 0) {
        if (::stat(gameLocation.c_str(), &info) == 0 && info.st_uid != 0) {
            return RunAs{false, std::make_pair(unsigned(info.st_uid), unsigned(info.st_gid))};
        }
        return RunAs{false, std::nullopt};
    }
    const std::string modFolder = gameLocation + "KVRavelock";
    const bool writable =
        ::access(gameLocation.c_str(), W_OK | X_OK) == 0 &&
        (::access(modFolder.c_str(), F_OK) != 0 || ::access(modFolder.c_str(), W_OK | X_OK) == 0);
    return RunAs{!writable, std::nullopt};
}

ExtractionCommand ExtractionCommandFor(const std::string &, const std::string &archive,
                                       const std::string &gameLocation)
{
    return {kTarTool, ExtractionArguments(archive, gameLocation)};
}

bool RootOwnsTheFiles(const RunAs &run)
{
    return run.administrator || (::geteuid() == 0 && !run.owner);
}

} // namespace kv::installer
