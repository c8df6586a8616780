#pragma once

#include <functional>
#include <utility>
#include <vector>

#include <QString>
#include <QWidget>

#include "AlertPanel.h"

namespace kv::test {

// Records alerts instead of showing them; a test dismisses them when it wants to.
class FakeAlerts : public game::AlertPanel
{
public:
    struct Alert
    {
        QWidget *parent;
        QString title;
        QString message;
        QString button;
        std::function<void()> dismissed;
    };

    void show(QWidget *parent, const QString &title, const QString &message, const QString &button,
              std::function<void()> dismissed) override
    {
        shown.push_back({parent, title, message, button, std::move(dismissed)});
    }

    // Presses the only button of the latest alert.
    void dismissLast()
    {
        if (!shown.empty() && shown.back().dismissed) {
            shown.back().dismissed();
        }
    }

    std::vector<Alert> shown;
};

} // namespace kv::test
