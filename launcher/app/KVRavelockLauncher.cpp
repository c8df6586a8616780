#include <QApplication>

#include "AlertPanel.h"
#include "LauncherController.h"
#include "SystemLog.h"
#include "WindowHelpers.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KVRavelock Launcher"));
    QGuiApplication::setDesktopFileName(QStringLiteral("kvravelock-launcher"));

    kv::launcher::LauncherController launcher(kv::game::PlatformLog(), kv::game::MessageBoxAlerts(),
                                              kv::game::Terminate);
    launcher.start();
    return QApplication::exec();
}
