// The module holding the KVSC window and the settings store; kvsc loads it when it needs them.
#include <QApplication>
#include <QIcon>
#include <QStringList>
#include <QTimer>

#include "ConverterTexts.h"
#include "KVSCDialogs.h"
#include "MainWindow.h"
#include "QtSettingsStore.h"
#include "SettingsStore.h"
#ifndef _WIN32
#include "TerminationRequests.h"
#endif

#if defined(_WIN32)
#define KV_MODULE_EXPORT extern "C" __declspec(dllexport)
#else
#define KV_MODULE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

KV_MODULE_EXPORT int kvscRunWindow(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("KVSC");
    QApplication::setWindowIcon(QIcon(":/kvsc/kvsc.png"));
    kv::converter::QtSettingsStore store;
    kv::converter::QtKVSCDialogs dialogs;
    kv::converter::MainWindow form(store, dialogs);
    form.show();
#ifndef _WIN32
    // A watch or a run finishes the screenshot in hand, and the program then ends with 0.
    kv::converter::TerminationRequests termination;
    QObject::connect(&termination, &kv::converter::TerminationRequests::requested, &form,
                     &kv::converter::MainWindow::endRequested);
#endif
    // Screenshots given to the program ("Open with" on Windows) are added as Open adds them.
    // QApplication took its own options out of argv; the rest is UTF-8 on every system here.
    QStringList files;
    for (int i = 1; i < argc; ++i) {
        files << QString::fromUtf8(argv[i]);
    }
    if (!files.isEmpty()) {
        QTimer::singleShot(0, &form, [&form, files] { form.AddFiles(files); });
    }
    return app.exec();
}

// QSettings needs no application object, and not making one keeps a batch's start short.
// False, with the reason in error, when the store leaves its file alone; note is what the store
// made of its file (a damaged one renamed aside), as the window would say it.
KV_MODULE_EXPORT bool kvscStoredSettings(kv::converter::ConversionSettingTexts *settings,
                                         std::string *error, std::string *note)
{
    kv::converter::QtSettingsStore store;
    *note = store.StartNote();
    if (const std::string refusal = store.Refusal(); !refusal.empty()) {
        *error = refusal;
        return false;
    }
    *settings = kv::converter::StoredConversionSettings(store);
    return true;
}
