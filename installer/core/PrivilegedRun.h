#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
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

// Whom the extraction tool runs as.
struct RunAs
{
    // With administrator rights (asking for them unless already root), or as the current user.
    bool administrator = true;
    // When root runs it: the user and group it becomes first, so that what it writes belongs to
    // them.
    std::optional<std::pair<unsigned, unsigned>> owner;
};

// Starts a tool with administrator rights, and the tools that come before it with the user's own.
// Each argument reaches the tool as one argument of its own: nothing goes through a shell, so no
// character in a path has a meaning.
class PrivilegedRun
{
public:
    using Started = std::function<void(StartOutcome outcome)>;
    using Finished = std::function<void(bool succeeded)>;
    using Output = std::function<void(std::optional<std::string> output)>;

    virtual ~PrivilegedRun() = default;

    // Returns at once. started runs once, on the main thread, when it is known whether the tool
    // runs; after Started, finished runs once with whether the tool ended with status 0. The
    // tool's files get no more rights than umask 022 leaves, whatever the caller's umask.
    virtual void start(const std::string &tool, const std::vector<std::string> &arguments,
                       const RunAs &as, Started started, Finished finished) = 0;

    // The first line the tool wrote on its error output in the last run, once it has finished;
    // empty where that output is not seen.
    virtual std::string firstErrorLine() const { return {}; }

    // Runs tool as the current user, asking for nothing, and returns at once. output runs once, on
    // the main thread, after the tool has ended: with what it wrote on its standard output,
    // whatever its exit status, or with nothing when it could not be started or crashed.
    virtual void runAsUser(const std::string &tool, const std::vector<std::string> &arguments,
                           Output output) = 0;
};

} // namespace kv::installer
