#include "fileDropView.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPixmapCache>
#include <QUrl>

#include "AlertPanel.h"
#include "GameTexts.h"
#include "SystemLog.h"

// Resources of a static library are registered by hand; this must run outside any namespace.
static void InitGamePictures()
{
    Q_INIT_RESOURCE(GamePictures);
}

namespace kv::game {

QPixmap NamedImage(const QString &name)
{
    InitGamePictures();
    QPixmap picture;
    if (!QPixmapCache::find(name, &picture)) {
        picture.load(QStringLiteral(":/pictures/%1.png").arg(name));
        QPixmapCache::insert(name, picture);
    }
    return picture;
}

fileDropView::fileDropView(QWidget *parent)
    : QWidget(parent), log_(&PlatformLog()), alerts_(&MessageBoxAlerts())
{
    setAcceptDrops(true);
    showImage(QStringLiteral("whereisunreal"));
}

void fileDropView::setServices(SystemLog &log, AlertPanel &alerts)
{
    log_ = &log;
    alerts_ = &alerts;
}

QSize fileDropView::sizeHint() const
{
    return _ourImage.isNull() ? QWidget::sizeHint() : _ourImage.deviceIndependentSize().toSize();
}

void fileDropView::showImage(const QString &name)
{
    imageName_ = name;
    _ourImage = NamedImage(name);
}

QStringList fileDropView::fileNames(const QMimeData *data)
{
    QStringList names;
    if (data == nullptr) {
        return names;
    }
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile()) {
            names.append(url.toLocalFile());
        }
    }
    return names;
}

Qt::DropAction fileDropView::dropActionFor(Qt::DropActions possible, const QMimeData *data)
{
    // Qt has no "generic" operation, the one that leaves the outcome to the target: MoveAction
    // stands for it, so a source that allows only copying or linking is refused. The view only
    // reads the path, so it answers with the mildest action the source allows: a source told
    // "moved" might delete the game it dragged.
    if (!possible.testFlag(Qt::MoveAction) || fileNames(data).isEmpty()) {
        return Qt::IgnoreAction;
    }
    if (possible.testFlag(Qt::LinkAction)) {
        return Qt::LinkAction;
    }
    if (possible.testFlag(Qt::CopyAction)) {
        return Qt::CopyAction;
    }
    return Qt::MoveAction;
}

void fileDropView::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    if (_ourImage.isNull()) {
        return;
    }
    // At its own size, its bottom-left corner on the view's, neither scaled nor clipped by us.
    QPainter painter(this);
    const QSize size = _ourImage.deviceIndependentSize().toSize();
    painter.drawPixmap(QPoint(0, height() - size.height()), _ourImage);
}

void fileDropView::dragEnterEvent(QDragEnterEvent *event)
{
    dragMoveEvent(event);
}

void fileDropView::dragMoveEvent(QDragMoveEvent *event)
{
    const Qt::DropAction action = dropActionFor(event->possibleActions(), event->mimeData());
    if (action == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    event->setDropAction(action);
    event->accept();
}

void fileDropView::dropEvent(QDropEvent *event)
{
    const QStringList names = fileNames(event->mimeData());
    if (names.isEmpty()) {
        // Shown without blocking, so the drag source is not kept waiting for the user.
        alerts_->show(this, texts::kPathErrorTitle, texts::kPathErrorMessage, texts::kOK, {});
        event->ignore();
        return;
    }
    const QString &path = names.first();
    log_->line(path.toStdString());
    if (textField != nullptr) {
        textField->setText(path);
    }
    showImage(QStringLiteral("hereisunreal"));
    log_->line(texts::kSetTheString);
    update();
    const Qt::DropAction action = dropActionFor(event->possibleActions(), event->mimeData());
    event->setDropAction(action == Qt::IgnoreAction ? event->proposedAction() : action);
    event->accept();
}

} // namespace kv::game
