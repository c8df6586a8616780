#include "AlertPanel.h"

#include <utility>

#include <QMessageBox>
#include <QWidget>

namespace kv::game {

namespace {

class MessageBoxAlertPanel final : public AlertPanel
{
public:
    void show(QWidget *parent, const QString &title, const QString &message, const QString &button,
              std::function<void()> dismissed) override
    {
        QWidget *window = parent != nullptr ? parent->window() : nullptr;
        // Deleted as soon as it is closed, so nothing outlives the alert.
        auto *box =
            new QMessageBox(QMessageBox::Warning, title, title, QMessageBox::NoButton, window);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setInformativeText(message);
        box->addButton(button, QMessageBox::AcceptRole);
        box->setWindowModality(window != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
        QObject::connect(box, &QMessageBox::finished, box, [done = std::move(dismissed)](int) {
            if (done) {
                done();
            }
        });
        box->open();
    }
};

} // namespace

AlertPanel &MessageBoxAlerts()
{
    static MessageBoxAlertPanel alerts;
    return alerts;
}

} // namespace kv::game
