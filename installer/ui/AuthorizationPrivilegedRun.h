#pragma once

#ifdef __APPLE__

#include <utility>

#include <QObject>

#include "PrivilegedRun.h"
#include "ProcessPrivilegedRun.h"

namespace kv::installer {

// Runs the tool through Authorization Services, which asks for an administrator's name and
// password. The argument vector is handed over as it is; no script is built from it.
class AuthorizationPrivilegedRun final : public QObject, public PrivilegedRun
{
    Q_OBJECT

public:
    // Always with the rights Authorization Services grants, whatever as says.
    void start(const std::string &tool, const std::vector<std::string> &arguments, const RunAs &as,
               Started started, Finished finished) override;
    // Needs no rights, so it runs as a plain child process, as on every other system.
    void runAsUser(const std::string &tool, const std::vector<std::string> &arguments,
                   Output output) override
    {
        asUser_.runAsUser(tool, arguments, std::move(output));
    }

private:
    ProcessPrivilegedRun asUser_;
};

} // namespace kv::installer

#endif
