// CMYK photographs that carry a CMYK profile, turned into sRGB through it,
// held to jpgicc (LittleCMS's own tool) rendering the same files.

#include "jpeg/streamed_decode.h"

#include "imaging/raster_helpers.h"
#include "sample_files.h"
#include "support/test_support.h"
#include "support/whole_route.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace tamblure::jpeg {
namespace {

using imaging::Bitmap24;
using imaging::ReductionPlan;
using test::SampleLayout;
using Bytes = std::vector<std::uint8_t>;

Bitmap24 oursReduced(const Bytes& file, const ReductionPlan& plan)
{
    return DecodeJpegFullSizeReduced(file, plan).raster;
}

// jpgicc's sRGB rendering of the file (through its embedded profile,
// perceptual), reduced as the plan says.
Bitmap24 jpgiccReduced(const Bytes& file, const ReductionPlan& plan)
{
    test::TempDir dir;
    test::writeFile(dir / "cmyk.jpg", file);
    test::runJpgicc("", dir / "cmyk.jpg", dir / "srgb.jpg");
    return test::reducedWhole(test::libjpegFullSize(test::readFile(dir / "srgb.jpg")), plan);
}

Bytes inks(SampleLayout layout, const Bytes& profile)
{
    std::mt19937 random(11);
    test::SampleOptions options;
    options.quality = 95;
    options.iccProfile = profile;
    return test::encodeSamples(test::randomSamples(240, 160, 4, random), 240, 160, layout, options);
}

class CmykWithProfile : public testing::TestWithParam<SampleLayout> {};

TEST_P(CmykWithProfile, AgreesWithJpgiccWithinAMeanDeltaEOf2)
{
    const Bytes profiled = inks(GetParam(), test::readFile(test::cmykProfilePath()));
    const ReductionPlan plan = ReductionPlan::byFactor(8);
    const Bitmap24 reference = jpgiccReduced(profiled, plan);
    const double throughProfile = test::meanDeltaE(oursReduced(profiled, plan), reference);
    RecordProperty("meanDeltaE", std::to_string(throughProfile));
    EXPECT_LT(throughProfile, 2.0);
    // The plain formula misses by far more: the profile was used.
    EXPECT_GT(test::meanDeltaE(oursReduced(inks(GetParam(), {}), plan), reference), 6.0);
}

INSTANTIATE_TEST_SUITE_P(Layouts, CmykWithProfile,
                         testing::Values(SampleLayout::AdobeCmyk, SampleLayout::PlainCmyk, SampleLayout::AdobeYcck),
                         [](const testing::TestParamInfo<SampleLayout>& row) {
                             return std::string(row.param == SampleLayout::AdobeCmyk   ? "AdobeCmyk"
                                                : row.param == SampleLayout::PlainCmyk ? "PlainCmyk"
                                                                                       : "AdobeYcck");
                         });

struct UnusableProfileCase {
    const char* name;
    Bytes (*profile)();
};

class CmykWithUnusableProfile : public testing::TestWithParam<UnusableProfileCase> {};

TEST_P(CmykWithUnusableProfile, IsTurnedIntoColourByThePlainFormula)
{
    const ReductionPlan plan = ReductionPlan::toSize(60, 40);
    const Bitmap24 plain = oursReduced(inks(SampleLayout::AdobeCmyk, {}), plan);
    EXPECT_TRUE(
        imaging::test::samePixels(oursReduced(inks(SampleLayout::AdobeCmyk, GetParam().profile()), plan), plain));
}

INSTANTIATE_TEST_SUITE_P(Profiles, CmykWithUnusableProfile,
                         testing::Values(UnusableProfileCase{"AnRgbProfile",
                                                             [] {
                                                                 const auto folder =
                                                                     test::cmykProfilePath().parent_path();
                                                                 return test::readFile(folder / "default_rgb.icc");
                                                             }},
                                         UnusableProfileCase{"BytesThatAreNoProfile", [] { return Bytes(600, 0x5A); }}),
                         [](const testing::TestParamInfo<UnusableProfileCase>& row) {
                             return std::string(row.param.name);
                         });

// Camera photographs turned into CMYK with the profile embedded, as a
// prepress tool leaves them, and their thumbnails under "Dimension maximale"
// 200.
TEST(CmykPhotographsWithProfile, AgreeWithJpgiccWithinAMeanDeltaEOf2)
{
    TAMBLURE_REQUIRE_CORPUS();
    const auto photographs = test::corpusPhotographs();
    test::TempDir dir;
    double worst = 0;
    for (std::size_t i = 0; i < photographs.size(); i += 4) {
        SCOPED_TRACE(photographs[i].string());
        test::runJpgicc("-o'" + test::cmykProfilePath().string() + "' -e", photographs[i], dir / "cmyk.jpg");
        const Bytes file = test::readFile(dir / "cmyk.jpg");
        const Bitmap24 whole = test::libjpegFullSize(file);
        const int largest = std::max(whole.width(), whole.height());
        const ReductionPlan plan = ReductionPlan::toSize(whole.width() * 200 / largest, whole.height() * 200 / largest);
        const double deltaE = test::meanDeltaE(oursReduced(file, plan), jpgiccReduced(file, plan));
        EXPECT_LT(deltaE, 2.0);
        worst = std::max(worst, deltaE);
    }
    RecordProperty("worstMeanDeltaE", std::to_string(worst));
}

} // namespace
} // namespace tamblure::jpeg
