#pragma once

#include <memory>

#include <QDialog>
#include <QPushButton>
#include <QString>

class QLineEdit;

namespace Ui {
class LocationSheet;
}

namespace kv::game {

class AlertPanel;
class SystemLog;
class GameDropView;

// The sheet that asks for the game when no log names it: the path field pathText, the drop target
// wired to it, and one button. Its owner's handler of the button ends it with kButtonReturn, and
// the owner reads the path when the sheet has ended.
class LocationSheet : public QDialog
{
    Q_OBJECT

public:
    explicit LocationSheet(QWidget *parent = nullptr);
    ~LocationSheet() override;

    QLineEdit *pathText() const;
    GameDropView *dropView() const;
    QPushButton *sheetButton() const;

    // Where the drop target logs and shows its alert.
    void setServices(SystemLog &log, AlertPanel &alerts);

    // Hands the sheet to owner: the drop target logs to log and alerts through alerts, the button
    // calls buttonPressed, and every end of the sheet calls ended with its return code.
    template <class Owner>
    void connectTo(Owner *owner, void (Owner::*buttonPressed)(), void (Owner::*ended)(int),
                   SystemLog &log, AlertPanel &alerts)
    {
        setServices(log, alerts);
        connect(sheetButton(), &QPushButton::clicked, owner, buttonPressed);
        // Also reached when the sheet is closed by Escape or its close button, as cancelled.
        connect(this, &QDialog::finished, owner, ended);
    }

    // The path the sheet ended with: pathText's text when the button ended it, else empty, so
    // that Escape and the close button cancel whatever was typed.
    QString enteredPath(int returnCode) const;

    // What the button ends the sheet with; Escape and the close button end it with 0.
    static constexpr int kButtonReturn = 1;

private:
    std::unique_ptr<Ui::LocationSheet> ui;
};

} // namespace kv::game
