#include "jpeg/streamed_decode.h"

#include "common/errors.h"
#include "imaging/raster_helpers.h"
#include "jpeg/JPEG_IO.h"
#include "jpeg/jpeg_util.h"
#include "sample_files.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"
#include "support/whole_route.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <typeinfo>
#include <vector>

namespace tamblure::jpeg {
namespace {

using imaging::Bitmap24;
using imaging::ReductionPlan;
using test::SampleLayout;
using Bytes = std::vector<std::uint8_t>;
using test::Outcome;
using test::outcomeOf;

// Each plan's thumbnail: the picture libjpeg alone decodes with the route's
// parameters (sample_files.h), reduced whole as planned.
void expectLibjpegsPictureReduced(const Bytes& file, const std::vector<ReductionPlan>& plans)
{
    const Bitmap24 decoded = test::libjpegFullSize(file);
    for (const ReductionPlan& plan : plans) {
        SCOPED_TRACE(plan.kind == ReductionPlan::Kind::ToSize
                         ? "size " + std::to_string(plan.width) + "×" + std::to_string(plan.height)
                         : "factor " + std::to_string(plan.factor));
        const Outcome expected = outcomeOf([&] { return test::reducedWhole(decoded, plan); });
        const Outcome actual = outcomeOf([&] { return DecodeJpegFullSizeReduced(file, plan).raster; });
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

TEST_P(StreamedRoute, GivesLibjpegsPictureReducedForEveryPlanOfTheStep)
{
    const PictureCase& c = GetParam();
    std::mt19937 random(static_cast<std::uint32_t>(c.width * 31 + c.height));
    const int components = c.layout == SampleLayout::Grey ? 1 : c.layout == SampleLayout::Rgb ? 3 : 4;
    const Bytes samples = test::randomSamples(c.width, c.height, components, random);
    expectLibjpegsPictureReduced(test::encodeSamples(samples, c.width, c.height, c.layout, c.options),
                                 stepPlans(c.width, c.height));
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
TEST_P(StreamedRouteOnCorpus, GivesLibjpegsPictureReduced)
{
    TAMBLURE_REQUIRE_CORPUS();
    const SampleLayout layout = GetParam();
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
        const int largest = std::max(width, height);
        std::vector<ReductionPlan> plans;
        for (const int limit : {200, largest / 2 + 1})
            plans.push_back(ReductionPlan::toSize(width * limit / largest, height * limit / largest));
        plans.push_back(ReductionPlan::byFactor(3));
        expectLibjpegsPictureReduced(test::encodeSamples(samples, width, height, layout), plans);
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, StreamedRouteOnCorpus, testing::Values(SampleLayout::Grey, SampleLayout::AdobeCmyk),
                         [](const testing::TestParamInfo<SampleLayout>& row) {
                             return std::string(row.param == SampleLayout::Grey ? "Grey" : "AdobeCmyk");
                         });

// --- Damaged files ----------------------------------------------------------

Bytes greyFile()
{
    std::mt19937 random(5);
    return test::encodeSamples(test::randomSamples(120, 90, 1, random), 120, 90, SampleLayout::Grey);
}

Bytes cmykFile()
{
    std::mt19937 random(6);
    return test::encodeSamples(test::randomSamples(120, 90, 4, random), 120, 90, SampleLayout::AdobeCmyk);
}

Bytes firstPart(const Bytes& file, std::size_t size)
{
    return {file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size)};
}

// The file up to the end of its first scan's header: a scan without data.
Bytes upToScanData(const Bytes& file)
{
    const auto sos = static_cast<std::size_t>(test::findMarker(file, 0xDA));
    return firstPart(file, sos + 2 + (std::size_t{file[sos + 2]} << 8 | file[sos + 3]));
}

// Every 50th byte of the scan's data, from its middle on, set to 0xFF 0xD5:
// restart markers where none belongs, which libjpeg reports and passes.
Bytes withStrayMarkers(Bytes file)
{
    const Bytes head = upToScanData(file);
    for (std::size_t i = head.size() + (file.size() - head.size()) / 2; i + 3 < file.size(); i += 50) {
        file[i] = 0xFF;
        file[i + 1] = 0xD5;
    }
    return file;
}

std::string jpegError(const std::string& message)
{
    return std::string(typeid(EJPEG).name()) + ": " + message;
}

// A file cut short decodes (libjpeg fills what is missing) and says so;
// corrupt data decodes and says so; files that are no JPEG fail with
// libjpeg's code. (A file claiming a picture too large for its bytes is
// refused from its headers: work_bound_test.cpp, HostileFile.)
struct DamagedCase {
    const char* name;
    Bytes (*make)();
    const char* error; // "" when the file decodes; else the class and message of the error
    bool dataRanOut;
    bool corruptData;
};

class StreamedRouteOnDamagedFiles : public testing::TestWithParam<DamagedCase> {};

TEST_P(StreamedRouteOnDamagedFiles, DecodesOrFailsAndSaysWhatLibjpegWarnedOf)
{
    const DamagedCase& c = GetParam();
    const Bytes file = c.make();
    const ReductionPlan plan = ReductionPlan::toSize(40, 30);
    std::string error;
    try {
        const DecodedPicture picture = DecodeJpegFullSizeReduced(file, plan);
        EXPECT_EQ(picture.warnings.dataRanOut, c.dataRanOut);
        EXPECT_EQ(picture.warnings.corruptData != 0, c.corruptData);
        // What libjpeg's own decode of the same bytes gives, reduced.
        EXPECT_TRUE(imaging::test::samePixels(picture.raster, test::reducedWhole(test::libjpegFullSize(file), plan)));
    } catch (const Exception& e) {
        error = std::string(typeid(e).name()) + ": " + e.message();
    }
    EXPECT_EQ(error, c.error);
}

const std::string kNoSoi =
    jpegError("Erreur JPEG #53 : ce n'est pas un fichier JPEG (marqueur de début d'image absent)");
const std::string kEmpty = jpegError("Erreur JPEG #42 : fichier d'entrée vide");
const std::string kNoScan =
    jpegError("Erreur JPEG #59 : structure de fichier JPEG invalide, début de balayage (SOS) absent");

INSTANTIATE_TEST_SUITE_P(
    Files, StreamedRouteOnDamagedFiles,
    testing::Values(
        DamagedCase{"Whole", greyFile, "", false, false},
        DamagedCase{"GreyCutInHalf", [] { return firstPart(greyFile(), greyFile().size() / 2); }, "", true, false},
        DamagedCase{"CmykCutToAThird", [] { return firstPart(cmykFile(), cmykFile().size() / 3); }, "", true, false},
        DamagedCase{"ScanWithoutData", [] { return upToScanData(greyFile()); }, "", true, false},
        DamagedCase{"StrayMarkersInTheData", [] { return withStrayMarkers(cmykFile()); }, "", false, true},
        DamagedCase{"HeadersOnly",
                    [] { return firstPart(greyFile(), static_cast<std::size_t>(test::findMarker(greyFile(), 0xDA))); },
                    kNoScan.c_str(), false, false},
        DamagedCase{"Text",
                    [] {
                        return Bytes{'t', 'e', 'x', 't', 'e'};
                    },
                    kNoSoi.c_str(), false, false},
        DamagedCase{"Empty", [] { return Bytes{}; }, kEmpty.c_str(), false, false}),
    [](const testing::TestParamInfo<DamagedCase>& row) { return std::string(row.param.name); });

// --- The check that a small photograph decodes ----------------------------

struct CheckCase {
    const char* name;
    Bytes (*make)();
    bool complete;
    bool failed; // a fatal error stopped it
    bool scanData;
    bool dataRanOut;
    bool corruptData;
};

class DecodeCheck : public testing::TestWithParam<CheckCase> {};

TEST_P(DecodeCheck, SaysWhetherThePhotographDecodesToItsEnd)
{
    const CheckCase& c = GetParam();
    const JpegDecodeCheck check = CheckJpegDecodes(c.make());
    EXPECT_EQ(check.complete(), c.complete);
    EXPECT_EQ(check.errorCode != 0, c.failed) << check.errorCode;
    EXPECT_EQ(check.scanData, c.scanData);
    EXPECT_EQ(check.warnings.dataRanOut, c.dataRanOut);
    EXPECT_EQ(check.warnings.corruptData != 0, c.corruptData);
}

INSTANTIATE_TEST_SUITE_P(
    Files, DecodeCheck,
    testing::Values(
        CheckCase{"GreyWhole", greyFile, true, false, true, false, false},
        CheckCase{"CmykWhole", cmykFile, true, false, true, false, false},
        CheckCase{"ColourWhole", [] { return test::makeJpeg(test::sized(30, 20)); }, true, false, true, false, false},
        CheckCase{"ProgressiveWhole",
                  [] {
                      test::JpegSpec spec = test::sized(64, 48);
                      spec.progressive = true;
                      return test::makeJpeg(spec);
                  },
                  true, false, true, false, false},
        CheckCase{"CutInHalf", [] { return firstPart(greyFile(), greyFile().size() / 2); }, false, false, true, true,
                  false},
        CheckCase{"ScanWithoutData", [] { return upToScanData(greyFile()); }, false, false, false, true, false},
        CheckCase{"ScanWithOnlyItsEnd",
                  [] {
                      Bytes file = upToScanData(greyFile());
                      file.insert(file.end(), {0xFF, 0xD9});
                      return file;
                  },
                  false, false, false, false, true},
        CheckCase{"StrayMarkersInTheData", [] { return withStrayMarkers(cmykFile()); }, true, false, true, false, true},
        CheckCase{"HeadersOnly",
                  [] { return firstPart(greyFile(), static_cast<std::size_t>(test::findMarker(greyFile(), 0xDA))); },
                  false, true, false, true, false},
        CheckCase{"Text", [] { return Bytes{'n', 'o', 't', ' ', 'a', ' ', 'J', 'P', 'E', 'G'}; }, false, true, false,
                  false, false}),
    [](const testing::TestParamInfo<CheckCase>& row) { return std::string(row.param.name); });

} // namespace
} // namespace tamblure::jpeg
