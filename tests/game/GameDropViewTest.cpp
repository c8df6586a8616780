#include "GameDropView.h"

#include <memory>
#include <string>

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>

#include <gtest/gtest.h>

#include "GameTestSupport.h"
#include "QtTestSupport.h"

using kv::game::GameDropView;
using kv::game::NamedPicture;

namespace {

std::unique_ptr<QMimeData> FileDrag(const QStringList &paths)
{
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString &path : paths) {
        urls.append(QUrl::fromLocalFile(path));
    }
    data->setUrls(urls);
    return data;
}

std::unique_ptr<QMimeData> TextDrag()
{
    auto data = std::make_unique<QMimeData>();
    data->setText(QStringLiteral("/Games/Game.app"));
    return data;
}

std::unique_ptr<QMimeData> RemoteDrag()
{
    auto data = std::make_unique<QMimeData>();
    data->setUrls({QUrl(QStringLiteral("https://example.org/Game.app"))});
    return data;
}

// Where two pictures differ first, or "" when they are equal; both in premultiplied ARGB.
std::string FirstDifference(const QImage &actual, const QImage &expected)
{
    const QImage a = actual.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage e = expected.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (a.size() != e.size()) {
        return "sizes differ";
    }
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != e.pixel(x, y)) {
                return "at (" + std::to_string(x) + ", " + std::to_string(y) + "): drawn " +
                       std::to_string(a.pixel(x, y)) + ", picture " + std::to_string(e.pixel(x, y));
            }
        }
    }
    return {};
}

class DropViewTest : public ::testing::Test
{
protected:
    DropViewTest()
    {
        view = std::make_unique<GameDropView>();
        view->setPathField(&field);
        view->setServices(log, alerts);
        view->resize(200, 160);
    }

    // Drags a file over the view and drops data on it (Qt hands a drop only to the widget that
    // took the drag on entering); gives whether the drop was taken and with which action.
    std::pair<bool, Qt::DropAction> drop(const QMimeData &data)
    {
        const Qt::DropActions possible = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
        const auto file = FileDrag({"/Games/Hovering.app"});
        QDragEnterEvent enter(QPoint(20, 20), possible, file.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view.get(), &enter);
        QDropEvent event(QPointF(20, 20), possible, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view.get(), &event);
        return {event.isAccepted(), event.dropAction()};
    }

    // The view drawn onto a transparent image, without any background of its own.
    QImage rendered() const
    {
        QImage image(view->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        view->render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
        return image;
    }

    kv::test::RecordingLog log;
    kv::test::FakeAlerts alerts;
    QLineEdit field;
    std::unique_ptr<GameDropView> view;
};

} // namespace

TEST_F(DropViewTest, DropWritesTheFirstOfTwoPathsAndSwitchesThePicture)
{
    EXPECT_EQ(view->pictureName(), "whereisunreal");
    const auto data = FileDrag({"/Games/Game.app", "/Games/Other.app"});
    const auto [accepted, action] = drop(*data);
    EXPECT_TRUE(accepted);
    EXPECT_EQ(field.text(), "/Games/Game.app");
    EXPECT_EQ(view->pictureName(), "hereisunreal");
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"/Games/Game.app", "Set the string, apparentley"}));
    EXPECT_TRUE(alerts.shown.empty());
}

TEST_F(DropViewTest, DropWithoutFileNamesAlertsAndLeavesFieldAndPicture)
{
    field.setText(QStringLiteral("typed"));
    const auto data = TextDrag();
    const auto [accepted, action] = drop(*data);
    EXPECT_FALSE(accepted);
    ASSERT_EQ(alerts.shown.size(), 1u);
    EXPECT_EQ(alerts.shown[0].title, "Path Error");
    EXPECT_EQ(alerts.shown[0].message, "Sorry, but the operation failed");
    EXPECT_EQ(field.text(), "typed");
    EXPECT_EQ(view->pictureName(), "whereisunreal");
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(DropViewTest, DrawsThePictureAtItsOwnSizeFromTheBottomLeftCorner)
{
    for (const char *name : {"whereisunreal", "hereisunreal"}) {
        const QPixmap picture = NamedPicture(name);
        ASSERT_FALSE(picture.isNull()) << "picture " << name << " missing from the resources";
        if (name == std::string("hereisunreal")) {
            const auto data = FileDrag({"/Games/Game.app"});
            ASSERT_TRUE(drop(*data).first);
        }
        // Drawn twice: the picture must stay after any later redraw.
        for (int redraw = 0; redraw < 2; ++redraw) {
            const QImage image = rendered();
            const int top = image.height() - picture.height();
            ASSERT_GT(top, 0) << "the view must be taller than the picture for this test";
            EXPECT_EQ(FirstDifference(image.copy(0, top, picture.width(), picture.height()),
                                      picture.toImage()),
                      "")
                << name << " in the bottom-left corner";
            const QImage rest = image.copy(0, 0, image.width(), top);
            QImage empty(rest.size(), rest.format());
            empty.fill(Qt::transparent);
            EXPECT_EQ(FirstDifference(rest, empty), "") << name << ": drawn above the picture";
        }
    }
}

namespace {

struct DragCase
{
    const char *name;
    Qt::DropActions possible;
    std::unique_ptr<QMimeData> (*data)();
    Qt::DropAction shownAs; // Qt::IgnoreAction: refused
};

void PrintTo(const DragCase &c, std::ostream *os)
{
    *os << c.name;
}

std::unique_ptr<QMimeData> GameDrag()
{
    return FileDrag({"/Games/Game.app"});
}

class DropViewAcceptance : public DropViewTest, public ::testing::WithParamInterface<DragCase>
{
};

} // namespace

// MoveAction stands for the generic operation; the view then answers with the mildest action.
TEST_P(DropViewAcceptance, HoveringDragIsShownAsAcceptedOnlyWithGenericAndFileNames)
{
    const DragCase &c = GetParam();
    const auto data = c.data();
    QDragEnterEvent enter(QPoint(20, 20), c.possible, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view.get(), &enter);
    EXPECT_EQ(enter.isAccepted(), c.shownAs != Qt::IgnoreAction) << "on entering";
    QDragMoveEvent move(QPoint(30, 30), c.possible, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view.get(), &move);
    EXPECT_EQ(move.isAccepted(), c.shownAs != Qt::IgnoreAction) << "on moving";
    if (c.shownAs != Qt::IgnoreAction) {
        EXPECT_EQ(enter.dropAction(), c.shownAs);
        EXPECT_EQ(move.dropAction(), c.shownAs);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Drags, DropViewAcceptance,
    ::testing::Values(
        DragCase{"CopyOnly", Qt::CopyAction, GameDrag, Qt::IgnoreAction},
        DragCase{"LinkOnly", Qt::LinkAction, GameDrag, Qt::IgnoreAction},
        DragCase{"CopyOrLink", Qt::CopyAction | Qt::LinkAction, GameDrag, Qt::IgnoreAction},
        DragCase{"MoveOnly", Qt::MoveAction, GameDrag, Qt::MoveAction},
        DragCase{"CopyOrMove", Qt::CopyAction | Qt::MoveAction, GameDrag, Qt::CopyAction},
        DragCase{"AnyAction", Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, GameDrag,
                 Qt::LinkAction},
        DragCase{"TextOnly", Qt::CopyAction | Qt::MoveAction, TextDrag, Qt::IgnoreAction},
        DragCase{"RemoteAddressOnly", Qt::CopyAction | Qt::MoveAction, RemoteDrag,
                 Qt::IgnoreAction}),
    [](const ::testing::TestParamInfo<DragCase> &info) { return std::string(info.param.name); });
