#pragma once

#include <memory>
#include <optional>

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QWidget>

#include "ScreenshotRow.h"

namespace Ui {
class CropPreview;
}

namespace kv::converter {

struct ConversionSettingTexts;

// A window showing one screenshot of the list scaled to fit, with the scoreboard rectangle the
// settings would cut from it and the size of the JPEG they would write, or why none is written.
class CropPreview : public QWidget
{
    Q_OBJECT

public:
    explicit CropPreview(QWidget *parent = nullptr);
    ~CropPreview() override;

    // Reads the row's screenshot; a file that cannot be read is said instead of a picture.
    void showRow(const ScreenshotRow &row);
    // Draws what settings make of the shown screenshot; called again whenever they change.
    void showSettings(const ConversionSettingTexts &settings);

    const ScreenshotRow &row() const { return row_; }
    // Where a preview of size opens beside window (frames, in screen coordinates), inside screen.
    static QPoint BesidePosition(const QRect &window, QSize size, const QRect &screen);
    // The rectangle drawn, in pixels of the screenshot; nothing when the whole picture is kept
    // or nothing is converted.
    std::optional<QRect> crop() const { return crop_; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void redraw();

    std::unique_ptr<Ui::CropPreview> ui;
    ScreenshotRow row_;
    QImage picture_;
    QString loadError_;
    std::optional<QRect> crop_;
};

} // namespace kv::converter
