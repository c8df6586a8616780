#include "LocationSheet.h"

#include "GameDropView.h"
#include "ui_LocationSheet.h"

namespace kv::game {

LocationSheet::LocationSheet(QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::LocationSheet>())
{
    ui->setupUi(this);
    ui->dropView->setPathField(ui->pathText);
    // Blocks only its parent window, so the parent's spinner keeps turning behind it.
    setWindowModality(Qt::WindowModal);
#ifdef Q_OS_MACOS
    setWindowFlag(Qt::Sheet);
#endif
}

LocationSheet::~LocationSheet() = default;

QLineEdit *LocationSheet::pathText() const
{
    return ui->pathText;
}

GameDropView *LocationSheet::dropView() const
{
    return ui->dropView;
}

QPushButton *LocationSheet::sheetButton() const
{
    return ui->sheetButton;
}

void LocationSheet::setServices(SystemLog &log, AlertPanel &alerts)
{
    ui->dropView->setServices(log, alerts);
}

QString LocationSheet::enteredPath(int returnCode) const
{
    return returnCode == kButtonReturn ? ui->pathText->text() : QString();
}

} // namespace kv::game
