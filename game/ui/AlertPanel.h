#pragma once

#include <functional>

#include <QString>

class QWidget;

namespace kv::game {

// Shows alerts with one button. Tests answer through a fake instead of a real modal dialog.
class AlertPanel
{
public:
    virtual ~AlertPanel() = default;

    // Shows title and message over parent's window (window-modal; a sheet on macOS) and returns at
    // once; dismissed runs after the user has pressed button.
    virtual void show(QWidget *parent, const QString &title, const QString &message,
                      const QString &button, std::function<void()> dismissed) = 0;
};

// Alerts as message boxes. One instance for the whole process.
AlertPanel &MessageBoxAlerts();

} // namespace kv::game
