#include "batch/traite_image.h"

#include "batch/thumbnail_plan.h"

#include "common/errors.h"
#include "jpeg/jpeg_util.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace tamblure::batch {
namespace {

namespace fs = std::filesystem;

struct Made {
    Thumbnail thumbnail;
    std::uint16_t fileWidth = 0, fileHeight = 0; // as the written thumbnail's frame says
};

Made make(const test::JpegSpec& spec, bool largest, std::int32_t number)
{
    test::TempDir dir;
    test::writeJpeg(dir / "photo.jpg", spec);
    ThumbnailRequest request;
    request.criterion = largest ? Criterion::LargestDimension : Criterion::ReductionFactor;
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
                         testing::Values(FactorRow{1, 0, 480, 240}, FactorRow{2, 1, 240, 120}, FactorRow{3, 0, 160, 80},
                                         FactorRow{4, 2, 120, 60}, FactorRow{6, 1, 80, 40}, FactorRow{8, 3, 60, 30},
                                         FactorRow{12, 2, 40, 20}, FactorRow{16, 3, 30, 15}, FactorRow{24, 3, 20, 10}));

struct ShortSideRow {
    int width, height, components;
    std::int32_t factor;
    std::uint16_t thumbWidth, thumbHeight;
};

class FactorAboveASide : public testing::TestWithParam<ShortSideRow> {};

// A side shorter than the factor keeps one pixel instead of none.
TEST_P(FactorAboveASide, KeepsOnePixelOnThatSide)
{
    const ShortSideRow row = GetParam();
    test::JpegSpec spec = colour(row.width, row.height);
    spec.components = row.components;
    const Made made = make(spec, false, row.factor);
    EXPECT_EQ(made.fileWidth, row.thumbWidth);
    EXPECT_EQ(made.fileHeight, row.thumbHeight);
}

INSTANTIATE_TEST_SUITE_P(Table, FactorAboveASide,
                         testing::Values(ShortSideRow{20, 4, 3, 8, 2, 1}, ShortSideRow{4, 20, 1, 8, 1, 2},
                                         ShortSideRow{3, 3, 3, 5, 1, 1}, ShortSideRow{16, 8, 3, 8, 2, 1},
                                         // A side as long as the factor is no shorter: the
                                         // decoder's sides are rounded up.
                                         ShortSideRow{8, 20, 3, 8, 1, 3}));

TEST(FactorAboveASide, IsStillRefusedWhenTheBoxReductionWouldBeLeftTooMuch)
{
    EXPECT_THROW(make(colour(480, 240), false, 800), EAssertionFailed);
    test::JpegSpec grey = colour(48, 24);
    grey.components = 1;
    EXPECT_THROW(make(grey, false, 100), EAssertionFailed);
}

struct LimitRow {
    int width, height;
    bool copied;
    std::uint8_t scale;
    std::uint16_t thumbWidth, thumbHeight;
    std::int32_t limit = 200;
    int components = 3;
};

void PrintTo(const LimitRow& row, std::ostream* out)
{
    *out << row.width << " x " << row.height;
}

class LargestDimensionCriterion : public testing::TestWithParam<LimitRow> {};

TEST_P(LargestDimensionCriterion, DecodesAtTheLargestScaleThatStillCoversTheLimit)
{
    const LimitRow row = GetParam();
    test::TempDir dir;
    test::JpegSpec spec = colour(row.width, row.height);
    spec.components = row.components;
    test::writeJpeg(dir / "photo.jpg", spec);
    ThumbnailRequest request;
    request.number = row.limit;
    const Thumbnail t = makeThumbnail(dir / "photo.jpg", dir / "thumb.jpg", request);
    EXPECT_EQ(t.route, row.copied ? ThumbnailRoute::Copied : ThumbnailRoute::Encoded);
    if (!row.copied) {
        EXPECT_EQ(t.scale, row.scale);
    }
    EXPECT_EQ(t.width, row.thumbWidth);
    EXPECT_EQ(t.height, row.thumbHeight);
    if (row.copied) {
        EXPECT_EQ(test::readFile(dir / "thumb.jpg"), test::readFile(dir / "photo.jpg"));
    } else {
        std::uint16_t fileWidth = 0, fileHeight = 0;
        bool three = false;
        ASSERT_TRUE(jpeg::ProbeJpegHeader(dir / "thumb.jpg", fileWidth, fileHeight, three));
        EXPECT_EQ(fileWidth, row.thumbWidth);
        EXPECT_EQ(fileHeight, row.thumbHeight);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, LargestDimensionCriterion,
    testing::Values(LimitRow{150, 100, true, 0, 150, 100}, LimitRow{200, 150, true, 0, 200, 150},
                    LimitRow{399, 300, false, 0, 200, 150}, LimitRow{400, 300, false, 1, 200, 150},
                    LimitRow{1024, 768, false, 2, 200, 150}, LimitRow{1200, 1600, false, 3, 150, 200},
                    LimitRow{3000, 2000, false, 3, 200, 133},
                    // The shorter side is cut off, never rounded: 132.98 and 133.5.
                    LimitRow{3008, 2000, false, 3, 200, 132}, LimitRow{534, 800, false, 2, 133, 200},
                    // Panoramas: the shorter side keeps one pixel.
                    LimitRow{30000, 100, false, 3, 200, 1}, LimitRow{100, 30000, false, 3, 1, 200},
                    LimitRow{30000, 100, false, 0, 200, 1, 200, 1}, LimitRow{640, 480, false, 3, 1, 1, 1}));

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
        // The check's own words, then the photograph it failed on.
        EXPECT_EQ(e.message().rfind("Le rapport de réduction dépasse les limites du programme (anti_alias, ligne 38) "
                                    "(fichier /",
                                    0),
                  0u)
            << e.message();
        EXPECT_TRUE(e.message().ends_with("/photo.jpg)")) << e.message();
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

struct NotAPhotograph {
    const char* name;
    std::vector<std::uint8_t> bytes;
};

class FilesWithoutAFrameTheDecoderReads : public testing::TestWithParam<NotAPhotograph> {};

TEST_P(FilesWithoutAFrameTheDecoderReads, GetNoThumbnailUnderEitherCriterion)
{
    test::TempDir dir;
    test::writeFile(dir / "odd.jpg", GetParam().bytes);
    for (const bool largest : {true, false}) {
        ThumbnailRequest request;
        request.criterion = largest ? Criterion::LargestDimension : Criterion::ReductionFactor;
        request.number = largest ? 200 : 2;
        try {
            makeThumbnail(dir / "odd.jpg", dir / "thumb.jpg", request);
            FAIL() << "made a thumbnail";
        } catch (const EJPEG& e) {
            EXPECT_EQ(e.message(),
                      "Le fichier « " + (dir / "odd.jpg").string() + " » n'est pas une photographie JPEG lisible");
        }
        EXPECT_FALSE(fs::exists(dir / "thumb.jpg"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, FilesWithoutAFrameTheDecoderReads,
    testing::Values(NotAPhotograph{"Text", {'p', 'r', 'i', 'v', 'a', 't', 'e', '\n'}},
                    NotAPhotograph{"CommentOnly", {0xFF, 0xD8, 0xFF, 0xFE, 0x00, 0x04, 'h', 'i', 0xFF, 0xD9}},
                    NotAPhotograph{"LosslessFrame",
                                   {0xFF, 0xD8, 0xFF, 0xC3, 0x00, 0x0B, 0x08, 0x00, 0x10, 0x00, 0x10, 0x01}},
                    NotAPhotograph{"CutInsideTheFrame", {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x11, 0x08, 0x00}}),
    [](const testing::TestParamInfo<NotAPhotograph>& row) { return std::string(row.param.name); });

TEST(FilesWithoutAFrameTheDecoderReads, ReachedThroughALinkLeakNothing)
{
    test::TempDir dir;
    test::writeFile(dir / "private.txt", std::string("my secrets"));
    ASSERT_EQ(::chmod((dir / "private.txt").c_str(), 0600), 0);
    fs::create_symlink(dir / "private.txt", dir / "holiday.jpg");
    EXPECT_THROW(makeThumbnail(dir / "holiday.jpg", dir / "thumb.jpg", ThumbnailRequest{}), EJPEG);
    EXPECT_FALSE(fs::exists(dir / "thumb.jpg"));
}

TEST(ArithmeticCodedPhotographs, AreThumbnailedLikeTheOthers)
{
    test::TempDir dir;
    for (const bool progressive : {false, true}) {
        test::JpegSpec spec = colour(640, 480);
        spec.arithmetic = true;
        spec.progressive = progressive;
        test::writeJpeg(dir / "arith.jpg", spec);
        const Thumbnail t = makeThumbnail(dir / "arith.jpg", dir / "thumb.jpg", ThumbnailRequest{});
        EXPECT_EQ(t.route, ThumbnailRoute::Encoded);
        EXPECT_EQ(t.width, 200);
        EXPECT_EQ(t.height, 150);
        std::uint16_t w = 0, h = 0;
        bool three = false;
        ASSERT_TRUE(jpeg::ProbeJpegHeader(dir / "thumb.jpg", w, h, three));
        EXPECT_EQ(w, 200);
    }
}

TEST(Thumbnails, GrantNoReadAccessThatTheirPhotographDenies)
{
    test::TempDir dir;
    const mode_t mask = ::umask(022);
    for (const auto& [width, mode] : std::vector<std::pair<int, unsigned>>{{800, 0600}, {100, 0600}, {800, 0640}}) {
        test::writeJpeg(dir / "photo.jpg", colour(width, 60));
        ASSERT_EQ(::chmod((dir / "photo.jpg").c_str(), mode), 0);
        makeThumbnail(dir / "photo.jpg", dir / "thumb.jpg", ThumbnailRequest{});
        struct stat info {};
        ASSERT_EQ(::stat((dir / "thumb.jpg").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, mode) << "width " << width; // copied (100) or encoded (800)
    }
    ::umask(mask);
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
    request.criterion = Criterion::ReductionFactor;
    request.number = 2;
    EXPECT_THROW(makeThumbnail(dir / "photo.jpg", dir / "missing" / "thumb.jpg", request), EWriteError);
}

} // namespace
} // namespace tamblure::batch

namespace tamblure::batch {
namespace {

// What libjpeg warned of comes out of the step with the thumbnail, on each
// route: the scaled decode (colour), the full-size route (grey) and the copy.
struct WarningCase {
    const char* name;
    int components;
    std::int32_t limit; // "Dimension maximale"; 400 copies the 64 × 48 photograph
    bool cut;
    ThumbnailRoute route;
};

class StepWarnings : public testing::TestWithParam<WarningCase> {};

TEST_P(StepWarnings, SayWhetherThePhotographsDataRanOut)
{
    const WarningCase& c = GetParam();
    std::vector<std::uint8_t> bytes = test::makeJpeg(test::sized(64, 48, c.components));
    if (c.cut)
        bytes.resize(bytes.size() * 2 / 3);
    test::TempDir dir;
    test::writeFile(dir / "photo.jpg", bytes);
    ThumbnailRequest request;
    request.number = c.limit;
    const Thumbnail made = makeThumbnail(dir / "photo.jpg", dir / "thumb.jpg", request);
    EXPECT_EQ(made.route, c.route);
    EXPECT_EQ(made.warnings.dataRanOut, c.cut);
    EXPECT_EQ(made.warnings.corruptData, 0);
}

INSTANTIATE_TEST_SUITE_P(Table, StepWarnings,
                         testing::Values(WarningCase{"ScaledWhole", 3, 20, false, ThumbnailRoute::Encoded},
                                         WarningCase{"ScaledCut", 3, 20, true, ThumbnailRoute::Encoded},
                                         WarningCase{"FullSizeWhole", 1, 20, false, ThumbnailRoute::Encoded},
                                         WarningCase{"FullSizeCut", 1, 20, true, ThumbnailRoute::Encoded},
                                         WarningCase{"CopiedWhole", 3, 400, false, ThumbnailRoute::Copied}),
                         [](const testing::TestParamInfo<WarningCase>& row) { return std::string(row.param.name); });

// A photograph small enough to be copied whole is copied only when it
// decodes to the end of its picture, without corrupt data: whatever else is
// named like one is refused, not copied as its own "thumbnail".
struct SmallFile {
    const char* name;
    std::vector<std::uint8_t> (*make)();
};

class SmallPhotograph : public testing::TestWithParam<SmallFile> {};

TEST_P(SmallPhotograph, ThatDoesNotDecodeToItsEndIsNotCopied)
{
    test::TempDir dir;
    test::writeFile(dir / "photo.jpg", GetParam().make());
    try {
        makeThumbnail(dir / "photo.jpg", dir / "thumb.jpg", ThumbnailRequest{});
        ADD_FAILURE() << "copied";
    } catch (const EJPEG& e) {
        EXPECT_NE(e.message().find("n'est pas une photographie JPEG lisible"), std::string::npos) << e.message();
    }
    EXPECT_FALSE(fs::exists(dir / "thumb.jpg"));
}

std::vector<std::uint8_t> smallJpeg()
{
    return test::makeJpeg(test::sized(64, 48));
}

INSTANTIATE_TEST_SUITE_P(Table, SmallPhotograph,
                         testing::Values(SmallFile{"Cut",
                                                   [] {
                                                       auto bytes = smallJpeg();
                                                       bytes.resize(bytes.size() * 2 / 3);
                                                       return bytes;
                                                   }},
                                         SmallFile{"HeadersWithoutScanData",
                                                   [] {
                                                       auto bytes = smallJpeg();
                                                       bytes.resize(
                                                           static_cast<std::size_t>(test::findMarker(bytes, 0xDA)));
                                                       return bytes;
                                                   }},
                                         SmallFile{"RandomBytesForData",
                                                   [] {
                                                       auto bytes = smallJpeg();
                                                       const auto scan =
                                                           static_cast<std::size_t>(test::findMarker(bytes, 0xDA)) + 14;
                                                       bytes.resize(scan);
                                                       std::uint32_t x = 12345;
                                                       for (int i = 0; i < 200000; ++i) {
                                                           x = x * 1103515245 + 12345;
                                                           bytes.push_back(static_cast<std::uint8_t>(x >> 16));
                                                       }
                                                       return bytes;
                                                   }}),
                         [](const testing::TestParamInfo<SmallFile>& row) { return std::string(row.param.name); });

} // namespace
} // namespace tamblure::batch
