#include "imaging/bilinear.h"

#include "common/errors.h"
#include "raster_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace tamblure::imaging {
namespace {

using test::fillBlock;
using test::greyRow;
using test::makeRaster;
using test::noisePicture;
using test::paddingHolds;
using test::pictureOf;
using test::raises;
using test::rowBytes;
using test::samePixels;

using Bytes = std::vector<std::uint8_t>;

Bytes grey(std::initializer_list<std::uint8_t> values)
{
    Bytes bytes;
    for (const std::uint8_t v : values)
        bytes.insert(bytes.end(), {v, v, v});
    return bytes;
}

Bitmap24 interpolated(const Bitmap24& source, std::int32_t width, std::int32_t height,
                      PixelFormat format = PixelFormat::Bits24)
{
    Bitmap24 dest = makeRaster(width, height, format);
    ReduitBilineaire(source, dest);
    return dest;
}

// Obviously correct, slow: each destination pixel works out its own sample
// point, weights and neighbours, and reads them by index.
Bitmap24 referenceBilinear(const Bitmap24& source, std::int32_t width, std::int32_t height)
{
    const std::int32_t sW = source.width(), sH = source.height();
    Bitmap24 dest = makeRaster(width, height);
    for (std::int32_t yd = 0; yd < height; ++yd)
        for (std::int32_t xd = 0; xd < width; ++xd) {
            const auto sx = static_cast<double>(static_cast<long double>(xd) / width * sW);
            const auto sy = static_cast<double>(static_cast<long double>(yd) / height * sH);
            const int ix = static_cast<int>(std::trunc(sx)), iy = static_cast<int>(std::trunc(sy));
            const auto wx = static_cast<unsigned>(std::nearbyint((sx - ix) * 256));
            const auto wy = static_cast<unsigned>(std::nearbyint((sy - iy) * 256));
            const int ix1 = std::min(ix + 1, sW - 1), iy1 = std::min(iy + 1, sH - 1);
            for (int c = 0; c < 3; ++c) {
                const unsigned ul = source.scanLine(iy)[3 * ix + c], ur = source.scanLine(iy)[3 * ix1 + c];
                const unsigned ll = source.scanLine(iy1)[3 * ix + c], lr = source.scanLine(iy1)[3 * ix1 + c];
                const unsigned v =
                    ul * (256 - wx) * (256 - wy) + ur * wx * (256 - wy) + ll * (256 - wx) * wy + lr * wx * wy;
                dest.scanLine(yd)[3 * xd + c] = static_cast<std::uint8_t>(v >> 16);
            }
        }
    return dest;
}

TEST(ReduitBilineaire, TakesTheTruncatedMeanHalfWayBetweenTwoPixels)
{
    // 3 → 2: pixel 1 samples 1.5, weight 128.
    const Bitmap24 source = pictureOf({{{10, 20, 30}, {100, 0, 255}, {201, 255, 0}}});
    EXPECT_EQ(rowBytes(interpolated(source, 2, 1), 0), (Bytes{10, 20, 30, 150, 127, 127}));
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
    const Bitmap24 dest = interpolated(source, 512, 1);
    const std::uint8_t* row = dest.scanLine(0);
    EXPECT_EQ(row[3 * 1], 255); // weight 0.5 → 0
    EXPECT_EQ(row[3 * 3], 253); // weight 1.5 → 2
    EXPECT_EQ(row[3 * 5], 253); // weight 2.5 → 2
    EXPECT_EQ(row[3 * 7], 251); // weight 3.5 → 4
}

TEST(ReduitBilineaire, KeepsExactTiesThatDoublePrecisionWouldMiss)
{
    // 777 → 1536: pixel 7 samples 7 × 777 / 1536 = 3 + 138.5/256 exactly, a
    // tie that rounds to weight 138; in double arithmetic the point lands just
    // above and the weight becomes 139. Column 3 white, column 4 black: the
    // result is 255 × (256 − w) / 256 truncated, 117 for 138 (116 for 139).
    Bitmap24 source = makeRaster(777, 1);
    std::fill_n(source.scanLine(0) + 3 * 3, 3, std::uint8_t{255});
    EXPECT_EQ(rowBytes(interpolated(source, 1536, 1), 0)[3 * 7], 117);
}

TEST(ReduitBilineaire, ReusesTheOnlyRowOfAOneRowSource)
{
    // 5 → 3 samples 0, 5/3 and 10/3: weights 0, 171 and 85; every row alike.
    const Bitmap24 dest = interpolated(greyRow({7, 0, 255, 100, 200}), 3, 4);
    for (std::int32_t y = 0; y < 4; ++y)
        EXPECT_EQ(rowBytes(dest, y), grey({7, 170, 133})) << "row " << y;
}

TEST(ReduitBilineaire, CopiesASourceOfTheSameSize)
{
    std::mt19937 rng(10);
    const Bitmap24 source = noisePicture(10, 10, rng);
    EXPECT_TRUE(samePixels(interpolated(source, 10, 10), source));
}

TEST(ReduitBilineaire, MatchesThePlainInterpolationOnNoise)
{
    std::mt19937 rng(4242);
    for (int round = 0; round < 40; ++round) {
        std::uniform_int_distribution<std::int32_t> side(1, 80);
        const std::int32_t sw = side(rng), sh = side(rng), dw = side(rng), dh = side(rng);
        const Bitmap24 source = noisePicture(sw, sh, rng);
        Bitmap24 dest = makeRaster(dw, dh);
        fillBlock(dest, 0x96);
        ReduitBilineaire(source, dest);
        EXPECT_TRUE(samePixels(dest, referenceBilinear(source, dw, dh))) << sw << "×" << sh << " → " << dw << "×" << dh;
        EXPECT_TRUE(paddingHolds(dest, 0x96));
    }
    const Bitmap24 wide = noisePicture(513, 3, rng);
    EXPECT_TRUE(samePixels(interpolated(wide, 512, 2), referenceBilinear(wide, 512, 2)));
}

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
    const Bitmap24 dest = interpolated(greyRow({6, 2}), 4, 2);
    EXPECT_EQ(rowBytes(dest, 0), grey({6, 4, 2, 2}));
    EXPECT_EQ(rowBytes(dest, 1), grey({6, 4, 2, 2}));
}

} // namespace
} // namespace tamblure::imaging
