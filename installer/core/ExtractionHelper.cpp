#include "ExtractionHelper.h"

#ifdef _WIN32
#include <filesystem>

#include <windows.h>

#include <shellapi.h>

#include "FilePath.h"
#endif

namespace kv::installer {

std::vector<std::string> HelperArguments(const std::string &archive,
                                         const std::string &gameLocation,
                                         const std::string &messageFile)
{
    return {archive, gameLocation, messageFile};
}

ExtractionResult ResultOfHelperStatus(unsigned long status)
{
    switch (status) {
    case unsigned(ExtractionResult::Extracted):
    case unsigned(ExtractionResult::Unreadable):
    case unsigned(ExtractionResult::HoldsDevices):
    case unsigned(ExtractionResult::MemberRefused):
    case unsigned(ExtractionResult::WriteFailed):
        return ExtractionResult(status);
    default:
        return ExtractionResult::WriteFailed;
    }
}

std::string WindowsCommandLine(const std::vector<std::string> &arguments)
{
    std::string line;
    for (const std::string &argument : arguments) {
        if (!line.empty()) {
            line += ' ';
        }
        if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
            line += argument;
            continue;
        }
        line += '"';
        std::size_t backslashes = 0;
        for (const char c : argument) {
            if (c == '\\') {
                ++backslashes;
                continue;
            }
            // Backslashes count only before a quote: there each stands for two, and one more
            // escapes the quote itself.
            line.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
            line += c;
            backslashes = 0;
        }
        line.append(backslashes * 2, '\\'); // before the closing quote
        line += '"';
    }
    return line;
}

#ifdef _WIN32

namespace {

// UTF-16 of UTF-8 text that is no path, so none of PathFromUtf8's path rules apply.
std::wstring Wide(const std::string &text)
{
    return std::filesystem::path(std::u8string(text.begin(), text.end())).native();
}

} // namespace

HelperProcess StartHelper(const std::string &helper, const std::vector<std::string> &arguments,
                          bool administrator)
{
    const std::wstring program = imaging::PathFromUtf8(helper).native();
    std::wstring parameters = Wide(WindowsCommandLine(arguments));
    HelperProcess started;
    if (administrator) {
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof info;
        // NOASYNC: the prompt is over when the call returns; NOCLOSEPROCESS: we wait on the helper.
        info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
        info.lpVerb = L"runas";
        info.lpFile = program.c_str();
        info.lpParameters = parameters.c_str();
        info.nShow = SW_HIDE;
        if (ShellExecuteExW(&info) && info.hProcess != nullptr) {
            started.outcome = StartOutcome::Started;
            started.process = info.hProcess;
        } else {
            started.outcome = GetLastError() == ERROR_CANCELLED ? StartOutcome::Dismissed
                                                                : StartOutcome::FailedToStart;
        }
        return started;
    }
    std::wstring commandLine = Wide(WindowsCommandLine({helper})) + L" " + parameters;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                       CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        started.outcome = StartOutcome::Started;
        started.process = process.hProcess;
    }
    return started;
}

std::optional<unsigned long> WaitForHelper(HelperProcess &helper)
{
    if (helper.process == nullptr) {
        return std::nullopt;
    }
    DWORD status = 0;
    const bool ended = WaitForSingleObject(helper.process, INFINITE) == WAIT_OBJECT_0 &&
                       GetExitCodeProcess(helper.process, &status);
    CloseHandle(helper.process);
    helper.process = nullptr;
    return ended ? std::optional<unsigned long>(status) : std::nullopt;
}

#endif

} // namespace kv::installer
