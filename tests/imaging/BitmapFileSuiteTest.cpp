#include "BitmapFile.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <QImage>
#include <gtest/gtest.h>

#include "ImageError.h"
#include "ImagingTexts.h"
#include "TestSupport.h"

using kv::imaging::ImageError;
using kv::imaging::LoadBitmapFile;
using kv::imaging::PaletteEntry;
using kv::imaging::WorkingBitmap;
namespace fs = std::filesystem;
namespace texts = kv::imaging::texts;

namespace {

constexpr int kTolerance = 6; // per channel, about 2 %

// "g/pal1.bmp" -> the acceptable reference pictures, as the suite's own page pairs them.
std::map<std::string, std::vector<std::string>> ReadReferenceMap(const fs::path &suite)
{
    std::map<std::string, std::vector<std::string>> map;
    std::ifstream in(suite / "REFERENCE-MAP.tsv");
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t tab = line.find('\t');
        if (line.empty() || line[0] == '#' || tab == std::string::npos) {
            continue;
        }
        std::vector<std::string> &references = map[line.substr(0, tab)];
        std::stringstream alternatives(line.substr(tab + 1));
        std::string reference;
        while (std::getline(alternatives, reference, '|')) {
            if (!reference.empty()) {
                references.push_back(reference);
            }
        }
    }
    return map;
}

std::vector<std::string> BmpFilesIn(const fs::path &suite, const std::string &folder)
{
    std::vector<std::string> files;
    for (const fs::directory_entry &entry : fs::directory_iterator(suite / folder)) {
        if (entry.path().extension() == ".bmp") {
            files.push_back(folder + "/" + entry.path().filename().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Where image and reference differ by more than the tolerance; empty when they match. Fully
// transparent reference pixels carry no colour and are skipped; partly transparent ones keep
// their own colour in a PNG, which is what the BMP stores beside its alpha.
std::string Difference(const WorkingBitmap &image, const fs::path &referencePath)
{
    QImage reference(QString::fromStdString(referencePath.string()));
    if (reference.isNull()) {
        return "cannot decode " + referencePath.string();
    }
    reference = reference.convertToFormat(QImage::Format_ARGB32);
    if (reference.width() != image.Width() || reference.height() != image.Height()) {
        return "size " + std::to_string(image.Width()) + "x" + std::to_string(image.Height()) +
               ", reference " + std::to_string(reference.width()) + "x" +
               std::to_string(reference.height());
    }
    for (int y = 0; y < image.Height(); ++y) {
        for (int x = 0; x < image.Width(); ++x) {
            const QRgb expected = reference.pixel(x, y);
            const PaletteEntry actual = image.ColourAt(x, y);
            if (qAlpha(expected) == 0) {
                continue;
            }
            if (std::abs(actual.red - qRed(expected)) > kTolerance ||
                std::abs(actual.green - qGreen(expected)) > kTolerance ||
                std::abs(actual.blue - qBlue(expected)) > kTolerance) {
                return "pixel " + std::to_string(x) + "," + std::to_string(y) + " expected (r" +
                       std::to_string(qRed(expected)) + " g" + std::to_string(qGreen(expected)) +
                       " b" + std::to_string(qBlue(expected)) + ") actual " +
                       ::testing::PrintToString(actual);
            }
        }
    }
    return {};
}

bool IsUserText(const std::string &text)
{
    const std::string tooLarge = texts::ImageTooLarge(1, 1);
    return text == texts::kBitmapNotValid || text == texts::kStreamReadError ||
           text.starts_with(tooLarge.substr(0, tooLarge.find('(')));
}

class BmpSuite : public ::testing::Test
{
protected:
    void SetUp() override
    {
        suite_ = kv::test::TestDataDir() / "bmpsuite";
        references_ = ReadReferenceMap(suite_);
    }

    // Checks that file loads and matches one of its references (when it has any).
    void ExpectMatchesReference(const std::string &file)
    {
        WorkingBitmap image;
        try {
            image = LoadBitmapFile((suite_ / file).string());
        } catch (const ImageError &e) {
            ADD_FAILURE() << file << ": refused with \"" << e.what() << "\"";
            return;
        }
        std::string differences;
        for (const std::string &reference : references_[file]) {
            const std::string difference = Difference(image, suite_ / reference);
            if (difference.empty()) {
                return;
            }
            differences += "\n  " + reference + ": " + difference;
        }
        if (!differences.empty()) {
            ADD_FAILURE() << file << " matches no reference:" << differences;
        }
    }

    fs::path suite_;
    std::map<std::string, std::vector<std::string>> references_;
};

} // namespace

TEST_F(BmpSuite, EveryGoodFileLoadsAndMatchesItsReference)
{
    const std::vector<std::string> files = BmpFilesIn(suite_, "g");
    ASSERT_FALSE(files.empty()) << "no files in " << (suite_ / "g");
    for (const std::string &file : files) {
        EXPECT_FALSE(references_[file].empty()) << file << " has no reference picture";
        ExpectMatchesReference(file);
    }
}

TEST_F(BmpSuite, UnusualFilesThatLoadMatchTheirReference)
{
    for (const std::string folder : {"q", "b", "x"}) {
        for (const std::string &file : BmpFilesIn(suite_, folder)) {
            try {
                LoadBitmapFile((suite_ / file).string());
            } catch (const ImageError &) {
                continue; // refusals are checked below
            }
            ExpectMatchesReference(file);
        }
    }
}

TEST_F(BmpSuite, EveryOtherFileLoadsOrGivesAUserText)
{
    for (const std::string folder : {"b", "q", "x"}) {
        for (const std::string &file : BmpFilesIn(suite_, folder)) {
            try {
                const WorkingBitmap image = LoadBitmapFile((suite_ / file).string());
                EXPECT_FALSE(image.Empty()) << file << " loaded as an empty image";
            } catch (const ImageError &e) {
                EXPECT_TRUE(IsUserText(e.what())) << file << ": \"" << e.what() << "\"";
            } catch (const std::exception &e) {
                ADD_FAILURE() << file << ": not an ImageError: " << e.what();
            }
        }
    }
}
