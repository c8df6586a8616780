#pragma once

#include <string>

namespace kv::game {

// Where the programs' progress and diagnostics go, one line per step; tests capture the lines.
class SystemLog
{
public:
    virtual ~SystemLog() = default;

    // Writes text as one line: a fixed message, or a path verbatim.
    virtual void line(const std::string &text) = 0;
};

// The platform's system log, also echoed to stderr: syslog (journald) on Linux, the unified log on
// macOS, the debugger's output on Windows. One instance for the whole process.
SystemLog &PlatformLog();

} // namespace kv::game
