#include "jpeg/jpeg_image.h"
#include "jpeg/streamed_decode.h"

#include "common/errors.h"
#include "pattern_check.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>

namespace tamblure::jpeg {
namespace {

using imaging::Bitmap24;
using imaging::PixelFormat;
using test::JpegSpec;
using test::sized;
using test::TempDir;
using Bytes = std::vector<std::uint8_t>;

// The whole picture at full size, as the full-size route gives it for a
// factor of 1.
Bitmap24 fullSize(const Bytes& file)
{
    return DecodeJpegFullSizeReduced(file, imaging::ReductionPlan::byFactor(1)).raster;
}

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

// The fixture's pattern, known to the test, is the expectation: a picture
// flipped, mirrored or with its inks read the wrong way misses it by far more
// than the tolerance of the lossy encoding.
class FullSizePicture : public testing::TestWithParam<FullSizeCase> {};

TEST_P(FullSizePicture, IsTheWholePictureIn24BitsUpright)
{
    const FullSizeCase& c = GetParam();
    const Bitmap24 raster = fullSize(test::makeJpeg(c.spec));
    EXPECT_EQ(raster.pixelFormat(), PixelFormat::Bits24);
    EXPECT_EQ(raster.width(), c.spec.width);
    EXPECT_EQ(raster.height(), c.spec.height);
    EXPECT_LE(test::largestDeviation(raster, c.spec), c.tolerance);
    EXPECT_TRUE(test::rowPaddingIsClear(raster));
}

INSTANTIATE_TEST_SUITE_P(
    Files, FullSizePicture,
    testing::Values(
        FullSizeCase{"Colour", sized(21, 13), 28}, FullSizeCase{"Grey", sized(23, 11, 1), 14},
        FullSizeCase{"AdobeCmyk", sized(19, 14, 4), 28},
        FullSizeCase{"AdobeCmykWithHalfBlack", with(sized(19, 14, 4), [](JpegSpec& s) { s.cmykBlack = 128; }), 20},
        FullSizeCase{"Progressive", with(sized(40, 30), [](JpegSpec& s) { s.progressive = true; }), 28},
        FullSizeCase{"ArithmeticGrey", with(sized(30, 20, 1), [](JpegSpec& s) { s.arithmetic = true; }), 14}),
    [](const testing::TestParamInfo<FullSizeCase>& row) { return std::string(row.param.name); });

TEST(FullSizePicture, OfAGreyPhotographHasEqualChannelsAndAtMost236Levels)
{
    // A smooth ramp over all 256 levels, wider than 236 can hold exactly.
    JpegSpec spec = sized(256, 64, 1);
    spec.quality = 100;
    const Bitmap24 raster = fullSize(test::makeJpeg(spec));
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

TEST(FullSizePicture, IsRefusedQuicklyForAProgressiveFileTooLargeToHoldInMemory)
{
    JpegSpec spec = sized(16, 16);
    spec.progressive = true;
    Bytes bytes = test::makeJpeg(spec);
    const auto sof = static_cast<std::size_t>(test::findMarker(bytes, 0xC2));
    for (std::size_t i : {sof + 5, sof + 7}) {
        bytes[i] = 0xFF;
        bytes[i + 1] = 0xDC;
    }
    const auto start = std::chrono::steady_clock::now();
    bool refused = false;
    try {
        fullSize(bytes);
    } catch (const EJPEG&) {
        refused = true;
    } catch (const EOutOfMemory&) {
        refused = true;
    }
    EXPECT_TRUE(refused);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(TJPEGImage, KnowsItsFrameSizeAndHoldsExactlyTheBytesOfItsFile)
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
    EXPECT_EQ(Bytes(image.bytes().begin(), image.bytes().end()), bytes);
}

TEST(TJPEGImage, RaisesTheOpenErrorForAMissingFileOrAFolder)
{
    TempDir dir;
    std::filesystem::create_directory(dir / "folder.jpg");
    for (const auto& [name, reason] :
         {std::pair{"absent.jpg", " : fichier ou dossier inexistant"}, std::pair{"folder.jpg", ""}}) {
        TJPEGImage image;
        try {
            image.loadFromFile(dir / name);
            ADD_FAILURE() << name << ": no error raised";
        } catch (const EFOpenError& error) {
            EXPECT_EQ(error.message(), "Impossible d'ouvrir le fichier " + (dir / name).string() + reason);
        }
    }
}

TEST(TJPEGImage, KeepsWhatItHeldWhenNewBytesAreNoJpeg)
{
    TJPEGImage image;
    image.loadFromBytes(test::makeJpeg(sized(10, 6)));
    EXPECT_THROW(image.loadFromBytes(Bytes{0xFF, 0xD8, 0xFF}), EJPEG);
    EXPECT_EQ(image.width(), 10);
    EXPECT_EQ(image.height(), 6);
    EXPECT_EQ(Bytes(image.bytes().begin(), image.bytes().end()), test::makeJpeg(sized(10, 6)));
}

} // namespace
} // namespace tamblure::jpeg
