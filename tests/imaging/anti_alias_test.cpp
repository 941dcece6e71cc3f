#include "imaging/anti_alias.h"

#include "common/errors.h"
#include "raster_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

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
using test::Results;
using test::Rgb;
using test::samePixels;
using test::withStreamed;

using Bytes = std::vector<std::uint8_t>;

Bitmap24 reduced(const Bitmap24& source, std::int32_t factor)
{
    Bitmap24 dest = makeRaster(source.width() / factor, source.height() / factor);
    fillBlock(dest, 0xC3);
    ReduitFacteur(source, dest, factor);
    EXPECT_TRUE(paddingHolds(dest, 0xC3));
    return dest;
}

Bitmap24 averaged(const Bitmap24& source, std::int32_t width, std::int32_t height)
{
    Bitmap24 dest = makeRaster(width, height);
    fillBlock(dest, 0x3C);
    ReduitMoyenne(source, dest);
    EXPECT_TRUE(paddingHolds(dest, 0x3C));
    return dest;
}

Results reducedEveryWay(const Bitmap24& source, std::int32_t factor)
{
    return withStreamed(reduced(source, factor), source, ReductionPlan::byFactor(factor));
}

// The row reducer averages areas towards a size only from half the width
// down; above, it interpolates.
Results averagedEveryWay(const Bitmap24& source, std::int32_t width, std::int32_t height)
{
    return withStreamed(averaged(source, width, height), source, ReductionPlan::toSize(width, height),
                        source.width() >= 2 * width);
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
    EXPECT_TRUE(paddingHolds(dest, 0xEE));
    // (0+4+0+8)/4, (0+40+0+0)/4, (0+100+3+100)/4 = 50.75; then 400/4, 10/4, 29/4.
    for (const auto& [entry, result] : withStreamed(std::move(dest), source, ReductionPlan::byFactor(2)))
        EXPECT_EQ(test::rowBytes(result, 0), (Bytes{3, 10, 50, 100, 2, 7})) << entry;
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
    for (const auto& [entry, dest] : reducedEveryWay(source, c.factor))
        EXPECT_EQ(test::rowBytes(dest, 0), (Bytes{c.mean, c.mean, c.mean})) << entry;
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
        for (const auto& [entry, dest] : reducedEveryWay(source, factor))
            EXPECT_EQ(allPixelBytes(dest), Bytes(static_cast<std::size_t>(dest.width()) * 3, 173))
                << "factor " << factor << ", " << entry;
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

// --- Grids: pictures whose every block is worked out -------------------------

// Where a grid cuts a side: block i of `blocks` over `covered` pixels begins
// at covered × i div blocks (i × factor for a factor), then the end of the
// last one.
using Cuts = std::vector<std::int32_t>;

Cuts cuts(std::int32_t covered, std::int32_t blocks)
{
    Cuts starts;
    for (std::int32_t i = 0; i <= blocks; ++i)
        starts.push_back(static_cast<std::int32_t>(std::int64_t{covered} * i / blocks));
    return starts;
}

// Each block of the grid is one colour but for one pixel of another, at a
// random place in the block; what lies outside the grid is noise. Each mean
// is then worked out from its block's size alone: (colour × (pixels − 1) +
// other) div pixels. It is off when a block takes a column or a row of its
// neighbour or of the outside, leaves one of its own out, or divides wrongly.
// Grey pictures have grey colours.
void checkGrid(const Cuts& columns, const Cuts& rows, std::int32_t width, std::int32_t height, bool grey,
               std::mt19937& rng, const std::function<Results(const Bitmap24&)>& reduce)
{
    std::uniform_int_distribution<int> byte(0, 255);
    const auto draw = [&] {
        const auto blue = static_cast<std::uint8_t>(byte(rng));
        return grey ? Rgb{blue, blue, blue}
                    : Rgb{blue, static_cast<std::uint8_t>(byte(rng)), static_cast<std::uint8_t>(byte(rng))};
    };
    const auto paint = [](Bitmap24& b, std::int32_t x, std::int32_t y, const Rgb& rgb) {
        std::memcpy(b.scanLine(y) + 3 * x, rgb.data(), 3);
    };
    Bitmap24 source = makeRaster(width, height);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            paint(source, x, y, draw());
    Bitmap24 expected =
        makeRaster(static_cast<std::int32_t>(columns.size()) - 1, static_cast<std::int32_t>(rows.size()) - 1);
    for (std::size_t by = 0; by + 1 < rows.size(); ++by)
        for (std::size_t bx = 0; bx + 1 < columns.size(); ++bx) {
            const std::int32_t left = columns[bx], right = columns[bx + 1], top = rows[by], bottom = rows[by + 1];
            const Rgb colour = draw(), other = draw();
            const std::int32_t ox = std::uniform_int_distribution(left, right - 1)(rng);
            const std::int32_t oy = std::uniform_int_distribution(top, bottom - 1)(rng);
            for (std::int32_t y = top; y < bottom; ++y)
                for (std::int32_t x = left; x < right; ++x)
                    paint(source, x, y, x == ox && y == oy ? other : colour);
            const std::int64_t pixels = std::int64_t{right - left} * (bottom - top);
            Rgb mean;
            for (std::size_t c = 0; c < 3; ++c)
                mean[c] = static_cast<std::uint8_t>((colour[c] * (pixels - 1) + other[c]) / pixels);
            paint(expected, static_cast<std::int32_t>(bx), static_cast<std::int32_t>(by), mean);
        }
    for (const auto& [entry, result] : reduce(source))
        EXPECT_TRUE(samePixels(result, expected)) << entry;
}

// Random sizes and factors; factor 2 has its own path, so it gets its own
// share of the cases.
TEST(ReduitFacteur, GivesEachBlockItsOwnMeanAndLeavesTheRemaindersOut)
{
    std::mt19937 rng(20240611);
    for (int round = 0; round < 24; ++round) {
        const std::int32_t factor = round < 8 ? 2 : round == 8 ? 99 : std::uniform_int_distribution(3, 99)(rng);
        std::uniform_int_distribution<std::int32_t> side(1, std::max(1, 160 / factor)), remainder(0, factor - 1);
        const std::int32_t dw = side(rng), dh = side(rng);
        const std::int32_t width = dw * factor + remainder(rng), height = dh * factor + remainder(rng);
        SCOPED_TRACE("factor " + std::to_string(factor) + ", " + std::to_string(width) + "×" + std::to_string(height));
        checkGrid(cuts(dw * factor, dw), cuts(dh * factor, dh), width, height, round % 2 == 1, rng,
                  [&](const Bitmap24& source) { return reducedEveryWay(source, factor); });
    }
}

// --- Area average -----------------------------------------------------------

TEST(ReduitMoyenne, SharesOutTheColumnsByTheIntegerGrid)
{
    // 5 → 2: columns 0-1 and 2-4. 7 → 3: columns 0-1, 2-3 and 4-6.
    const Bitmap24 five = pictureOf({{{0, 100, 255}, {1, 103, 255}, {10, 0, 255}, {20, 0, 255}, {31, 2, 254}}});
    for (const auto& [entry, dest] : averagedEveryWay(five, 2, 1))
        EXPECT_EQ(test::rowBytes(dest, 0), (Bytes{0, 101, 255, 20, 0, 254})) << entry;

    const Bitmap24 seven = greyRow({10, 20, 30, 40, 50, 60, 71});
    for (const auto& [entry, dest] : averagedEveryWay(seven, 3, 1))
        EXPECT_EQ(test::rowBytes(dest, 0), (Bytes{15, 15, 15, 35, 35, 35, 60, 60, 60})) << entry;
}

TEST(ReduitMoyenne, TruncatesTheMeanOfABlock)
{
    const Bitmap24 nine = pictureOf({
        {{1, 255, 0}, {2, 255, 1}, {3, 255, 2}},
        {{4, 255, 3}, {5, 0, 4}, {6, 255, 5}},
        {{7, 255, 6}, {8, 255, 7}, {9, 255, 8}},
    });
    // 45 / 9, 2040 / 9 = 226.7, 36 / 9.
    for (const auto& [entry, dest] : averagedEveryWay(nine, 1, 1))
        EXPECT_EQ(test::rowBytes(dest, 0), (Bytes{5, 226, 4})) << entry;
    for (const auto& [entry, dest] : averagedEveryWay(greyRow({10, 11}), 1, 1))
        EXPECT_EQ(test::rowBytes(dest, 0), (Bytes{10, 10, 10})) << entry;
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

TEST(ReduitMoyenne, GivesEachBlockOfTheGridItsOwnMean)
{
    std::mt19937 rng(977);
    for (int round = 0; round < 24; ++round) {
        std::uniform_int_distribution<std::int32_t> sourceSide(1, 90);
        const std::int32_t sw = sourceSide(rng), sh = sourceSide(rng);
        const std::int32_t dw = std::uniform_int_distribution(1, sw)(rng);
        const std::int32_t dh = std::uniform_int_distribution(1, sh)(rng);
        SCOPED_TRACE(std::to_string(sw) + "×" + std::to_string(sh) + " → " + std::to_string(dw) + "×" +
                     std::to_string(dh));
        checkGrid(cuts(sw, dw), cuts(sh, dh), sw, sh, round % 2 == 1, rng,
                  [&](const Bitmap24& source) { return averagedEveryWay(source, dw, dh); });
    }
    // Bands of more than 257 rows need wider column sums.
    for (const auto& [dw, dh] : {std::pair{2, 3}, std::pair{1, 1}})
        checkGrid(cuts(5, dw), cuts(613, dh), 5, 613, dw == 1, rng,
                  [&](const Bitmap24& source) { return averagedEveryWay(source, dw, dh); });
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
    for (const auto& [entry, dest] : averagedEveryWay(source, 1, 1))
        EXPECT_EQ(test::rowBytes(dest, 0), (Bytes{254, 254, 254})) << entry;
    if (w == h && w < 100) {
        for (const auto& [entry, dest] : reducedEveryWay(source, w))
            EXPECT_EQ(test::rowBytes(dest, 0), (Bytes{254, 254, 254})) << entry;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, OneShortOfWhite,
                         testing::Values(std::pair{2, 1}, std::pair{3, 3}, std::pair{7, 1}, std::pair{99, 99},
                                         std::pair{1000, 257}, std::pair{30000, 250}));

// A row of blocks for every value v from 1 to 255, all their pixels v but
// the last, which is v − 1: each sum is one short of v times the block's
// pixels, where a mean that rounds, or a multiply-shift that overshoots,
// would give v instead of v − 1. Below, the same blocks all v give v.
class OneShortOfEveryValue : public testing::TestWithParam<std::pair<std::int32_t, std::int32_t>> {};

TEST_P(OneShortOfEveryValue, TruncatesEveryMeanToTheValueBelow)
{
    const auto [w, h] = GetParam();
    Bitmap24 source = makeRaster(255 * w, 2 * h);
    for (std::int32_t y = 0; y < 2 * h; ++y)
        for (std::int32_t x = 0; x < 255 * w; ++x) {
            const bool last = y == h - 1 && x % w == w - 1;
            std::fill_n(source.scanLine(y) + 3 * x, 3, static_cast<std::uint8_t>(x / w + 1 - (last ? 1 : 0)));
        }
    Bytes below, values;
    for (int v = 1; v <= 255; ++v) {
        below.insert(below.end(), 3, static_cast<std::uint8_t>(v - 1));
        values.insert(values.end(), 3, static_cast<std::uint8_t>(v));
    }
    Results results = averagedEveryWay(source, 255, 2);
    if (w == h)
        for (auto& result : reducedEveryWay(source, w))
            results.push_back(std::move(result));
    for (const auto& [entry, dest] : results) {
        EXPECT_EQ(test::rowBytes(dest, 0), below) << entry;
        EXPECT_EQ(test::rowBytes(dest, 1), values) << entry;
    }
}

// The factor-2 path, the multiply-shift at a few block sizes, blocks as tall
// as 16-bit column sums allow and one row taller.
INSTANTIATE_TEST_SUITE_P(Blocks, OneShortOfEveryValue,
                         testing::Values(std::pair{2, 2}, std::pair{3, 3}, std::pair{16, 16}, std::pair{99, 99},
                                         std::pair{7, 5}, std::pair{1, 257}, std::pair{2, 257}, std::pair{3, 258}));

TEST(ReduitMoyenne, KeepsTheValueOfAWhitePictureAveragedIntoOnePixel)
{
    // 9 million pixels of 255 pass what a 32-bit sum holds.
    Bitmap24 source = makeRaster(3000, 3000);
    fillBlock(source, 255);
    for (const auto& [entry, dest] : averagedEveryWay(source, 1, 1))
        EXPECT_EQ(test::rowBytes(dest, 0), (Bytes{255, 255, 255})) << entry;
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
