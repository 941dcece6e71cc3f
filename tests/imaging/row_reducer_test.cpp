#include "imaging/row_reducer.h"

#include "common/errors.h"
#include "raster_helpers.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <typeinfo>
#include <vector>

namespace tamblure::imaging {
namespace {

using test::makeRaster;
using test::samePixels;
using test::streamed;

ReductionPlan size(std::int32_t width, std::int32_t height)
{
    return ReductionPlan::toSize(width, height);
}

ReductionPlan factor(std::int32_t f)
{
    return ReductionPlan::byFactor(f);
}

// A plan on a flat picture gives a flat result of exactly its size, or, for
// a plan the whole-raster operations refuse, their error, from finish() once
// every row went in.
struct PlanCase {
    const char* name;
    std::int32_t width, height;
    ReductionPlan plan;
    std::int32_t resultWidth, resultHeight;
    const std::type_info* error; // or nullptr
    const char* message;
};

class RowReducerPlans : public testing::TestWithParam<PlanCase> {};

TEST_P(RowReducerPlans, GiveAFlatResultOfTheirSizeOrTheWholeRasterError)
{
    const PlanCase& c = GetParam();
    for (const int channels : {3, 1}) {
        SCOPED_TRACE(channels == 3 ? "colour rows" : "grey rows");
        const std::vector<std::uint8_t> row =
            channels == 3 ? std::vector<std::uint8_t>(static_cast<std::size_t>(c.width) * 3, 201)
                          : std::vector<std::uint8_t>(static_cast<std::size_t>(c.width), 201);
        auto reducer = makeRowReducer(c.plan, c.width, c.height, channels);
        for (std::int32_t y = 0; y < c.height; ++y)
            ASSERT_NO_THROW(reducer->addRow(row.data()));
        try {
            const Bitmap24 result = reducer->finish();
            ASSERT_EQ(c.error, nullptr) << "no error";
            EXPECT_EQ(result.pixelFormat(), PixelFormat::Bits24);
            Bitmap24 flat = makeRaster(c.resultWidth, c.resultHeight);
            test::fillBlock(flat, 201);
            EXPECT_TRUE(samePixels(result, flat));
        } catch (const Exception& e) {
            ASSERT_NE(c.error, nullptr) << e.message();
            EXPECT_EQ(typeid(e), *c.error);
            EXPECT_EQ(e.message(), c.message);
        }
    }
}

const std::type_info* const kNoError = nullptr;

INSTANTIATE_TEST_SUITE_P(
    Table, RowReducerPlans,
    testing::Values(
        // Area average: exactly half, odd sides, one row, tall bands.
        PlanCase{"AreaHalf", 400, 300, size(200, 150), 200, 150, kNoError, ""},
        PlanCase{"AreaOdd", 401, 301, size(200, 150), 200, 150, kNoError, ""},
        PlanCase{"AreaOneRow", 1000, 7, size(10, 1), 10, 1, kNoError, ""},
        PlanCase{"AreaBandsOf350Rows", 6, 700, size(3, 2), 3, 2, kNoError, ""},
        PlanCase{"AreaToOnePixel", 64, 64, size(1, 1), 1, 1, kNoError, ""},
        // Bilinear: just above half the width, the same size, larger.
        PlanCase{"BilinearJustAboveHalf", 399, 300, size(200, 150), 200, 150, kNoError, ""},
        PlanCase{"BilinearOneColumn", 1, 9, size(1, 4), 1, 4, kNoError, ""},
        PlanCase{"BilinearSameSize", 10, 10, size(10, 10), 10, 10, kNoError, ""},
        PlanCase{"BilinearLarger", 5, 4, size(9, 7), 9, 7, kNoError, ""},
        // Without rows; without columns; below zero; taller than the source.
        PlanCase{"AreaNoRow", 200, 1, size(100, 0), 100, 0, kNoError, ""},
        PlanCase{"BilinearNoRow", 150, 1, size(100, 0), 100, 0, kNoError, ""},
        PlanCase{"NoColumn", 10, 10, size(0, 5), 0, 0, &typeid(EZeroDivide), "Division par zéro en virgule flottante"},
        PlanCase{"NegativeWidth", 10, 10, size(-3, 5), 0, 0, &typeid(EInvalidGraphicOperation),
                 "Dimensions d'image incorrectes (-3 × 5)"},
        PlanCase{"NegativeHeightWithoutColumns", 10, 10, size(0, -1), 0, 0, &typeid(EInvalidGraphicOperation),
                 "Dimensions d'image incorrectes (0 × -1)"},
        PlanCase{"AreaTallerThanSource", 40, 2, size(10, 5), 0, 0, &typeid(EAssertionFailed),
                 "Destination plus grande que la source (anti_alias, ligne 123)"},
        PlanCase{"AreaFarTooTall", 40, 2, size(10, 1 << 28), 0, 0, &typeid(EOutOfMemory),
                 "Image trop grande (10 × 268435456 pixels) : la mémoire nécessaire dépasse 1 Go"},
        // Factors: the whole picture, the decoder's powers of two, odd ones, limits.
        PlanCase{"Factor1", 13, 7, factor(1), 13, 7, kNoError, ""},
        PlanCase{"Factor2", 101, 53, factor(2), 50, 26, kNoError, ""},
        PlanCase{"Factor7", 101, 53, factor(7), 14, 7, kNoError, ""},
        PlanCase{"Factor99", 200, 100, factor(99), 2, 1, kNoError, ""},
        PlanCase{"Factor100", 200, 100, factor(100), 0, 0, &typeid(EAssertionFailed),
                 "Le rapport de réduction dépasse les limites du programme (anti_alias, ligne 38)"},
        PlanCase{"FactorWiderThanSource", 3, 20, factor(5), 0, 4, kNoError, ""},
        PlanCase{"FactorTallerThanSource", 20, 3, factor(5), 4, 0, kNoError, ""}),
    [](const testing::TestParamInfo<PlanCase>& row) { return std::string(row.param.name); });

TEST(RowReducer, KeepsThePictureWholeForAFactorOfOneAndWidensGreyRows)
{
    std::mt19937 rng(13);
    const Bitmap24 source = test::noisePicture(13, 7, rng);
    EXPECT_TRUE(samePixels(streamed(source, factor(1), 3), source));
    Bitmap24 grey = makeRaster(13, 7);
    for (std::int32_t y = 0; y < 7; ++y)
        for (std::int32_t i = 0; i < 3 * 13; ++i)
            grey.scanLine(y)[i] = source.scanLine(y)[i - i % 3];
    EXPECT_TRUE(samePixels(streamed(source, factor(1), 1), grey));
}

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
