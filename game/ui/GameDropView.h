#pragma once

#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QWidget>

class QLineEdit;
class QMimeData;

namespace kv::game {

class AlertPanel;
class SystemLog;

// The drop target of the location sheet: shows "whereisunreal" until a file or folder is dropped,
// then writes the first dropped path into its text field and shows "hereisunreal" for good. It
// neither checks the path nor ends the sheet.
class GameDropView : public QWidget
{
    Q_OBJECT

public:
    explicit GameDropView(QWidget *parent = nullptr);

    // The field that receives the dropped path (the sheet's pathText).
    void setPathField(QLineEdit *field) { pathField_ = field; }
    // Where the view logs and shows its alert; the platform's log and message boxes until set.
    void setServices(SystemLog &log, AlertPanel &alerts);

    // The picture drawn now, and its resource name.
    const QPixmap &image() const { return picture_; }
    const QString &pictureName() const { return pictureName_; }

    // The action a drag is shown with while it hovers; Qt::IgnoreAction refuses it.
    static Qt::DropAction dropActionFor(Qt::DropActions possible, const QMimeData *data);
    // The local file names a drag carries, in the order given.
    static QStringList fileNames(const QMimeData *data);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void showPicture(const QString &name);

    QLineEdit *pathField_ = nullptr;
    QString pictureName_;
    QPixmap picture_;
    SystemLog *log_;
    AlertPanel *alerts_;
};

// A picture of the drop target by name ("whereisunreal", "hereisunreal"); null if unknown.
QPixmap NamedPicture(const QString &name);

} // namespace kv::game
