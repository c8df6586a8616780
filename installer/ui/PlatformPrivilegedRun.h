#pragma once

#include <memory>

#include "PrivilegedRun.h"

namespace kv::installer {

// Where the elevator lives on Linux; an absolute path, so that PATH cannot substitute another.
inline constexpr const char *kPkexec = "/usr/bin/pkexec";

// The platform's way to run a tool as administrator: Authorization Services on macOS; UAC for the
// extraction helper on Windows; elsewhere the tool itself when the program already runs as root,
// otherwise pkexec. Create it after the
// application object and destroy it before.
std::unique_ptr<PrivilegedRun> MakePlatformPrivilegedRun();

} // namespace kv::installer
