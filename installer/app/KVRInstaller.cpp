#include <QApplication>
#include <QDir>

#include "AlertPanel.h"
#include "InstallPlan.h"
#include "InstallerController.h"
#include "PlatformPrivilegedRun.h"
#include "SystemLog.h"
#include "WindowHelpers.h"

namespace {

// The running program, or on macOS its application bundle: KVRinstall.tgz lies beside it.
QString RunningBundlePath()
{
#ifdef Q_OS_MACOS
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../.."));
#else
    return QCoreApplication::applicationFilePath();
#endif
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KVRInstaller"));
    QGuiApplication::setDesktopFileName(QStringLiteral("kvrinstaller"));

    const auto run = kv::installer::MakePlatformPrivilegedRun();
    kv::installer::InstallerController installer(
        kv::game::PlatformLog(), kv::game::MessageBoxAlerts(), *run,
        kv::installer::InstallerFolderOf(RunningBundlePath().toStdString()), kv::game::Terminate);
    installer.showWelcome();
    return QApplication::exec();
}
