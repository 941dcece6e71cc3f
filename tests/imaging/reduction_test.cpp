#include "imaging/reduction.h"

#include "common/errors.h"
#include "imaging/anti_alias.h"
#include "imaging/bilinear.h"
#include "raster_helpers.h"

#include <gtest/gtest.h>

#include <random>

namespace tamblure::imaging {
namespace {

using test::makeRaster;
using test::noisePicture;
using test::raises;
using test::samePixels;

struct Method {
    Bitmap24 taille, moyenne, bilineaire;
};

Method eachMethod(const Bitmap24& source, std::int32_t width, std::int32_t height)
{
    Method m{makeRaster(width, height), makeRaster(width, height), makeRaster(width, height)};
    ReduitTaille(source, m.taille);
    ReduitMoyenne(source, m.moyenne);
    ReduitBilineaire(source, m.bilineaire);
    // Otherwise the picture could not tell which method ran.
    EXPECT_FALSE(samePixels(m.moyenne, m.bilineaire));
    return m;
}

TEST(ReduitTaille, AveragesAreasFromHalfTheWidthDown)
{
    std::mt19937 rng(400);
    const Method at2 = eachMethod(noisePicture(400, 30, rng), 200, 15);
    EXPECT_TRUE(samePixels(at2.taille, at2.moyenne));
    const Method at3 = eachMethod(noisePicture(31, 9, rng), 10, 3);
    EXPECT_TRUE(samePixels(at3.taille, at3.moyenne));
}

TEST(ReduitTaille, InterpolatesAboveHalfTheWidthWhateverTheHeights)
{
    std::mt19937 rng(399);
    const Method justAbove = eachMethod(noisePicture(399, 30, rng), 200, 15);
    EXPECT_TRUE(samePixels(justAbove.taille, justAbove.bilineaire));
    // A height ratio of 10 does not make it an area average.
    const Method tall = eachMethod(noisePicture(30, 100, rng), 20, 10);
    EXPECT_TRUE(samePixels(tall.taille, tall.bilineaire));
}

TEST(ReduitTaille, AppliesTheFormatChecksOnlyToTheAreaAverage)
{
    const Bitmap24 grey400 = makeRaster(400, 4, PixelFormat::Bits8);
    const Bitmap24 grey399 = makeRaster(399, 4, PixelFormat::Bits8);
    const Bitmap24 colour400 = makeRaster(400, 4);
    Bitmap24 colourDest = makeRaster(200, 2);
    Bitmap24 greyDest = makeRaster(200, 2, PixelFormat::Bits8);
    EXPECT_TRUE(raises<EAssertionFailed>([&] { ReduitTaille(grey400, colourDest); },
                                         "Source au mauvais format (anti_alias, ligne 121)"));
    EXPECT_TRUE(raises<EAssertionFailed>([&] { ReduitTaille(colour400, greyDest); },
                                         "Destination au mauvais format (anti_alias, ligne 122)"));
    EXPECT_NO_THROW(ReduitTaille(grey399, colourDest));
}

TEST(ReduitTaille, FailsOnADestWithoutColumns)
{
    const Bitmap24 source = makeRaster(7, 3);
    const Bitmap24 noColumns = makeRaster(0, 3);
    Bitmap24 dest = makeRaster(0, 1);
    EXPECT_TRUE(raises<EZeroDivide>([&] { ReduitTaille(source, dest); }, "Division par zéro en virgule flottante"));
    EXPECT_TRUE(
        raises<EInvalidOp>([&] { ReduitTaille(noColumns, dest); }, "Opération en virgule flottante incorrecte"));
}

} // namespace
} // namespace tamblure::imaging
