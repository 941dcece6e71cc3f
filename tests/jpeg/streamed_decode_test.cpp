#include "jpeg/streamed_decode.h"

#include "imaging/raster_helpers.h"
#include "jpeg/JPEG_IO.h"
#include "jpeg/jpeg_image.h"
#include "sample_files.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"
#include "support/whole_route.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace tamblure::jpeg {
namespace {

namespace fs = std::filesystem;
using imaging::Bitmap24;
using imaging::ReductionPlan;
using test::SampleLayout;
using Bytes = std::vector<std::uint8_t>;
using test::Outcome;
using test::outcomeOf;

// Each plan's thumbnail, or error, on both routes.
void expectSameOutcomes(const fs::path& path, const std::vector<ReductionPlan>& plans)
{
    const Outcome decoded = outcomeOf([&] {
        Bitmap24 raster;
        DecodeJpegFullSize(raster, path);
        return raster;
    });
    for (const ReductionPlan& plan : plans) {
        SCOPED_TRACE(plan.kind == ReductionPlan::Kind::ToSize
                         ? "size " + std::to_string(plan.width) + "×" + std::to_string(plan.height)
                         : "factor " + std::to_string(plan.factor));
        const Outcome expected = decoded.error.empty()
                                     ? outcomeOf([&] { return test::reducedWhole(decoded.raster, plan); })
                                     : Outcome{{}, decoded.error};
        const Outcome actual = outcomeOf([&] { return DecodeJpegFullSizeReduced(path, plan); });
        EXPECT_EQ(actual.error, expected.error);
        EXPECT_EQ(actual.raster.pixelFormat(), expected.raster.pixelFormat());
        EXPECT_TRUE(imaging::test::samePixels(actual.raster, expected.raster));
    }
}

// The plans the step makes of a picture of this size: "Dimension maximale"
// with limits that reach the area average (down to half the width and
// below) and the bilinear interpolation (above half), and "Facteur de
// réduction" with the whole picture, the decoder's power of two and odd
// factors.
std::vector<ReductionPlan> stepPlans(int width, int height)
{
    std::vector<ReductionPlan> plans;
    const int largest = std::max(width, height);
    for (const int limit : {1, 7, 50, largest / 2, largest / 2 + 1, largest - 1}) {
        if (limit < 1 || limit >= largest)
            continue;
        plans.push_back(ReductionPlan::toSize(static_cast<std::int32_t>(std::int64_t{width} * limit / largest),
                                              static_cast<std::int32_t>(std::int64_t{height} * limit / largest)));
    }
    for (const int factor : {1, 2, 3, 7})
        plans.push_back(ReductionPlan::byFactor(factor));
    return plans;
}

struct PictureCase {
    const char* name;
    SampleLayout layout;
    int width, height;
    test::SampleOptions options;
};

class StreamedRoute : public testing::TestWithParam<PictureCase> {};

TEST_P(StreamedRoute, GivesTheWholePictureRoutesThumbnailForEveryPlanOfTheStep)
{
    const PictureCase& c = GetParam();
    std::mt19937 random(static_cast<std::uint32_t>(c.width * 31 + c.height));
    const int components = c.layout == SampleLayout::Grey ? 1 : c.layout == SampleLayout::Rgb ? 3 : 4;
    const Bytes samples = test::randomSamples(c.width, c.height, components, random);
    test::TempDir dir;
    test::writeFile(dir / "p.jpg", test::encodeSamples(samples, c.width, c.height, c.layout, c.options));
    expectSameOutcomes(dir / "p.jpg", stepPlans(c.width, c.height));
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, StreamedRoute,
    testing::Values(PictureCase{"Grey", SampleLayout::Grey, 401, 299, {}},
                    PictureCase{"GreyTall", SampleLayout::Grey, 123, 1001, {.quality = 100}},
                    PictureCase{"GreySmall", SampleLayout::Grey, 37, 23, {.quality = 75}},
                    PictureCase{"GreyOneColumn", SampleLayout::Grey, 1, 57, {}},
                    PictureCase{"GreyOneRow", SampleLayout::Grey, 57, 1, {}},
                    PictureCase{"GreyProgressive", SampleLayout::Grey, 640, 480, {.progressive = true}},
                    PictureCase{"GreyArithmetic", SampleLayout::Grey, 203, 151, {.arithmetic = true}},
                    PictureCase{"AdobeCmyk", SampleLayout::AdobeCmyk, 301, 203, {}},
                    PictureCase{"PlainCmyk", SampleLayout::PlainCmyk, 97, 131, {}},
                    PictureCase{"AdobeYcck", SampleLayout::AdobeYcck, 255, 77, {.progressive = true}},
                    PictureCase{"CmykOneColumn", SampleLayout::AdobeCmyk, 1, 33, {}},
                    // An arithmetic colour file has no frame header the probe
                    // knows, so the step sends it here too.
                    PictureCase{"ArithmeticColour", SampleLayout::Rgb, 99, 67, {.arithmetic = true}}),
    [](const testing::TestParamInfo<PictureCase>& row) { return std::string(row.param.name); });

class StreamedRouteOnCorpus : public testing::TestWithParam<SampleLayout> {};

// Real photographs, turned grey or into Adobe inks; the area average, the
// bilinear interpolation and an odd factor for each (the generated pictures
// above take every plan).
TEST_P(StreamedRouteOnCorpus, GivesTheWholePictureRoutesThumbnails)
{
    TAMBLURE_REQUIRE_CORPUS();
    const SampleLayout layout = GetParam();
    test::TempDir dir;
    for (const auto& photo : test::corpusPhotographs()) {
        SCOPED_TRACE(photo.string());
        Bitmap24 colour;
        ASSERT_TRUE(DecodeJpegFile(&colour, photo, true, 0));
        const int width = colour.width(), height = colour.height();
        Bytes samples;
        for (std::int32_t y = 0; y < height; ++y) {
            const std::uint8_t* p = colour.scanLine(y);
            for (std::int32_t x = 0; x < width; ++x, p += 3) {
                const int blue = p[0], green = p[1], red = p[2];
                if (layout == SampleLayout::Grey) {
                    samples.push_back(static_cast<std::uint8_t>((red * 299 + green * 587 + blue * 114) / 1000));
                    continue;
                }
                const int black = 255 - std::max({red, green, blue});
                samples.insert(samples.end(),
                               {static_cast<std::uint8_t>(red), static_cast<std::uint8_t>(green),
                                static_cast<std::uint8_t>(blue), static_cast<std::uint8_t>(255 - black / 2)});
            }
        }
        test::writeFile(dir / "p.jpg", test::encodeSamples(samples, width, height, layout));
        const int largest = std::max(width, height);
        std::vector<ReductionPlan> plans;
        for (const int limit : {200, largest / 2 + 1})
            plans.push_back(ReductionPlan::toSize(width * limit / largest, height * limit / largest));
        plans.push_back(ReductionPlan::byFactor(3));
        expectSameOutcomes(dir / "p.jpg", plans);
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, StreamedRouteOnCorpus, testing::Values(SampleLayout::Grey, SampleLayout::AdobeCmyk),
                         [](const testing::TestParamInfo<SampleLayout>& row) {
                             return std::string(row.param == SampleLayout::Grey ? "Grey" : "AdobeCmyk");
                         });

// A file cut short decodes (libjpeg fills what is missing); files that are
// no JPEG and absent files fail; a file claiming a picture too large to hold
// whole is refused. Each the same way on both routes.
TEST(StreamedRoute, FailsOrSucceedsAsTheWholePictureRouteOnDamagedFiles)
{
    std::mt19937 random(5);
    const Bytes grey = test::encodeSamples(test::randomSamples(120, 90, 1, random), 120, 90, SampleLayout::Grey);
    const Bytes cmyk = test::encodeSamples(test::randomSamples(120, 90, 4, random), 120, 90, SampleLayout::AdobeCmyk);
    test::TempDir dir;
    test::writeFile(dir / "cut-grey.jpg",
                    Bytes(grey.begin(), grey.begin() + static_cast<std::ptrdiff_t>(grey.size() / 2)));
    test::writeFile(dir / "cut-cmyk.jpg",
                    Bytes(cmyk.begin(), cmyk.begin() + static_cast<std::ptrdiff_t>(cmyk.size() / 3)));
    test::writeFile(dir / "headers-only.jpg", Bytes(grey.begin(), grey.begin() + test::findMarker(grey, 0xDA)));
    test::writeFile(dir / "text.jpg", std::string("Ceci n'est pas une image.\n"));
    test::writeFile(dir / "empty.jpg", Bytes{});
    for (const auto& [name, file] : {std::pair{"huge-grey.jpg", grey}, std::pair{"huge-cmyk.jpg", cmyk}}) {
        Bytes huge = file;
        const auto sof = static_cast<std::size_t>(test::findMarker(huge, 0xC0));
        for (std::size_t i : {sof + 5, sof + 7}) {
            huge[i] = 0xFF;
            huge[i + 1] = 0xDC;
        }
        test::writeFile(dir / name, huge);
    }
    for (const char* name : {"cut-grey.jpg", "cut-cmyk.jpg", "headers-only.jpg", "text.jpg", "empty.jpg",
                             "huge-grey.jpg", "huge-cmyk.jpg", "absent.jpg"}) {
        SCOPED_TRACE(name);
        expectSameOutcomes(dir / name, {ReductionPlan::toSize(40, 30), ReductionPlan::byFactor(3)});
    }
}

} // namespace
} // namespace tamblure::jpeg
