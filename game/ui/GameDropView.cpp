#include "GameDropView.h"

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

QPixmap NamedPicture(const QString &name)
{
    InitGamePictures();
    QPixmap picture;
    if (!QPixmapCache::find(name, &picture)) {
        picture.load(QStringLiteral(":/pictures/%1.png").arg(name));
        QPixmapCache::insert(name, picture);
    }
    return picture;
}

GameDropView::GameDropView(QWidget *parent)
    : QWidget(parent), log_(&PlatformLog()), alerts_(&MessageBoxAlerts())
{
    setAcceptDrops(true);
    showPicture(QStringLiteral("whereisunreal"));
}

void GameDropView::setServices(SystemLog &log, AlertPanel &alerts)
{
    log_ = &log;
    alerts_ = &alerts;
}

QSize GameDropView::sizeHint() const
{
    return picture_.isNull() ? QWidget::sizeHint() : picture_.deviceIndependentSize().toSize();
}

void GameDropView::showPicture(const QString &name)
{
    pictureName_ = name;
    picture_ = NamedPicture(name);
}

QStringList GameDropView::fileNames(const QMimeData *data)
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

Qt::DropAction GameDropView::dropActionFor(Qt::DropActions possible, const QMimeData *data)
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

void GameDropView::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    if (picture_.isNull()) {
        return;
    }
    // At its own size, its bottom-left corner on the view's, neither scaled nor clipped by us.
    QPainter painter(this);
    const QSize size = picture_.deviceIndependentSize().toSize();
    painter.drawPixmap(QPoint(0, height() - size.height()), picture_);
}

void GameDropView::dragEnterEvent(QDragEnterEvent *event)
{
    dragMoveEvent(event);
}

void GameDropView::dragMoveEvent(QDragMoveEvent *event)
{
    const Qt::DropAction action = dropActionFor(event->possibleActions(), event->mimeData());
    if (action == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    event->setDropAction(action);
    event->accept();
}

void GameDropView::dropEvent(QDropEvent *event)
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
    if (pathField_ != nullptr) {
        pathField_->setText(path);
    }
    showPicture(QStringLiteral("hereisunreal"));
    log_->line(texts::kDroppedPathTaken);
    update();
    const Qt::DropAction action = dropActionFor(event->possibleActions(), event->mimeData());
    event->setDropAction(action == Qt::IgnoreAction ? event->proposedAction() : action);
    event->accept();
}

} // namespace kv::game
