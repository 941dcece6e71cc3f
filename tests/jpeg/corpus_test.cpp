#include "jpeg/JPEG_IO.h"
#include "jpeg/jpeg_image.h"
#include "jpeg/jpeg_util.h"
#include "jpeg/streamed_decode.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

namespace tamblure::jpeg {
namespace {

using imaging::Bitmap24;
using imaging::PixelFormat;

TEST(CorpusPhotographs, AllProbeDecodeAtEveryScaleAndReencode)
{
    TAMBLURE_REQUIRE_CORPUS();
    const auto photographs = test::corpusPhotographs();
    ASSERT_FALSE(photographs.empty());
    test::TempDir dir;
    for (const auto& photo : photographs) {
        SCOPED_TRACE(photo.string());
        std::uint16_t width = 0, height = 0;
        bool three = false;
        ASSERT_TRUE(ProbeJpegHeader(photo, width, height, three));
        if (!three) {
            const DecodedPicture picture =
                DecodeJpegFullSizeReduced(test::readFile(photo), imaging::ReductionPlan::byFactor(1));
            EXPECT_EQ(picture.raster.width(), width);
            EXPECT_FALSE(picture.warnings.any());
            EncodeJpegFile(picture.raster, dir / "full.jpg", 75);
            continue;
        }
        for (std::uint8_t scale = 0; scale <= 3; ++scale) {
            Bitmap24 raster;
            ASSERT_TRUE(DecodeJpegFile(&raster, photo, true, scale)) << "scale " << int{scale};
            const int divisor = 1 << scale;
            EXPECT_EQ(raster.width(), (width + divisor - 1) / divisor);
            EXPECT_EQ(raster.height(), (height + divisor - 1) / divisor);
            EncodeJpegFile(raster, dir / "t.jpg", 75);
            std::uint16_t outWidth = 0, outHeight = 0;
            bool outThree = false;
            ASSERT_TRUE(ProbeJpegHeader(dir / "t.jpg", outWidth, outHeight, outThree));
            EXPECT_EQ(outWidth, raster.width());
            EXPECT_EQ(outHeight, raster.height());
        }
        // The whole-file image agrees on the size.
        TJPEGImage image;
        image.loadFromFile(photo);
        EXPECT_EQ(image.width(), width);
        EXPECT_EQ(image.height(), height);
    }
}

} // namespace
} // namespace tamblure::jpeg
