#include <clocale>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif
#ifdef _WIN32
#include <cstdio>

#include <windows.h>
#endif

#include "CommandLine.h"
#include "ConverterTexts.h"
#include "SettingsStore.h"
#include "StoredSettingsReader.h"

#ifdef KV_WITH_WINDOW
#include "WindowModule.h"
#endif

namespace {

#ifdef KV_WITH_WINDOW
bool DisplayAvailable()
{
#if defined(_WIN32) || defined(__APPLE__)
    return true;
#else
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") ||
           std::getenv("QT_QPA_PLATFORM");
#endif
}
#endif

#ifdef _WIN32
std::string Utf8(const wchar_t *text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string result(std::size_t(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
    result.resize(result.size() - 1);
    return result;
}

#ifdef KV_GUI_SUBSYSTEM
// KVSC.exe is a window program and starts without a console. Typed in one, `KVSC convert`
// writes its lines to that console, unless they were sent elsewhere. (KVSC.com, the console
// twin that cmd.exe picks first, also waits and returns the exit status to the prompt.)
void UseParentConsole()
{
    const auto redirected = [](DWORD which) {
        const HANDLE handle = GetStdHandle(which);
        return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
               GetFileType(handle) != FILE_TYPE_UNKNOWN;
    };
    const bool outRedirected = redirected(STD_OUTPUT_HANDLE);
    const bool errRedirected = redirected(STD_ERROR_HANDLE);
    if ((outRedirected && errRedirected) || !AttachConsole(ATTACH_PARENT_PROCESS)) {
        return;
    }
    if (!outRedirected) {
        std::freopen("CONOUT$", "w", stdout);
    }
    if (!errRedirected) {
        std::freopen("CONOUT$", "w", stderr);
    }
}
#endif
#endif

int Run(const std::vector<std::string> &args, int argc, char **argv)
{
    if (!args.empty() && args[0] == "settings") {
        return kv::converter::RunSettingsCommand(args, std::cout, std::cerr);
    }
    // The stored settings are the command line's defaults, read only when one is missing,
    // and without loading Qt wherever the store holds only what it writes itself.
    const auto readStoredSettings = [] {
        if (const auto values = kv::converter::ReadStoredValuesWithoutQt()) {
            return kv::converter::StoredConversionSettings(*values);
        }
        std::string error;
#ifdef KV_WITH_WINDOW
        const std::unique_ptr<kv::converter::WindowModule> module =
            kv::converter::WindowModule::Load(error);
        std::optional<kv::converter::ConversionSettingTexts> settings;
        if (module) {
            std::string note;
            settings = module->StoredSettings(error, note);
            if (!note.empty()) {
                std::cerr << "kvsc: " << note << '\n';
            }
        }
        if (settings) {
            return *settings;
        }
#else
        error = "they hold more than a KVSC without its window reads";
#endif
        throw std::runtime_error("kvsc: the stored settings cannot be read: " + error);
    };
    const auto runCommandLine = [&](const std::vector<std::string> &commandLine) {
        try {
            return kv::converter::RunCommandLine(commandLine, readStoredSettings, std::cout,
                                                 std::cerr);
        } catch (const std::runtime_error &e) {
            std::cerr << e.what() << '\n';
            return 1;
        }
    };
#ifdef KV_WITH_WINDOW
    if (kv::converter::IsCommandLineRequest(args)) {
        return runCommandLine(args);
    }
    if (!DisplayAvailable()) {
        std::cerr << "kvsc: no display is available, so the window cannot open; the "
                     "command-line converter works without one.\n\n";
        kv::converter::RunCommandLine({"--help"}, kv::converter::ConversionSettingTexts{},
                                      std::cerr, std::cerr);
        return 1;
    }
    std::string error;
    const std::unique_ptr<kv::converter::WindowModule> module =
        kv::converter::WindowModule::Load(error);
    if (!module) {
        std::cerr << "kvsc: the window cannot open: " << error << '\n';
        return 1;
    }
    return module->RunWindow(argc, argv);
#else
    (void)argc;
    (void)argv;
    return runCommandLine(args.empty() ? std::vector<std::string>{"--help"} : args);
#endif
}

void SetUpProcess()
{
    std::setlocale(LC_ALL, "");
#ifndef _WIN32
    // A write past the file-size limit, or to a pipe nobody reads, then fails like any other
    // write instead of ending the program: the temporary file is removed, the run says "Cannot
    // create file ...", and lost result lines are reported once the run's file work is done.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
#endif
#ifdef __GLIBC__
    // Image buffers (a few MB each) come from the heap and stay there once freed, so the next
    // screenshot reuses pages instead of mapping fresh ones: on a virtual machine a page fault
    // can cost as much as filtering the page. Buffers above the threshold are still mapped.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
#ifdef _WIN32
#ifdef KV_GUI_SUBSYSTEM
    UseParentConsole();
#endif
    // Names and paths are printed as the UTF-8 text they are.
    SetConsoleOutputCP(CP_UTF8);
#endif
}

} // namespace

#ifdef _WIN32
// The wide-character entry point, so that file names outside the ANSI code page arrive intact
// (as UTF-8 from here on). MinGW links it with -municode; MSVC, for the window subsystem, with
// /ENTRY:wmainCRTStartup.
int wmain(int argc, wchar_t **wideArgv)
{
    SetUpProcess();
    std::vector<std::string> utf8;
    for (int i = 0; i < argc; ++i) {
        utf8.push_back(Utf8(wideArgv[i]));
    }
    std::vector<char *> argv;
    for (std::string &arg : utf8) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    return Run(std::vector<std::string>(utf8.begin() + 1, utf8.end()), argc, argv.data());
}
#else
int main(int argc, char **argv)
{
    SetUpProcess();
    return Run(std::vector<std::string>(argv + 1, argv + argc), argc, argv);
}
#endif
