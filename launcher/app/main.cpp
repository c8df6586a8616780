#include <QApplication>

#include "AlertPanel.h"
#include "SystemLog.h"
#include "controller.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KVRavelock Launcher"));
    QGuiApplication::setDesktopFileName(QStringLiteral("kvravelock-launcher"));

    // Queued, so that a quit asked for during start-up still finds the event loop running.
    kv::launcher::controller launcher(kv::game::PlatformLog(), kv::game::MessageBoxAlerts(), [] {
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    launcher.awakeFromNib();
    return QApplication::exec();
}
