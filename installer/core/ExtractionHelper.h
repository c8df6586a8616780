#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ArchiveExtraction.h"
#include "PrivilegedRun.h"

// The helper program that unpacks KVRinstall.tgz where no tar can be counted on (Windows). The
// installer starts it as the user when the game folder is writable, and otherwise with
// administrator rights (the system asks through UAC), so that only it, never the installer's
// window, runs elevated.
namespace kv::installer {

// Beside the installer; its arguments are the archive, the game location and the file it writes
// its message into.
inline constexpr const char *kHelperProgram = "KVRExtract.exe";

// The helper's exit status: the ExtractionResult; kHelperUsage for a wrong command line.
inline constexpr int kHelperUsage = 64;

std::vector<std::string> HelperArguments(const std::string &archive,
                                         const std::string &gameLocation,
                                         const std::string &messageFile);

// What the helper's exit status says; WriteFailed for one that is no result (a crash, usage).
ExtractionResult ResultOfHelperStatus(unsigned long status);

// The arguments as one Windows command line that CommandLineToArgvW and the C runtime split into
// the same arguments again: quoted where they hold blanks or quotes, with the backslashes before
// a quote doubled ("C:\UT2004\" stays one argument with its trailing backslash).
std::string WindowsCommandLine(const std::vector<std::string> &arguments);

#ifdef _WIN32
// A started helper; the process handle is closed by WaitForHelper.
struct HelperProcess
{
    StartOutcome outcome = StartOutcome::FailedToStart;
    void *process = nullptr;
};

// Starts helper (a full path) with arguments and returns at once: as the user, or with
// administrator rights through ShellExecuteEx's "runas", which shows the UAC prompt; Dismissed
// when the user declined it.
HelperProcess StartHelper(const std::string &helper, const std::vector<std::string> &arguments,
                          bool administrator);

// Waits until the helper has ended and gives its exit status; nothing when it cannot be known.
std::optional<unsigned long> WaitForHelper(HelperProcess &helper);
#endif

} // namespace kv::installer
