#include "ScreenshotRow.h"

#include <clocale>

#include <gtest/gtest.h>

#include "BitmapFile.h"
#include "CaptionOrder.h"
#include "ConverterTexts.h"
#include "ImageError.h"
#include "JpegFile.h"
#include "ResolutionSupport.h"
#include "ScoreboardTable.h"
#include "ScreenshotFiles.h"
#include "TestSupport.h"

using namespace kv::converter;

namespace {

void WriteBlank(const std::string &path, int width, int height)
{
    const kv::imaging::WorkingBitmap image(width, height, 24);
    if (IsBitmapFileName(path)) {
        kv::imaging::WriteBitmapFile(image, path);
    } else {
        kv::imaging::WriteJpegFile(image, path, 90);
    }
}

} // namespace

TEST(ResolutionSupport, EachEditionAcceptsOnlyItsOwnLabelsWidthFirst)
{
    EXPECT_EQ(ResolutionLabel(1024, 768), "1024 x 768");
    EXPECT_TRUE(ResolutionSupported(texts::kRavelock, 1680, 1050));
    EXPECT_FALSE(ResolutionSupported(texts::kVeskar, 1680, 1050));
    for (const auto &[w, h] : {std::pair{640, 480}, std::pair{1400, 1050}}) {
        EXPECT_TRUE(ResolutionSupported(texts::kVeskar, w, h)) << w << "x" << h;
        EXPECT_FALSE(ResolutionSupported(texts::kRavelock, w, h)) << w << "x" << h;
    }
    EXPECT_FALSE(ResolutionSupported(texts::kVeskar, 768, 1024));
    EXPECT_FALSE(ResolutionSupported("Korvane: veskar", 1024, 768));
    EXPECT_FALSE(ResolutionSupported(texts::kSelectGame, 1024, 768));
}

TEST(ScoreboardTable, EveryTableRowHasAGeometryAndNeighboursKeepTheirOwnValues)
{
    for (const char *edition : {texts::kVeskar, texts::kRavelock}) {
        for (const std::string &label : SupportedResolutions(edition)) {
            EXPECT_TRUE(FindScoreboardGeometry(edition, label)) << edition << " " << label;
        }
    }
    EXPECT_EQ(FindScoreboardGeometry(texts::kRavelock, "1280 x 960")->width, 1022);
    EXPECT_EQ(FindScoreboardGeometry(texts::kRavelock, "1280 x 1024")->width, 1023);
    EXPECT_EQ(FindScoreboardGeometry(texts::kRavelock, "1280 x 960")->spectatorExtra, 21);
    EXPECT_EQ(FindScoreboardGeometry(texts::kRavelock, "1600 x 1200")->spectatorExtra, 20);
    EXPECT_EQ(FindScoreboardGeometry(texts::kVeskar, "1400 x 1050")->width, 1153);
    EXPECT_FALSE(FindScoreboardGeometry(texts::kRavelock, "640 x 480"));
}

TEST(ScoreboardTable, TeamLabelsMatchLetterForLetter)
{
    EXPECT_EQ(PlayersPerTeam(" 1 on 1"), 1);
    EXPECT_EQ(PlayersPerTeam(" 9 on 9"), 9);
    EXPECT_EQ(PlayersPerTeam("10 on 10"), 10);
    EXPECT_FALSE(PlayersPerTeam("6 on 6"));
    EXPECT_FALSE(PlayersPerTeam(" 6 on 6 "));
    EXPECT_FALSE(PlayersPerTeam(" 10 on 10"));
}

TEST(MeasureScreenshot, LabelsAndMarksByExtensionRule)
{
    kv::test::TempDir dir;
    WriteBlank(dir.File("shot.BMP"), 1680, 1050);
    WriteBlank(dir.File("shot.jpeg"), 640, 480);
    kv::test::WriteBytes(dir.File("empty.bmp"), {});

    const ScreenshotRow upper = MeasureScreenshot(dir.File("shot.BMP"), texts::kRavelock);
    EXPECT_EQ(upper.caption, "shot.BMP");
    EXPECT_EQ(upper.resolution, "1680 x 1050");
    EXPECT_TRUE(upper.supported);
    EXPECT_EQ(upper.path, dir.File("shot.BMP"));
    EXPECT_FALSE(MeasureScreenshot(dir.File("shot.BMP"), texts::kVeskar).supported);

    const ScreenshotRow jpeg = MeasureScreenshot(dir.File("shot.jpeg"), texts::kVeskar);
    EXPECT_EQ(jpeg.resolution, "640 x 480");
    EXPECT_TRUE(jpeg.supported);

    const ScreenshotRow empty = MeasureScreenshot(dir.File("empty.bmp"), texts::kVeskar);
    EXPECT_EQ(empty.resolution, "0 x 0");
    EXPECT_FALSE(empty.supported);

    kv::test::WriteBytes(dir.File("text.jpg"), {'h', 'i'});
    EXPECT_THROW(MeasureScreenshot(dir.File("text.jpg"), texts::kVeskar), kv::imaging::ImageError);
}

TEST(ExtensionRule, OnlyBmpGoesToTheBitmapReaderAndDropsTakeTheThreeScreenshotKinds)
{
    struct Case
    {
        const char *path;
        bool bitmap;
        bool screenshot;
    };
    for (const Case &c : {Case{"dir/shot.BMP", true, true}, Case{"shot.jpg", false, true},
                          Case{"shot.JPEG", false, true}, Case{"shot.bmp.png", false, false},
                          Case{"notes.txt", false, false}, Case{"bmp", false, false}}) {
        EXPECT_EQ(IsBitmapFileName(c.path), c.bitmap) << c.path;
        EXPECT_EQ(IsScreenshotFileName(c.path), c.screenshot) << c.path;
    }
}

TEST(SortByCaption, OrdersByNameNotByTheOrderOfAdding)
{
    std::setlocale(LC_COLLATE, "C");
    std::vector<ScreenshotRow> rows = {{"b.bmp", "", false, "1"},
                                       {"a.bmp", "", false, "2"},
                                       {"B.bmp", "", false, "3"},
                                       {"a.bmp", "", false, "4"}};
    SortByCaption(rows);
    std::vector<std::string> order;
    for (const ScreenshotRow &row : rows) {
        order.push_back(row.path);
    }
#ifdef _WIN32
    // The user's locale, as the window's list on Windows: letters first, then their case.
    EXPECT_EQ(order, (std::vector<std::string>{"2", "4", "1", "3"}));
#else
    EXPECT_EQ(order, (std::vector<std::string>{"3", "2", "4", "1"}));
#endif
    EXPECT_EQ(CompareCaptions("a.bmp", "a.bmp"), 0);
}
