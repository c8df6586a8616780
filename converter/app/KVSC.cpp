#include <clocale>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "CommandLine.h"
#include "ConverterTexts.h"
#include "SettingsStore.h"

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

} // namespace

int main(int argc, char **argv)
{
    std::setlocale(LC_ALL, "");
#ifdef __GLIBC__
    // Image buffers (a few MB each) come from the heap and stay there once freed, so the next
    // screenshot reuses pages instead of mapping fresh ones: on a virtual machine a page fault
    // can cost as much as filtering the page. Buffers above the threshold are still mapped.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
    const std::vector<std::string> args(argv + 1, argv + argc);
#ifdef KV_WITH_WINDOW
    if (kv::converter::IsCommandLineRequest(args)) {
        // The stored settings are the command line's defaults, read only when one is missing.
        const auto readStoredSettings = [] {
            std::string error;
            const std::unique_ptr<kv::converter::WindowModule> module =
                kv::converter::WindowModule::Load(error);
            if (!module) {
                throw std::runtime_error("kvsc: the stored settings cannot be read: " + error);
            }
            return module->StoredSettings();
        };
        try {
            return kv::converter::RunCommandLine(args, readStoredSettings, std::cout, std::cerr);
        } catch (const std::runtime_error &e) {
            std::cerr << e.what() << '\n';
            return 1;
        }
    }
    if (!DisplayAvailable()) {
        std::cerr << "kvsc: no display is available, so the window cannot open; the "
                     "command-line converter works without one.\n\n";
        kv::converter::RunCommandLine({"--help"}, kv::converter::FixedConversionSettings{},
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
    kv::converter::FixedConversionSettings defaults;
    defaults.edition = kv::converter::texts::kSelectGame;
    defaults.saveFolder = kv::converter::DefaultFolder();
    return kv::converter::RunCommandLine(args.empty() ? std::vector<std::string>{"--help"} : args,
                                         defaults, std::cout, std::cerr);
#endif
}
