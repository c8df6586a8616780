#pragma once

#ifdef __APPLE__

#include <QObject>

#include "PrivilegedRun.h"

namespace kv::installer {

// Runs the tool through Authorization Services, which asks for an administrator's name and
// password. The argument vector is handed over as it is; no script is built from it.
class AuthorizationPrivilegedRun final : public QObject, public PrivilegedRun
{
    Q_OBJECT

public:
    void start(const std::string &tool, const std::vector<std::string> &arguments, Started started,
               Finished finished) override;
};

} // namespace kv::installer

#endif
