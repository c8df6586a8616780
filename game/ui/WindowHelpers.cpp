#include "WindowHelpers.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPoint>
#include <QProgressBar>
#include <QRect>
#include <QScreen>
#include <QWidget>

namespace kv::game {

void StartAnimation(QProgressBar *bar)
{
    bar->setRange(0, 0);
}

void StopAnimation(QProgressBar *bar)
{
    bar->setRange(0, 1);
    bar->setValue(0);
}

void Terminate()
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                              Qt::QueuedConnection);
}

void ShowCentred(QWidget *window, int drop)
{
    // Shown first: the frame's size, which centring needs, is known only for a window on screen.
    window->show();
    QRect frame = window->frameGeometry();
    if (QScreen *screen = window->screen(); screen != nullptr) {
        frame.moveCenter(screen->availableGeometry().center());
    }
    // Screen y grows downwards, so the drop is added.
    window->move(frame.topLeft() + QPoint(0, drop));
}

} // namespace kv::game
