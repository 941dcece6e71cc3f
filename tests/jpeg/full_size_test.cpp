#include "jpeg/jpeg_image.h"

#include "common/errors.h"
#include "pattern_check.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <sstream>
#include <string>
#include <utility>

namespace tamblure::jpeg {
namespace {

using imaging::Bitmap24;
using imaging::PixelFormat;
using test::JpegSpec;
using test::sized;
using test::TempDir;
using Bytes = std::vector<std::uint8_t>;

struct FullSizeCase {
    const char* name;
    JpegSpec spec;
    int tolerance;
};

JpegSpec with(JpegSpec spec, void (*change)(JpegSpec&))
{
    change(spec);
    return spec;
}

class DecodeJpegFullSizePicture : public testing::TestWithParam<FullSizeCase> {};

TEST_P(DecodeJpegFullSizePicture, IsTheWholePictureIn24BitsUpright)
{
    const FullSizeCase& c = GetParam();
    TempDir dir;
    test::writeJpeg(dir / "p.jpg", c.spec);
    Bitmap24 raster;
    DecodeJpegFullSize(raster, dir / "p.jpg");
    EXPECT_EQ(raster.pixelFormat(), PixelFormat::Bits24);
    EXPECT_EQ(raster.width(), c.spec.width);
    EXPECT_EQ(raster.height(), c.spec.height);
    EXPECT_LE(test::largestDeviation(raster, c.spec), c.tolerance);
    EXPECT_TRUE(test::rowPaddingIsClear(raster));
}

INSTANTIATE_TEST_SUITE_P(
    Files, DecodeJpegFullSizePicture,
    testing::Values(
        FullSizeCase{"Colour", sized(21, 13), 28}, FullSizeCase{"Grey", sized(23, 11, 1), 14},
        FullSizeCase{"AdobeCmyk", sized(19, 14, 4), 28},
        FullSizeCase{"AdobeCmykWithHalfBlack", with(sized(19, 14, 4), [](JpegSpec& s) { s.cmykBlack = 128; }), 20},
        FullSizeCase{"Progressive", with(sized(40, 30), [](JpegSpec& s) { s.progressive = true; }), 28},
        FullSizeCase{"ArithmeticGrey", with(sized(30, 20, 1), [](JpegSpec& s) { s.arithmetic = true; }), 14}),
    [](const testing::TestParamInfo<FullSizeCase>& row) { return std::string(row.param.name); });

TEST(DecodeJpegFullSize, GivesAGreyPhotographEqualChannelsAndAtMost236Levels)
{
    // A smooth ramp over all 256 levels, wider than 236 can hold exactly.
    JpegSpec spec = sized(256, 64, 1);
    spec.quality = 100;
    TempDir dir;
    test::writeJpeg(dir / "grey.jpg", spec);
    Bitmap24 raster;
    DecodeJpegFullSize(raster, dir / "grey.jpg");
    std::set<int> levels;
    for (int y = 0; y < raster.height(); ++y) {
        const std::uint8_t* row = raster.scanLine(y);
        for (int x = 0; x < raster.width(); ++x, row += 3) {
            ASSERT_EQ(row[0], row[1]);
            ASSERT_EQ(row[1], row[2]);
            levels.insert(row[0]);
        }
    }
    EXPECT_LE(levels.size(), 236u);
    EXPECT_GT(levels.size(), 100u);
}

void expectJpegError(const std::filesystem::path& path, Bitmap24& raster, const std::string& message)
{
    try {
        DecodeJpegFullSize(raster, path);
        FAIL() << "no error raised";
    } catch (const EJPEG& error) {
        EXPECT_EQ(error.message(), message);
    }
}

Bitmap24 smallRaster()
{
    Bitmap24 raster = imaging::makeRaster24(2, 2);
    raster.setPixel(1, 1, 0x123456);
    return raster;
}

TEST(DecodeJpegFullSize, RaisesTheJpegErrorForAJpgFileHoldingNoJpegAndKeepsTheRaster)
{
    TempDir dir;
    test::writeFile(dir / "text.jpg", std::string("Ceci n'est pas une image.\n"));
    test::writeFile(dir / "empty.jpg", Bytes{});
    const std::pair<const char*, const char*> files[] = {
        {"text.jpg", "Erreur JPEG #53 : ce n'est pas un fichier JPEG (marqueur de début d'image absent)"},
        {"empty.jpg", "Erreur JPEG #42 : fichier d'entrée vide"}};
    for (const auto& [name, message] : files) {
        Bitmap24 raster = smallRaster();
        expectJpegError(dir / name, raster, message);
        EXPECT_EQ(raster.width(), 2);
        EXPECT_EQ(raster.pixel(1, 1), 0x123456u);
    }
}

TEST(DecodeJpegFullSize, RaisesTheOpenErrorForAMissingFile)
{
    TempDir dir;
    Bitmap24 raster;
    try {
        DecodeJpegFullSize(raster, dir / "absent.jpg");
        FAIL() << "no error raised";
    } catch (const EFOpenError& error) {
        EXPECT_EQ(error.message(), "Impossible d'ouvrir le fichier " + (dir / "absent.jpg").string() +
                                       " : fichier ou dossier inexistant");
    }
}

TEST(DecodeJpegFullSize, RefusesQuicklyAProgressiveFileTooLargeToHoldInMemory)
{
    JpegSpec spec = sized(16, 16);
    spec.progressive = true;
    Bytes bytes = test::makeJpeg(spec);
    const auto sof = static_cast<std::size_t>(test::findMarker(bytes, 0xC2));
    for (std::size_t i : {sof + 5, sof + 7}) {
        bytes[i] = 0xFF;
        bytes[i + 1] = 0xDC;
    }
    TempDir dir;
    test::writeFile(dir / "huge.jpg", bytes);
    const auto start = std::chrono::steady_clock::now();
    Bitmap24 raster = smallRaster();
    bool refused = false;
    try {
        DecodeJpegFullSize(raster, dir / "huge.jpg");
    } catch (const EJPEG&) {
        refused = true;
    } catch (const EOutOfMemory&) {
        refused = true;
    }
    EXPECT_TRUE(refused);
    EXPECT_EQ(raster.width(), 2);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(TJPEGImage, KnowsItsFrameSizeAndSavesExactlyTheBytesItLoaded)
{
    JpegSpec spec = sized(33, 17);
    spec.segments.push_back({0xFE, Bytes{'n', 'o', 't', 'e'}});
    const Bytes bytes = test::makeJpeg(spec);
    TempDir dir;
    test::writeFile(dir / "p.jpg", bytes);
    TJPEGImage image;
    image.loadFromFile(dir / "p.jpg");
    EXPECT_EQ(image.width(), 33);
    EXPECT_EQ(image.height(), 17);
    std::ostringstream out;
    image.saveToStream(out);
    EXPECT_EQ(out.str(), std::string(bytes.begin(), bytes.end()));
}

TEST(TJPEGImage, KeepsWhatItHeldWhenNewBytesAreNoJpeg)
{
    TJPEGImage image;
    image.loadFromBytes(test::makeJpeg(sized(10, 6)));
    EXPECT_THROW(image.loadFromBytes(Bytes{0xFF, 0xD8, 0xFF}), EJPEG);
    EXPECT_EQ(image.width(), 10);
    EXPECT_EQ(image.height(), 6);
    Bitmap24 raster;
    image.decode(raster);
    EXPECT_EQ(raster.width(), 10);
}

} // namespace
} // namespace tamblure::jpeg
