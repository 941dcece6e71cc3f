#include "imaging/bilinear.h"

#include "common/errors.h"
#include "raster_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <utility>

namespace tamblure::imaging {
namespace {

using test::fillBlock;
using test::greyRow;
using test::makeRaster;
using test::paddingHolds;
using test::pictureOf;
using test::raises;
using test::Results;
using test::rowBytes;
using test::samePixels;
using test::withStreamed;

using Bytes = std::vector<std::uint8_t>;

Bytes grey(std::initializer_list<std::uint8_t> values)
{
    Bytes bytes;
    for (const std::uint8_t v : values)
        bytes.insert(bytes.end(), 3, v);
    return bytes;
}

Bitmap24 interpolated(const Bitmap24& source, std::int32_t width, std::int32_t height,
                      PixelFormat format = PixelFormat::Bits24)
{
    Bitmap24 dest = makeRaster(width, height, format);
    fillBlock(dest, 0x96);
    ReduitBilineaire(source, dest);
    EXPECT_TRUE(paddingHolds(dest, 0x96));
    return dest;
}

// ReduitBilineaire's result, and the row reducer's towards the same size when
// it interpolates too (the source less than twice as wide).
Results interpolatedEveryWay(const Bitmap24& source, std::int32_t width, std::int32_t height)
{
    return withStreamed(interpolated(source, width, height), source, ReductionPlan::toSize(width, height),
                        source.width() < 2 * width);
}

Bitmap24 picture(std::int32_t width, std::int32_t height, bool grey, int top, std::mt19937& rng)
{
    Bitmap24 b = makeRaster(width, height);
    std::uniform_int_distribution<int> value(0, top);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t i = 0; i < 3 * width; ++i)
            b.scanLine(y)[i] = static_cast<std::uint8_t>(grey && i % 3 > 0 ? b.scanLine(y)[i - 1] : value(rng));
    return b;
}

TEST(ReduitBilineaire, TakesTheTruncatedMeanHalfWayBetweenTwoPixels)
{
    // 3 → 2: pixel 1 samples 1.5, weight 128.
    const Bitmap24 source = pictureOf({{{10, 20, 30}, {100, 0, 255}, {201, 255, 0}}});
    for (const auto& [entry, dest] : interpolatedEveryWay(source, 2, 1))
        EXPECT_EQ(rowBytes(dest, 0), (Bytes{10, 20, 30, 150, 127, 127})) << entry;
}

TEST(ReduitBilineaire, RoundsColumnWeightsHalfToEven)
{
    // 513 → 512: pixel n samples n + n/512, a weight of n/2 in 1/256. Left
    // neighbours white, right ones black: the result is 255 × (256 − w) / 256
    // truncated: weights 0, 1, 2, 3 and 4 give 255, 254, 253, 252 and 251.
    Bitmap24 source = makeRaster(513, 1);
    for (std::int32_t x = 0; x < 513; ++x) {
        std::uint8_t* p = source.scanLine(0) + 3 * x;
        p[0] = p[1] = p[2] = x % 2 == 1 ? 255 : 0;
    }
    for (const auto& [entry, dest] : interpolatedEveryWay(source, 512, 1)) {
        const std::uint8_t* row = dest.scanLine(0);
        EXPECT_EQ(row[3 * 1], 255) << entry; // weight 0.5 → 0
        EXPECT_EQ(row[3 * 3], 253) << entry; // weight 1.5 → 2
        EXPECT_EQ(row[3 * 5], 253) << entry; // weight 2.5 → 2
        EXPECT_EQ(row[3 * 7], 251) << entry; // weight 3.5 → 4
    }
}

TEST(ReduitBilineaire, KeepsExactTiesThatDoublePrecisionWouldMiss)
{
    // 777 → 1536: pixel 7 samples 7 × 777 / 1536 = 3 + 138.5/256 exactly, a
    // tie that rounds to weight 138; in double arithmetic the point lands just
    // above and the weight becomes 139. Column 3 white, column 4 black: the
    // result is 255 × (256 − w) / 256 truncated, 117 for 138 (116 for 139).
    Bitmap24 source = makeRaster(777, 1);
    std::fill_n(source.scanLine(0) + 3 * 3, 3, std::uint8_t{255});
    for (const auto& [entry, dest] : interpolatedEveryWay(source, 1536, 1))
        EXPECT_EQ(rowBytes(dest, 0)[3 * 7], 117) << entry;
}

TEST(ReduitBilineaire, ReusesTheOnlyRowOfAOneRowSource)
{
    // 5 → 3 samples 0, 5/3 and 10/3: weights 0, 171 and 85; every row alike.
    for (const auto& [entry, dest] : interpolatedEveryWay(greyRow({7, 0, 255, 100, 200}), 3, 4))
        for (std::int32_t y = 0; y < 4; ++y)
            EXPECT_EQ(rowBytes(dest, y), grey({7, 170, 133})) << entry << ", row " << y;
}

TEST(ReduitBilineaire, CopiesASourceOfTheSameSize)
{
    std::mt19937 rng(10);
    for (const bool grey : {false, true}) {
        const Bitmap24 source = picture(10, 10, grey, 255, rng);
        for (const auto& [entry, dest] : interpolatedEveryWay(source, 10, 10))
            EXPECT_TRUE(samePixels(dest, source)) << entry;
    }
}

// Sides whose sample points all fall on a pixel or half-way between two
// (weight 0 or 128): at twice the size, pixel i samples i / 2; at two thirds,
// 2m samples 3m and 2m + 1 samples 3m + 1.5; at a quarter, i samples 4i and
// the rows between are not needed. Each result is then a source pixel or the
// truncated mean of two or four: the first pixel of a side, and the next one
// when half-way, the last standing in for its missing neighbour.
std::pair<std::int32_t, std::int32_t> halfWayTap(std::int32_t i, std::int32_t dest, std::int32_t source)
{
    const std::int32_t twice = 2 * i * source / dest;
    return {twice / 2, twice % 2 == 1 ? std::min(twice / 2 + 1, source - 1) : twice / 2};
}

struct Multiples {
    std::int32_t sourceX, destX, sourceY, destY;
};

class HalfWaySamples : public testing::TestWithParam<Multiples> {};

TEST_P(HalfWaySamples, AreSourcePixelsOrTheTruncatedMeansOfTheirNeighbours)
{
    const Multiples m = GetParam();
    std::mt19937 rng(static_cast<std::uint32_t>(m.sourceX * 10 + m.sourceY));
    for (int round = 0; round < 12; ++round) {
        std::uniform_int_distribution<std::int32_t> multiple(1, 20);
        const std::int32_t kx = multiple(rng), ky = multiple(rng);
        const std::int32_t sw = kx * m.sourceX, sh = ky * m.sourceY, dw = kx * m.destX, dh = ky * m.destY;
        const Bitmap24 source = picture(sw, sh, round % 2 == 1, 255, rng);
        Bitmap24 expected = makeRaster(dw, dh);
        for (std::int32_t y = 0; y < dh; ++y)
            for (std::int32_t x = 0; x < dw; ++x) {
                const auto [left, right] = halfWayTap(x, dw, sw);
                const auto [upper, lower] = halfWayTap(y, dh, sh);
                for (std::int32_t c = 0; c < 3; ++c) {
                    const auto at = [&](std::int32_t i, std::int32_t j) { return source.scanLine(j)[3 * i + c]; };
                    const int sum = at(left, upper) + at(right, upper) + at(left, lower) + at(right, lower);
                    expected.scanLine(y)[3 * x + c] = static_cast<std::uint8_t>(sum >> 2);
                }
            }
        for (const auto& [entry, dest] : interpolatedEveryWay(source, dw, dh))
            EXPECT_TRUE(samePixels(dest, expected)) << sw << "×" << sh << " → " << dw << "×" << dh << ", " << entry;
    }
}

INSTANTIATE_TEST_SUITE_P(Ratios, HalfWaySamples,
                         testing::Values(Multiples{1, 2, 1, 2}, Multiples{3, 2, 3, 2}, Multiples{3, 2, 4, 1}));

TEST(ReduitBilineaire, FailsOnADestWithoutColumnsBeforeWritingAnything)
{
    for (const PixelFormat format : {PixelFormat::Bits24, PixelFormat::Bits8}) {
        const Bitmap24 source = makeRaster(10, 10, format);
        const Bitmap24 noColumns = makeRaster(0, 10, format);
        Bitmap24 dest = makeRaster(0, 4);
        EXPECT_TRUE(
            raises<EZeroDivide>([&] { ReduitBilineaire(source, dest); }, "Division par zéro en virgule flottante"));
        EXPECT_TRUE(raises<EInvalidOp>([&] { ReduitBilineaire(noColumns, dest); },
                                       "Opération en virgule flottante incorrecte"));
    }
}

// Without rows there is nothing to sample: even a source without pixels,
// which the fixed-point path refuses, is not looked at.
TEST(ReduitBilineaire, ReturnsAtOnceForADestWithoutRowsWhateverTheSource)
{
    for (const PixelFormat format : {PixelFormat::Bits24, PixelFormat::Bits8}) {
        for (const auto& [w, h] : {std::pair{0, 0}, std::pair{4, 0}, std::pair{3, 3}}) {
            const Bitmap24 source = makeRaster(w, h, format);
            Bitmap24 dest = makeRaster(5, 0, format);
            EXPECT_NO_THROW(ReduitBilineaire(source, dest)) << w << "×" << h;
            EXPECT_EQ(dest.width(), 5);
            EXPECT_EQ(dest.height(), 0);
            EXPECT_EQ(dest.pixelFormat(), format);
        }
    }
}

TEST(ReduitBilineaire, FailsOnASourceWithoutPixelsBeforeWritingAnything)
{
    for (const auto& [w, h] : {std::pair{4, 0}, std::pair{0, 4}}) {
        const Bitmap24 source = makeRaster(w, h);
        Bitmap24 dest = makeRaster(2, 2);
        fillBlock(dest, 0x42);
        EXPECT_TRUE(
            raises<EInvalidGraphicOperation>([&] { ReduitBilineaire(source, dest); }, "Indice ligne hors limites"));
        EXPECT_EQ(test::allPixelBytes(dest), Bytes(12, 0x42));
    }
}

// The grey picture 6, 2 (one row) brought to 4 × 2. The accessor path reads
// the positions past the right and bottom edges as 255 and rounds half to
// even; the fixed-point path reuses the last column and row instead.
class AccessorPath : public testing::TestWithParam<std::pair<PixelFormat, PixelFormat>> {};

TEST_P(AccessorPath, ReadsOutsidePositionsAsWhiteAndRoundsHalfToEven)
{
    const auto [sourceFormat, destFormat] = GetParam();
    Bitmap24 source = makeRaster(2, 1, sourceFormat);
    source.setPixel(0, 0, 0x060606);
    source.setPixel(1, 0, 0x020202);
    const Bitmap24 dest = interpolated(source, 4, 2, destFormat);
    // Row 0: 6, (6 + 2) / 2, 2, (2 + 255) / 2 = 128.5 → 128.
    // Row 1, half-way to the white row below: (6 + 255) / 2 = 130.5 → 130,
    // (6 + 2 + 255 + 255) / 4 = 129.5 → 130, 128.5 → 128, (2 + 3 × 255) / 4 = 191.75 → 192.
    const std::uint32_t expected[2][4] = {{6, 4, 2, 128}, {130, 130, 128, 192}};
    for (std::int32_t y = 0; y < 2; ++y)
        for (std::int32_t x = 0; x < 4; ++x)
            EXPECT_EQ(dest.pixel(x, y), expected[y][x] * 0x010101u) << x << ", " << y;
}

INSTANTIATE_TEST_SUITE_P(Formats, AccessorPath,
                         testing::Values(std::pair{PixelFormat::Bits8, PixelFormat::Bits24},
                                         std::pair{PixelFormat::Bits24, PixelFormat::Bits8},
                                         std::pair{PixelFormat::Bits8, PixelFormat::Bits8}));

TEST(ReduitBilineaire, FixedPointPathReusesTheLastColumnAndRowInstead)
{
    for (const auto& [entry, dest] : interpolatedEveryWay(greyRow({6, 2}), 4, 2)) {
        EXPECT_EQ(rowBytes(dest, 0), grey({6, 4, 2, 2})) << entry;
        EXPECT_EQ(rowBytes(dest, 1), grey({6, 4, 2, 2})) << entry;
    }
}

} // namespace
} // namespace tamblure::imaging
