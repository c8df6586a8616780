#include "LauncherWindow.h"

#include "LauncherTexts.h"
#include "ui_LauncherWindow.h"

namespace kv::launcher {

LauncherWindow::LauncherWindow(QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::LauncherWindow>())
{
    ui->setupUi(this);
}

LauncherWindow::~LauncherWindow() = default;

QProgressBar *LauncherWindow::spinner() const
{
    return ui->spinner;
}

void LauncherWindow::showGameRunning()
{
    ui->startingLabel->setText(texts::kGameRunning);
    ui->spinner->hide();
}

} // namespace kv::launcher
