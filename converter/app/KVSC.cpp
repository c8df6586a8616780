#include <clocale>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "CommandLine.h"
#include "ConverterTexts.h"
#include "SettingsStore.h"

#ifdef KV_WITH_WINDOW
#include <QApplication>
#include <QIcon>

#include "KVSCDialogs.h"
#include "KVSCForm.h"
#include "QtSettingsStore.h"
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
        // The stored settings are the command line's defaults. QSettings needs no application
        // object, and not making one keeps a batch's start-up short.
        kv::converter::QtSettingsStore store;
        return kv::converter::RunCommandLine(args, kv::converter::StoredConversionSettings(store),
                                             std::cout, std::cerr);
    }
    if (!DisplayAvailable()) {
        std::cerr << "kvsc: no display is available, so the window cannot open; the "
                     "command-line converter works without one.\n\n";
        kv::converter::RunCommandLine({"--help"}, {}, std::cerr, std::cerr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("KVSC");
    QApplication::setWindowIcon(QIcon(":/kvsc/kvsc.png"));
    kv::converter::QtSettingsStore store;
    kv::converter::QtKVSCDialogs dialogs;
    kv::converter::TForm1 form(store, dialogs);
    form.show();
    return app.exec();
#else
    kv::converter::FixedConversionSettings defaults;
    defaults.edition = kv::converter::texts::kSelectGame;
    defaults.saveFolder = kv::converter::DefaultFolder();
    return kv::converter::RunCommandLine(args.empty() ? std::vector<std::string>{"--help"} : args,
                                         defaults, std::cout, std::cerr);
#endif
}
