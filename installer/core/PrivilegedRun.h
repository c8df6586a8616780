#pragma once

#include <functional>
#include <string>
#include <vector>

namespace kv::installer {

// How the attempt to start a tool with administrator rights went.
enum class StartOutcome
{
    Started,
    // The user dismissed the password dialog.
    Dismissed,
    // The password was wrong, or the user may not act as administrator.
    Refused,
    // The tool, or the means to raise rights, could not be run at all.
    FailedToStart,
    // The program that asks for the password (pkexec) is missing or cannot be run.
    NoElevator,
};

// Starts a tool with administrator rights. Each argument reaches the tool as one argument of its
// own: nothing goes through a shell, so no character in a path has a meaning.
class PrivilegedRun
{
public:
    using Started = std::function<void(StartOutcome outcome)>;
    using Finished = std::function<void(bool succeeded)>;

    virtual ~PrivilegedRun() = default;

    // Returns at once. started runs once, on the main thread, when it is known whether the tool
    // runs; after Started, finished runs once with whether the tool ended with status 0.
    virtual void start(const std::string &tool, const std::vector<std::string> &arguments,
                       Started started, Finished finished) = 0;

    // The first line the tool wrote on its error output in the last run, once it has finished;
    // empty where that output is not seen.
    virtual std::string firstErrorLine() const { return {}; }
};

} // namespace kv::installer
