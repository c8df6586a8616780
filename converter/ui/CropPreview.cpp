#include "CropPreview.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QShortcut>

#include "BitmapFile.h"
#include "ConversionRun.h"
#include "ConversionSettings.h"
#include "ConverterTexts.h"
#include "JpegFile.h"
#include "ScoreboardTable.h"
#include "ScreenshotFiles.h"
#include "ui_CropPreview.h"

namespace kv::converter {

namespace {

QString Q(const std::string &text)
{
    return QString::fromStdString(text);
}

// The screenshot as the run reads it, in 24-bit colour.
QImage LoadPicture(const std::string &path)
{
    imaging::WorkingBitmap image =
        IsBitmapFileName(path) ? imaging::LoadBitmapFile(path) : imaging::LoadJpegFile(path);
    if (image.Empty()) {
        return {};
    }
    image.ConvertTo(24);
    // Both hold blue, green, red; QImage pads its rows, the working bitmap does not.
    QImage picture(image.Width(), image.Height(), QImage::Format_BGR888);
    for (std::int32_t y = 0; y < image.Height(); ++y) {
        std::memcpy(picture.scanLine(y), image.Row(y), image.RowBytes());
    }
    return picture;
}

struct Plan
{
    std::optional<QRect> crop;
    QString text;
};

// What the run would do with row: the same tests in the same order, on the same tables. The
// texts are for the messages that quote them.
Plan PlanFor(const ScreenshotRow &row, QSize picture, const ConversionSettingTexts &given)
{
    const ConversionSettings settings = ReadConversionSettings(given);
    if (settings.edition == nullptr) {
        return {std::nullopt, texts::kSelectGameFirst};
    }
    const std::optional<ScoreboardGeometry> geometry =
        FindScoreboardGeometry(settings.edition, row.resolution);
    if (!geometry) {
        return {std::nullopt, Q(texts::PreviewNotSupported(row.resolution))};
    }
    if (!settings.playersPerTeam) {
        return {std::nullopt, Q(texts::PreviewNoTeamSize(given.teamSize))};
    }
    Plan plan;
    QSize kept = picture;
    if (settings.scoreboardOnly) {
        plan.crop =
            QRect(geometry->left, geometry->top, geometry->width,
                  ScoreboardHeight(*geometry, *settings.playersPerTeam, settings.spectator));
        kept = plan.crop->size();
    }
    const SizePercent &size = settings.size;
    if (!size.percent) {
        return {plan.crop, Q(texts::NotAValidInteger(size.text))};
    }
    const std::int64_t width = ScaledLength(kept.width(), *size.percent);
    const std::int64_t height = ScaledLength(kept.height(), *size.percent);
    plan.text = width <= 0 || height <= 0 ? Q(texts::PreviewNothingToSave(size.text))
                                          : Q(texts::PreviewOutputSize(width, height));
    return plan;
}

} // namespace

CropPreview::CropPreview(QWidget *parent) : QWidget(parent), ui(std::make_unique<Ui::CropPreview>())
{
    ui->setupUi(this);
    // A window of its own beside the main form, closed with it or with Escape.
    setWindowFlag(Qt::Window);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
}

QPoint CropPreview::BesidePosition(const QRect &window, QSize size, const QRect &screen)
{
    // Right of the window where it fits, else left of it, else on the side with more room; never
    // past the screen's edges where the preview is smaller than the screen.
    const int right = window.right() + 1;
    const int left = window.left() - size.width();
    int x = right;
    if (right + size.width() > screen.right() + 1) {
        x = left >= screen.left() || window.left() - screen.left() > screen.right() - window.right()
                ? left
                : right;
    }
    x = std::max(screen.left(), std::min(x, screen.right() + 1 - size.width()));
    const int y =
        std::max(screen.top(), std::min(window.top(), screen.bottom() + 1 - size.height()));
    return {x, y};
}

CropPreview::~CropPreview() = default;

void CropPreview::showRow(const ScreenshotRow &row)
{
    row_ = row;
    setWindowTitle(QString::fromUtf8(texts::kPreview) + " - " + Q(row.caption));
    picture_ = QImage();
    loadError_.clear();
    try {
        picture_ = LoadPicture(row.path);
    } catch (const std::bad_alloc &) {
        loadError_ = QStringLiteral("Out of memory");
    } catch (const std::exception &e) {
        loadError_ = QString::fromStdString(e.what());
    }
}

void CropPreview::showSettings(const ConversionSettingTexts &settings)
{
    const Plan plan = PlanFor(row_, picture_.size(), settings);
    crop_ = plan.crop;
    ui->OutputSize->setText(loadError_.isEmpty() ? plan.text : loadError_);
    redraw();
}

void CropPreview::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    redraw();
}

void CropPreview::redraw()
{
    const QSize area = ui->Picture->contentsRect().size();
    if (picture_.isNull() || area.isEmpty()) {
        ui->Picture->clear();
        return;
    }
    QPixmap shown =
        QPixmap::fromImage(picture_.scaled(area, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    if (crop_) {
        const double sx = double(shown.width()) / picture_.width();
        const double sy = double(shown.height()) / picture_.height();
        const QRectF box(crop_->x() * sx, crop_->y() * sy, crop_->width() * sx,
                         crop_->height() * sy);
        QPainter painter(&shown);
        // What the crop cuts away is dimmed, so the part that is kept stands out.
        QPainterPath away;
        away.addRect(QRectF(shown.rect()));
        away.addRect(box);
        painter.fillPath(away, QColor(0, 0, 0, 110));
        painter.setPen(QPen(QColor(255, 0, 0), 2));
        painter.drawRect(box);
    }
    ui->Picture->setPixmap(shown);
}

} // namespace kv::converter
