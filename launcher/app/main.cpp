#include <QApplication>

#include "AlertPanel.h"
#include "SystemLog.h"
#include "WindowHelpers.h"
#include "controller.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KVRavelock Launcher"));
    QGuiApplication::setDesktopFileName(QStringLiteral("kvravelock-launcher"));

    kv::launcher::controller launcher(kv::game::PlatformLog(), kv::game::MessageBoxAlerts(),
                                      kv::game::Terminate);
    launcher.awakeFromNib();
    return QApplication::exec();
}
