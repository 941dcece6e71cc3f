#include "app/traite_image.h"

#include "imaging/bitmap24.h"
#include "imaging/row_reducer.h"
#include "jpeg/JPEG_IO.h"
#include "jpeg/jpeg_image.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"
#include "support/whole_route.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace tamblure::app {
namespace {

using imaging::Bitmap24;

// The thumbnail as the step made it before the route was streamed: the
// whole picture decoded and widened, reduced whole, encoded.
Bitmap24 wholePictureThumbnail(const std::filesystem::path& photo, const ThumbnailRequest& request)
{
    Bitmap24 decoded;
    jpeg::DecodeJpegFullSize(decoded, photo);
    const std::int32_t largest = std::max(decoded.width(), decoded.height());
    return test::reducedWhole(decoded, request.largestDimension
                                           ? imaging::ReductionPlan::toSize(decoded.width() * request.number / largest,
                                                                            decoded.height() * request.number / largest)
                                           : imaging::ReductionPlan::byFactor(request.number));
}

struct RouteCase {
    const char* name;
    int components, width, height;
    bool largestDimension;
    std::int32_t number;
};

class FullSizeRoute : public testing::TestWithParam<RouteCase> {};

TEST_P(FullSizeRoute, WritesTheWholePictureRoutesThumbnailByteForByte)
{
    const RouteCase& c = GetParam();
    test::TempDir dir;
    test::JpegSpec spec = test::sized(c.width, c.height, c.components);
    spec.seed = static_cast<std::uint32_t>(c.width);
    test::writeJpeg(dir / "photo.jpg", spec);
    ThumbnailRequest request;
    request.largestDimension = c.largestDimension;
    request.number = c.number;
    const Thumbnail made = makeThumbnail(dir / "photo.jpg", dir / "thumb.jpg", request);
    const Bitmap24 expected = wholePictureThumbnail(dir / "photo.jpg", request);
    jpeg::EncodeJpegFile(expected, dir / "expected.jpg", request.quality);
    EXPECT_EQ(made.route, ThumbnailRoute::Encoded);
    EXPECT_EQ(made.width, expected.width());
    EXPECT_EQ(made.height, expected.height());
    // The fixtures carry no EXIF segment, so the copy step leaves the
    // encoded thumbnail as it is.
    EXPECT_TRUE(test::readFile(dir / "thumb.jpg") == test::readFile(dir / "expected.jpg"));
}

INSTANTIATE_TEST_SUITE_P(
    Table, FullSizeRoute,
    testing::Values(RouteCase{"GreyAreaAverage", 1, 401, 299, true, 200},
                    RouteCase{"GreyBilinear", 1, 401, 299, true, 250},
                    RouteCase{"GreyTall", 1, 33, 401, true, 200},
                    RouteCase{"GreyWhole", 1, 97, 61, false, 1},
                    RouteCase{"GreyFactor3", 1, 401, 299, false, 3},
                    RouteCase{"GreyFactor8", 1, 401, 299, false, 8},
                    RouteCase{"CmykAreaAverage", 4, 301, 203, true, 100},
                    RouteCase{"CmykBilinear", 4, 301, 203, true, 200},
                    RouteCase{"CmykFactor2", 4, 301, 203, false, 2}),
    [](const testing::TestParamInfo<RouteCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace tamblure::app
