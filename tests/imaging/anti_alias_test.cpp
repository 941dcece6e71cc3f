#include "imaging/anti_alias.h"

#include "common/errors.h"
#include "raster_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <random>

namespace tamblure::imaging {
namespace {

using test::allPixelBytes;
using test::fillBlock;
using test::greyRow;
using test::makeRaster;
using test::noisePicture;
using test::paddingHolds;
using test::pictureOf;
using test::raises;
using test::samePixels;

// Obviously correct, slow: every destination channel is the sum over its
// n × n block, read by index, divided by n × n.
Bitmap24 referenceBox(const Bitmap24& source, int n, std::int32_t width, std::int32_t height)
{
    Bitmap24 dest = makeRaster(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int j = 0; j < n; ++j)
                    for (int i = 0; i < n; ++i)
                        sum += source.scanLine(y * n + j)[3 * (x * n + i) + c];
                dest.scanLine(y)[3 * x + c] = static_cast<std::uint8_t>(sum / (n * n));
            }
    return dest;
}

// Block x spans source columns sW·x/dW up to, not including, sW·(x+1)/dW.
Bitmap24 referenceArea(const Bitmap24& source, std::int32_t width, std::int32_t height)
{
    const std::int64_t sW = source.width(), sH = source.height();
    Bitmap24 dest = makeRaster(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                const auto top = sH * y / height, bottom = sH * (y + 1) / height;
                const auto left = sW * x / width, right = sW * (x + 1) / width;
                std::int64_t sum = 0;
                for (auto j = top; j < bottom; ++j)
                    for (auto i = left; i < right; ++i)
                        sum += source.scanLine(static_cast<std::int32_t>(j))[3 * i + c];
                dest.scanLine(y)[3 * x + c] = static_cast<std::uint8_t>(sum / ((bottom - top) * (right - left)));
            }
    return dest;
}

Bitmap24 reduced(const Bitmap24& source, std::int32_t factor)
{
    Bitmap24 dest = makeRaster(source.width() / factor, source.height() / factor);
    ReduitFacteur(source, dest, factor);
    return dest;
}

Bitmap24 averaged(const Bitmap24& source, std::int32_t width, std::int32_t height)
{
    Bitmap24 dest = makeRaster(width, height);
    ReduitMoyenne(source, dest);
    return dest;
}

// --- Checks -----------------------------------------------------------------

struct CheckCase {
    PixelFormat source;
    PixelFormat dest;
    std::int32_t factor;
    const char* message;
};

class ReduitFacteurChecks : public testing::TestWithParam<CheckCase> {};

TEST_P(ReduitFacteurChecks, FailInOrderBeforeTouchingDest)
{
    const CheckCase& c = GetParam();
    const Bitmap24 source = makeRaster(12, 12, c.source);
    Bitmap24 dest = makeRaster(4, 4, c.dest);
    fillBlock(dest, 0x5A);
    const auto before = std::vector<std::uint8_t>(dest.pixels(), dest.pixels() + dest.pixelBytes());
    EXPECT_TRUE(raises<EAssertionFailed>([&] { ReduitFacteur(source, dest, c.factor); }, c.message));
    EXPECT_EQ(std::vector<std::uint8_t>(dest.pixels(), dest.pixels() + dest.pixelBytes()), before);
}

constexpr auto k8 = PixelFormat::Bits8, k24 = PixelFormat::Bits24, kNone = PixelFormat::None;
constexpr const char* kLine35 = "Source au mauvais format (anti_alias, ligne 35)";
constexpr const char* kLine36 = "Destination au mauvais format (anti_alias, ligne 36)";
constexpr const char* kLine37 = "Le rapport de réduction doit être supérieur ou égal à 2 (anti_alias, ligne 37)";
constexpr const char* kLine38 = "Le rapport de réduction dépasse les limites du programme (anti_alias, ligne 38)";

INSTANTIATE_TEST_SUITE_P(Table, ReduitFacteurChecks,
                         testing::Values(CheckCase{k8, k24, 3, kLine35}, CheckCase{kNone, k8, 0, kLine35},
                                         CheckCase{k8, k8, 100, kLine35}, CheckCase{k24, k8, 3, kLine36},
                                         CheckCase{k24, kNone, 1, kLine36}, CheckCase{k24, k8, 100, kLine36},
                                         CheckCase{k24, k24, 1, kLine37}, CheckCase{k24, k24, 0, kLine37},
                                         CheckCase{k24, k24, -3, kLine37}, CheckCase{k24, k24, INT32_MIN, kLine37},
                                         CheckCase{k24, k24, 100, kLine38}, CheckCase{k24, k24, INT32_MAX, kLine38}));

TEST(ReduitMoyenne, ChecksTheSourceFormatFirstThenTheDest)
{
    const Bitmap24 good = makeRaster(6, 6);
    const Bitmap24 grey = makeRaster(6, 6, k8);
    Bitmap24 goodDest = makeRaster(3, 3);
    Bitmap24 greyDest = makeRaster(3, 3, k8);
    EXPECT_TRUE(raises<EAssertionFailed>([&] { ReduitMoyenne(grey, greyDest); },
                                         "Source au mauvais format (anti_alias, ligne 121)"));
    EXPECT_TRUE(raises<EAssertionFailed>([&] { ReduitMoyenne(grey, goodDest); },
                                         "Source au mauvais format (anti_alias, ligne 121)"));
    EXPECT_TRUE(raises<EAssertionFailed>([&] { ReduitMoyenne(good, greyDest); },
                                         "Destination au mauvais format (anti_alias, ligne 122)"));
}

// --- Integer box reduction --------------------------------------------------

TEST(ReduitFacteur, AveragesTwoByTwoBlocksAndIgnoresTheRemainders)
{
    // Column 4 and row 2 are white: they would show in any block that took them.
    const Bitmap24 source = pictureOf({
        {{0, 0, 0}, {4, 40, 100}, {200, 1, 7}, {100, 2, 7}, {255, 255, 255}},
        {{0, 0, 3}, {8, 0, 100}, {100, 3, 7}, {0, 4, 8}, {255, 255, 255}},
        {{255, 255, 255}, {255, 255, 255}, {255, 255, 255}, {255, 255, 255}, {255, 255, 255}},
    });
    Bitmap24 dest = makeRaster(2, 1);
    fillBlock(dest, 0xEE);
    ReduitFacteur(source, dest, 2);
    // (0+4+0+8)/4, (0+40+0+0)/4, (0+100+3+100)/4 = 50.75; then 400/4, 10/4, 29/4.
    EXPECT_EQ(test::rowBytes(dest, 0), (std::vector<std::uint8_t>{3, 10, 50, 100, 2, 7}));
    EXPECT_TRUE(paddingHolds(dest, 0xEE));
}

struct BlockCase {
    std::int32_t factor;
    std::vector<std::uint8_t> values; // one channel of the block, row by row
    std::uint8_t mean;
};

class BlockMean : public testing::TestWithParam<BlockCase> {};

TEST_P(BlockMean, IsTheTruncatedMeanOfTheBlock)
{
    const BlockCase& c = GetParam();
    Bitmap24 source = makeRaster(c.factor, c.factor);
    for (std::int32_t i = 0; i < c.factor * c.factor; ++i) {
        std::uint8_t* p = source.scanLine(i / c.factor) + 3 * (i % c.factor);
        p[0] = p[1] = p[2] = c.values[static_cast<std::size_t>(i)];
    }
    const Bitmap24 dest = reduced(source, c.factor);
    EXPECT_EQ(test::rowBytes(dest, 0), (std::vector<std::uint8_t>{c.mean, c.mean, c.mean}));
}

INSTANTIATE_TEST_SUITE_P(Blocks, BlockMean,
                         testing::Values(BlockCase{2, {0, 0, 0, 3}, 0}, BlockCase{2, {255, 255, 255, 255}, 255},
                                         BlockCase{2, {10, 11, 11, 11}, 10},
                                         BlockCase{3, {255, 255, 255, 255, 254, 255, 255, 255, 255}, 254}, // 2294 div 9
                                         BlockCase{3, {0, 0, 0, 0, 8, 0, 0, 0, 0}, 0}));

TEST(ReduitFacteur, KeepsAUniformPictureAsItIsForEveryFactor)
{
    for (std::int32_t factor : {2, 3, 5, 8, 99}) {
        Bitmap24 source = makeRaster(2 * factor + factor / 2, factor + 1);
        fillBlock(source, 173);
        const Bitmap24 dest = reduced(source, factor);
        EXPECT_EQ(allPixelBytes(dest), std::vector<std::uint8_t>(static_cast<std::size_t>(dest.width()) * 3, 173))
            << "factor " << factor;
    }
}

// A side shorter than the factor gives a dest without pixels (the caller
// divides the sides): nothing is read, and the dest keeps its size and block.
TEST(ReduitFacteur, AcceptsASourceSmallerThanTheFactorAndLeavesTheEmptyDestAsItIs)
{
    for (const std::int32_t factor : {2, 3, 99}) {
        for (const auto& [w, h] :
             {std::pair{factor - 1, 2 * factor + 1}, std::pair{2 * factor + 1, factor - 1}, std::pair{0, 0}}) {
            const Bitmap24 source = makeRaster(w, h);
            Bitmap24 dest = makeRaster(w / factor, h / factor);
            const std::uint8_t* block = dest.pixels();
            EXPECT_NO_THROW(ReduitFacteur(source, dest, factor)) << w << "×" << h << " by " << factor;
            EXPECT_EQ(dest.width(), w / factor);
            EXPECT_EQ(dest.height(), h / factor);
            EXPECT_EQ(dest.pixelFormat(), PixelFormat::Bits24);
            EXPECT_EQ(dest.pixels(), block);
        }
    }
}

TEST(ReduitFacteur, RefusesADestTooLargeForTheSourceBeforeWritingAnything)
{
    std::mt19937 rng(7);
    const Bitmap24 source = noisePicture(7, 6, rng);
    for (std::int32_t factor : {2, 3}) {
        Bitmap24 tooWide = makeRaster(7 / factor + 1, 1);
        Bitmap24 tooTall = makeRaster(1, 6 / factor + 1);
        fillBlock(tooWide, 0x11);
        fillBlock(tooTall, 0x11);
        EXPECT_TRUE(
            raises<EAssertionFailed>([&] { ReduitFacteur(source, tooWide, factor); },
                                     "Destination trop grande pour le rapport de réduction (anti_alias, ligne 39)"));
        EXPECT_TRUE(raises<EInvalidGraphicOperation>([&] { ReduitFacteur(source, tooTall, factor); },
                                                     "Indice ligne hors limites"));
        EXPECT_EQ(allPixelBytes(tooWide),
                  std::vector<std::uint8_t>(static_cast<std::size_t>(tooWide.width()) * 3, 0x11));
        EXPECT_EQ(allPixelBytes(tooTall),
                  std::vector<std::uint8_t>(static_cast<std::size_t>(tooTall.height()) * 3, 0x11));
    }
}

// Random pictures of random sizes, each against the plain loop. Factor 2 has
// its own unrolled path, so it gets its own share of the cases.
TEST(ReduitFacteur, MatchesThePlainBlockMeanOnNoise)
{
    std::mt19937 rng(20240611);
    for (int round = 0; round < 48; ++round) {
        const std::int32_t factor = round < 16 ? 2 : round == 16 ? 99 : std::uniform_int_distribution(3, 99)(rng);
        const std::int32_t maxSide = std::max(1, 240 / factor);
        std::uniform_int_distribution<std::int32_t> side(1, maxSide), remainder(0, factor - 1);
        const std::int32_t dw = side(rng), dh = side(rng);
        const Bitmap24 source = noisePicture(dw * factor + remainder(rng), dh * factor + remainder(rng), rng);
        Bitmap24 dest = makeRaster(dw, dh);
        fillBlock(dest, 0xC3);
        ReduitFacteur(source, dest, factor);
        EXPECT_TRUE(samePixels(dest, referenceBox(source, factor, dw, dh)))
            << "factor " << factor << ", source " << source.width() << "×" << source.height();
        EXPECT_TRUE(paddingHolds(dest, 0xC3));
    }
}

// --- Area average -----------------------------------------------------------

TEST(ReduitMoyenne, SharesOutTheColumnsByTheIntegerGrid)
{
    // 5 → 2: columns 0-1 and 2-4. 7 → 3: columns 0-1, 2-3 and 4-6.
    const Bitmap24 five = pictureOf({{{0, 100, 255}, {1, 103, 255}, {10, 0, 255}, {20, 0, 255}, {31, 2, 254}}});
    EXPECT_EQ(test::rowBytes(averaged(five, 2, 1), 0), (std::vector<std::uint8_t>{0, 101, 255, 20, 0, 254}));

    const Bitmap24 seven = greyRow({10, 20, 30, 40, 50, 60, 71});
    EXPECT_EQ(test::rowBytes(averaged(seven, 3, 1), 0),
              (std::vector<std::uint8_t>{15, 15, 15, 35, 35, 35, 60, 60, 60}));
}

TEST(ReduitMoyenne, TruncatesTheMeanOfABlock)
{
    const Bitmap24 nine = pictureOf({
        {{1, 255, 0}, {2, 255, 1}, {3, 255, 2}},
        {{4, 255, 3}, {5, 0, 4}, {6, 255, 5}},
        {{7, 255, 6}, {8, 255, 7}, {9, 255, 8}},
    });
    // 45 / 9, 2040 / 9 = 226.7, 36 / 9.
    EXPECT_EQ(test::rowBytes(averaged(nine, 1, 1), 0), (std::vector<std::uint8_t>{5, 226, 4}));
    EXPECT_EQ(test::rowBytes(averaged(greyRow({10, 11}), 1, 1), 0), (std::vector<std::uint8_t>{10, 10, 10}));
}

TEST(ReduitMoyenne, CopiesASourceOfTheSameSize)
{
    std::mt19937 rng(3);
    const Bitmap24 source = noisePicture(10, 7, rng);
    EXPECT_TRUE(samePixels(averaged(source, 10, 7), source));
}

TEST(ReduitMoyenne, EqualsTheBoxReductionWhenTheSidesDivide)
{
    std::mt19937 rng(11);
    for (int round = 0; round < 16; ++round) {
        const std::int32_t factor = round < 6 ? 2 : std::uniform_int_distribution(3, 12)(rng);
        std::uniform_int_distribution<std::int32_t> side(1, 24);
        const Bitmap24 source = noisePicture(side(rng) * factor, side(rng) * factor, rng);
        EXPECT_TRUE(
            samePixels(averaged(source, source.width() / factor, source.height() / factor), reduced(source, factor)))
            << "factor " << factor;
    }
}

TEST(ReduitMoyenne, MatchesThePlainBlockMeanOnNoise)
{
    std::mt19937 rng(977);
    for (int round = 0; round < 40; ++round) {
        std::uniform_int_distribution<std::int32_t> sourceSide(1, 90);
        const std::int32_t sw = sourceSide(rng), sh = sourceSide(rng);
        const std::int32_t dw = std::uniform_int_distribution(1, sw)(rng);
        const std::int32_t dh = std::uniform_int_distribution(1, sh)(rng);
        const Bitmap24 source = noisePicture(sw, sh, rng);
        Bitmap24 dest = makeRaster(dw, dh);
        fillBlock(dest, 0x3C);
        ReduitMoyenne(source, dest);
        EXPECT_TRUE(samePixels(dest, referenceArea(source, dw, dh))) << sw << "×" << sh << " → " << dw << "×" << dh;
        EXPECT_TRUE(paddingHolds(dest, 0x3C));
    }
}

TEST(ReduitMoyenne, TakesBandsOfMoreThanAHundredRows)
{
    std::mt19937 rng(5);
    const Bitmap24 source = noisePicture(5, 613, rng);
    EXPECT_TRUE(samePixels(averaged(source, 2, 3), referenceArea(source, 2, 3)));
    EXPECT_TRUE(samePixels(averaged(source, 1, 1), referenceArea(source, 1, 1)));
}

// White blocks with one pixel a shade darker: the sum is one short of
// 255 × pixels and the mean must truncate to 254, whatever the block's size.
class OneShortOfWhite : public testing::TestWithParam<std::pair<std::int32_t, std::int32_t>> {};

TEST_P(OneShortOfWhite, TruncatesTheMeanOfABlockOfAnySize)
{
    const auto [w, h] = GetParam();
    Bitmap24 source = makeRaster(w, h);
    fillBlock(source, 255);
    std::uint8_t* last = source.scanLine(h - 1) + 3 * (w - 1);
    last[0] = last[1] = last[2] = 254;
    EXPECT_EQ(test::rowBytes(averaged(source, 1, 1), 0), (std::vector<std::uint8_t>{254, 254, 254}));
    if (w == h && w < 100) {
        EXPECT_EQ(test::rowBytes(reduced(source, w), 0), (std::vector<std::uint8_t>{254, 254, 254}));
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, OneShortOfWhite,
                         testing::Values(std::pair{2, 1}, std::pair{3, 3}, std::pair{7, 1}, std::pair{99, 99},
                                         std::pair{1000, 257}, std::pair{30000, 250}));

TEST(ReduitMoyenne, KeepsTheValueOfAWhitePictureAveragedIntoOnePixel)
{
    // 9 million pixels of 255 pass what a 32-bit sum holds.
    Bitmap24 source = makeRaster(3000, 3000);
    fillBlock(source, 255);
    EXPECT_EQ(test::rowBytes(averaged(source, 1, 1), 0), (std::vector<std::uint8_t>{255, 255, 255}));
}

TEST(ReduitMoyenne, ReadsNothingForADestWithoutRowsOrColumns)
{
    const Bitmap24 noRows = makeRaster(5, 0);
    Bitmap24 flat = makeRaster(3, 0);
    EXPECT_NO_THROW(ReduitMoyenne(noRows, flat));
    const Bitmap24 source = makeRaster(4, 2);
    Bitmap24 narrow = makeRaster(0, 5);
    EXPECT_NO_THROW(ReduitMoyenne(source, narrow));
}

TEST(ReduitMoyenne, RefusesADestLargerThanTheSourceBeforeWritingAnything)
{
    const Bitmap24 source = makeRaster(4, 4);
    for (const auto& [w, h] : {std::pair{5, 2}, std::pair{2, 5}, std::pair{8, 8}}) {
        Bitmap24 dest = makeRaster(w, h);
        fillBlock(dest, 0x77);
        EXPECT_TRUE(raises<EAssertionFailed>([&] { ReduitMoyenne(source, dest); },
                                             "Destination plus grande que la source (anti_alias, ligne 123)"));
        EXPECT_EQ(allPixelBytes(dest), std::vector<std::uint8_t>(static_cast<std::size_t>(w * h * 3), 0x77));
    }
}

} // namespace
} // namespace tamblure::imaging
