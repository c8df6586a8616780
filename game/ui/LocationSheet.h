#pragma once

#include <memory>

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace Ui {
class LocationSheet;
}

namespace kv::game {

class AlertPanel;
class SystemLog;
class fileDropView;

// The sheet that asks for the game when no log names it: the path field pathText, the drop target
// wired to it, and one button. Its owner connects the button to its cancelSheet and reads
// pathText when the sheet has finished.
class LocationSheet : public QDialog
{
    Q_OBJECT

public:
    explicit LocationSheet(QWidget *parent = nullptr);
    ~LocationSheet() override;

    QLineEdit *pathText() const;
    fileDropView *dropView() const;
    QPushButton *sheetButton() const;

    // Where the drop target logs and shows its alert.
    void setServices(SystemLog &log, AlertPanel &alerts);

private:
    std::unique_ptr<Ui::LocationSheet> ui;
};

} // namespace kv::game
