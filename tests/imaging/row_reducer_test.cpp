#include "imaging/row_reducer.h"

#include "raster_helpers.h"
#include "support/whole_route.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tamblure::imaging {
namespace {

using tamblure::test::Outcome;
using tamblure::test::outcomeOf;
using test::makeRaster;
using test::samePixels;

// The rows of source, top first, as the decoder would give them: blue,
// green, red, or the grey of a picture whose three channels are equal.
Bitmap24 streamed(const Bitmap24& source, const ReductionPlan& plan, int channels)
{
    auto reducer = makeRowReducer(plan, source.width(), source.height(), channels);
    std::vector<std::uint8_t> grey(static_cast<std::size_t>(source.width()));
    for (std::int32_t y = 0; y < source.height(); ++y) {
        const std::uint8_t* row = source.scanLine(y);
        if (channels == 1) {
            for (std::size_t x = 0; x < grey.size(); ++x)
                grey[x] = row[3 * x];
            row = grey.data();
        }
        reducer->addRow(row);
    }
    return reducer->finish();
}

// Noise in every channel, or one noise in all three. Some rows and columns
// are flat black or white so that sums reach their extremes.
Bitmap24 picture(std::int32_t width, std::int32_t height, bool grey, std::mt19937& random)
{
    Bitmap24 b = makeRaster(width, height);
    std::uniform_int_distribution<int> byte(0, 255);
    for (std::int32_t y = 0; y < height; ++y) {
        std::uint8_t* p = b.scanLine(y);
        for (std::int32_t x = 0; x < width; ++x, p += 3) {
            const int flat = (x % 11 == 3 || y % 13 == 5) ? (x + y) % 2 * 255 : -1;
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<std::uint8_t>(flat >= 0 ? flat : grey && c > 0 ? p[0] : byte(random));
        }
    }
    return b;
}

struct PlanCase {
    const char* name;
    std::int32_t width, height;
    ReductionPlan plan;
};

class RowReducerPlans : public testing::TestWithParam<PlanCase> {};

TEST_P(RowReducerPlans, GiveWhatTheWholeRasterReductionGivesForColourAndGreyRows)
{
    const PlanCase& c = GetParam();
    std::mt19937 random(static_cast<std::uint32_t>(c.width * 7 + c.height));
    for (const bool grey : {false, true}) {
        SCOPED_TRACE(grey ? "grey rows" : "colour rows");
        const Bitmap24 source = picture(c.width, c.height, grey, random);
        const Outcome expected = outcomeOf([&] { return tamblure::test::reducedWhole(source, c.plan); });
        const Outcome actual = outcomeOf([&] { return streamed(source, c.plan, grey ? 1 : 3); });
        EXPECT_EQ(actual.error, expected.error);
        EXPECT_EQ(actual.raster.pixelFormat(), expected.raster.pixelFormat());
        EXPECT_TRUE(samePixels(actual.raster, expected.raster));
    }
}

ReductionPlan size(std::int32_t width, std::int32_t height)
{
    return ReductionPlan::toSize(width, height);
}

ReductionPlan factor(std::int32_t f)
{
    return ReductionPlan::byFactor(f);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RowReducerPlans,
    testing::Values(
        // Area average: exactly half, odd sides, one row, tall bands.
        PlanCase{"AreaHalf", 400, 300, size(200, 150)}, PlanCase{"AreaOdd", 401, 301, size(200, 150)},
        PlanCase{"AreaSmall", 37, 23, size(5, 3)}, PlanCase{"AreaOneRow", 1000, 7, size(10, 1)},
        PlanCase{"AreaTallBands", 5, 1000, size(2, 100)}, PlanCase{"AreaOnePixel", 999, 1, size(3, 1)},
        PlanCase{"AreaToOnePixel", 64, 64, size(1, 1)}, PlanCase{"AreaBandsOf350Rows", 6, 700, size(3, 2)},
        // Bilinear: just above half the width, odd sides, the same size, larger.
        PlanCase{"BilinearJustAboveHalf", 399, 300, size(200, 150)}, PlanCase{"BilinearOdd", 31, 17, size(20, 11)},
        PlanCase{"BilinearThreeToTwo", 3, 3, size(2, 2)}, PlanCase{"BilinearOneRow", 3, 1, size(2, 1)},
        PlanCase{"BilinearOneColumn", 1, 9, size(1, 4)}, PlanCase{"BilinearSameSize", 10, 10, size(10, 10)},
        PlanCase{"BilinearLarger", 5, 4, size(9, 7)},
        // Without rows, without columns, taller than the source.
        PlanCase{"AreaNoRow", 200, 1, size(100, 0)}, PlanCase{"BilinearNoRow", 150, 1, size(100, 0)},
        PlanCase{"NoColumn", 10, 10, size(0, 5)}, PlanCase{"AreaTallerThanSource", 40, 2, size(10, 5)},
        // Factors: whole picture, the decoder's powers of two, odd ones, limits.
        PlanCase{"Factor1", 13, 7, factor(1)}, PlanCase{"Factor2", 101, 53, factor(2)},
        PlanCase{"Factor3", 101, 53, factor(3)}, PlanCase{"Factor7", 101, 53, factor(7)},
        PlanCase{"Factor99", 200, 100, factor(99)}, PlanCase{"Factor100", 200, 100, factor(100)},
        PlanCase{"FactorWiderThanSource", 3, 20, factor(5)}, PlanCase{"FactorTallerThanSource", 20, 3, factor(5)}),
    [](const testing::TestParamInfo<PlanCase>& row) { return std::string(row.param.name); });

// A white band of 257 rows fills a 16-bit column sum exactly; one more row
// needs wider sums.
TEST(RowReducer, AveragesWhiteBandsOnEitherSideOfSixteenBitColumnSums)
{
    for (const std::int32_t rows : {257, 258, 515, 516}) {
        SCOPED_TRACE(std::to_string(rows) + " rows");
        Bitmap24 white = makeRaster(4, rows);
        test::fillBlock(white, 255);
        for (const int channels : {1, 3}) {
            const Bitmap24 reduced = streamed(white, size(2, 1), channels);
            EXPECT_TRUE(samePixels(reduced, test::pictureOf({{{255, 255, 255}, {255, 255, 255}}})));
        }
    }
}

} // namespace
} // namespace tamblure::imaging
