#include "app/traite_image.h"

#include "common/errors.h"
#include "jpeg/jpeg_util.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace tamblure::app {
namespace {

namespace fs = std::filesystem;

struct Made {
    Thumbnail thumbnail;
    std::uint16_t fileWidth = 0, fileHeight = 0;  // as the written thumbnail's frame says
};

Made make(const test::JpegSpec& spec, bool largest, std::int32_t number)
{
    test::TempDir dir;
    test::writeJpeg(dir / "photo.jpg", spec);
    ThumbnailRequest request;
    request.largestDimension = largest;
    request.number = number;
    Made made;
    made.thumbnail = makeThumbnail(dir / "photo.jpg", dir / "thumb.jpg", request);
    bool three = false;
    EXPECT_TRUE(jpeg::ProbeJpegHeader(dir / "thumb.jpg", made.fileWidth, made.fileHeight, three));
    return made;
}

test::JpegSpec colour(int width, int height)
{
    return test::sized(width, height);
}

struct FactorRow {
    std::int32_t factor;
    std::uint8_t scale;
    std::uint16_t width, height;
};

class FactorCriterion : public testing::TestWithParam<FactorRow> {};

// 480 x 240 divides by every factor of the table, so each row's size is exact.
TEST_P(FactorCriterion, LetsTheDecoderTakeThePowerOfTwoAndBoxReducesTheRest)
{
    const FactorRow row = GetParam();
    const Made made = make(colour(480, 240), false, row.factor);
    EXPECT_EQ(made.thumbnail.route, ThumbnailRoute::Encoded);
    EXPECT_EQ(made.thumbnail.scale, row.scale);
    EXPECT_EQ(made.thumbnail.width, row.width);
    EXPECT_EQ(made.thumbnail.height, row.height);
    EXPECT_EQ(made.fileWidth, row.width);
    EXPECT_EQ(made.fileHeight, row.height);
}

INSTANTIATE_TEST_SUITE_P(Table, FactorCriterion,
                         testing::Values(FactorRow{1, 0, 480, 240}, FactorRow{2, 1, 240, 120},
                                         FactorRow{3, 0, 160, 80}, FactorRow{4, 2, 120, 60},
                                         FactorRow{6, 1, 80, 40}, FactorRow{8, 3, 60, 30},
                                         FactorRow{12, 2, 40, 20}, FactorRow{16, 3, 30, 15},
                                         FactorRow{24, 3, 20, 10}));

struct LimitRow {
    int width, height;
    bool copied;
    std::uint8_t scale;
    std::uint16_t thumbWidth, thumbHeight;
};

class LargestDimensionCriterion : public testing::TestWithParam<LimitRow> {};

TEST_P(LargestDimensionCriterion, DecodesAtTheLargestScaleThatStillCoversTheLimit)
{
    const LimitRow row = GetParam();
    test::TempDir dir;
    test::writeJpeg(dir / "photo.jpg", colour(row.width, row.height));
    ThumbnailRequest request;
    request.number = 200;
    const Thumbnail t = makeThumbnail(dir / "photo.jpg", dir / "thumb.jpg", request);
    EXPECT_EQ(t.route, row.copied ? ThumbnailRoute::Copied : ThumbnailRoute::Encoded);
    if (!row.copied) {
        EXPECT_EQ(t.scale, row.scale);
    }
    EXPECT_EQ(t.width, row.thumbWidth);
    EXPECT_EQ(t.height, row.thumbHeight);
    if (row.copied) {
        EXPECT_EQ(test::readFile(dir / "thumb.jpg"), test::readFile(dir / "photo.jpg"));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, LargestDimensionCriterion,
                         testing::Values(LimitRow{150, 100, true, 0, 150, 100}, LimitRow{200, 150, true, 0, 200, 150},
                                         LimitRow{399, 300, false, 0, 200, 150},
                                         LimitRow{400, 300, false, 1, 200, 150},
                                         LimitRow{1024, 768, false, 2, 200, 150},
                                         LimitRow{1200, 1600, false, 3, 150, 200},
                                         LimitRow{3000, 2000, false, 3, 200, 133}));

TEST(DecodingScale, UsesExactLogarithmsAtPowersOfTwo)
{
    EXPECT_EQ(decodingScaleForLimit(400, 200), 1);
    EXPECT_EQ(decodingScaleForLimit(399, 200), 0);
    EXPECT_EQ(decodingScaleForLimit(800, 200), 2);
    EXPECT_EQ(decodingScaleForLimit(1600, 200), 3);
    EXPECT_EQ(decodingScaleForLimit(65535, 1), 3);
    EXPECT_EQ(decodingScaleForLimit(2 * 536870911, 536870911), 1);
    EXPECT_EQ(decodingScaleForFactor(792), 3);
    EXPECT_EQ(decodingScaleForFactor(7), 0);
    EXPECT_EQ(decodingScaleForFactor(-8), 3);
}

TEST(FactorCriterion, RefusesWhatIsLeftAbove99AndAccepts99)
{
    try {
        make(colour(1600, 800), false, 800);
        FAIL() << "factor 800 leaves 100 for the box reduction";
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(e.message(), "Le rapport de réduction dépasse les limites du programme (anti_alias, ligne 38)");
    }
    const Made made = make(colour(1584, 800), false, 792);
    EXPECT_EQ(made.thumbnail.scale, 3);
    EXPECT_EQ(made.thumbnail.width, 2);  // 198 / 99
    EXPECT_EQ(made.thumbnail.height, 1); // 100 / 99
}

TEST(GreyscalePhotographs, TakeTheFullSizeRouteUnderBothCriteria)
{
    test::JpegSpec grey = colour(400, 300);
    grey.components = 1;
    Made made = make(grey, true, 200);
    EXPECT_EQ(made.thumbnail.scale, 0);
    EXPECT_EQ(made.thumbnail.width, 200);
    EXPECT_EQ(made.thumbnail.height, 150);
    made = make(grey, false, 4);
    EXPECT_EQ(made.thumbnail.scale, 0);
    EXPECT_EQ(made.fileWidth, 100);
    EXPECT_EQ(made.fileHeight, 75);
    // The whole factor goes to the box reduction, which refuses 100.
    EXPECT_THROW(make(grey, false, 100), EAssertionFailed);
}

TEST(PhotographsWithoutAFrameHeader, AreCopiedUnderTheLimitAndRefusedByTheFullSizeDecoder)
{
    test::TempDir dir;
    const std::vector<std::uint8_t> noFrame = {0xFF, 0xD8, 0xFF, 0xFE, 0x00, 0x04, 'h', 'i', 0xFF, 0xD9};
    test::writeFile(dir / "odd.jpg", noFrame);
    ThumbnailRequest request;
    const Thumbnail t = makeThumbnail(dir / "odd.jpg", dir / "thumb.jpg", request);
    EXPECT_EQ(t.route, ThumbnailRoute::Copied);
    EXPECT_EQ(t.width, 0);
    EXPECT_EQ(t.height, 0);
    EXPECT_EQ(test::readFile(dir / "thumb.jpg"), noFrame);

    request.largestDimension = false;
    request.number = 2;
    try {
        makeThumbnail(dir / "odd.jpg", dir / "thumb2.jpg", request);
        FAIL();
    } catch (const EJPEG& e) {
        EXPECT_EQ(e.message().rfind("Erreur JPEG #", 0), 0u) << e.message();
    }
}

TEST(Thumbnails, ReplaceAnExistingFileOfTheSameName)
{
    test::TempDir dir;
    test::writeJpeg(dir / "photo.jpg", colour(800, 600));
    test::writeFile(dir / "thumb.jpg", std::string("old thumbnail"));
    ThumbnailRequest request;
    makeThumbnail(dir / "photo.jpg", dir / "thumb.jpg", request);
    std::uint16_t w = 0, h = 0;
    bool three = false;
    ASSERT_TRUE(jpeg::ProbeJpegHeader(dir / "thumb.jpg", w, h, three));
    EXPECT_EQ(w, 200);
    EXPECT_EQ(h, 150);
}

TEST(Thumbnails, ThatCannotBeWrittenEndTheStepWithAnError)
{
    test::TempDir dir;
    test::writeJpeg(dir / "photo.jpg", colour(100, 80));
    ThumbnailRequest request;
    EXPECT_THROW(makeThumbnail(dir / "photo.jpg", dir / "missing" / "thumb.jpg", request), EWriteError);
    request.largestDimension = false;
    request.number = 2;
    EXPECT_THROW(makeThumbnail(dir / "photo.jpg", dir / "missing" / "thumb.jpg", request), EWriteError);
}

} // namespace
} // namespace tamblure::app
