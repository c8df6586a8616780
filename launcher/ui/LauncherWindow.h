#pragma once

#include <memory>

#include <QWidget>

class QProgressBar;

namespace Ui {
class LauncherWindow;
}

namespace kv::launcher {

// The launcher's only window: a line of text and the spinning indicator spinner.
class LauncherWindow : public QWidget
{
    Q_OBJECT

public:
    explicit LauncherWindow(QWidget *parent = nullptr);
    ~LauncherWindow() override;

    QProgressBar *spinner() const;
    // Says that the game runs, in place of the indicator, until the game ends the launcher.
    void showGameRunning();

private:
    std::unique_ptr<Ui::LauncherWindow> ui;
};

} // namespace kv::launcher
