#include "pattern_check.h"

#include <algorithm>
#include <cstdlib>

namespace tamblure::test {

using imaging::Bitmap24;
using imaging::PixelFormat;

int largestDeviation(const Bitmap24& raster, const JpegSpec& spec, int divisor)
{
    int largest = 0;
    for (int y = 0; y < raster.height(); ++y) {
        for (int x = 0; x < raster.width(); ++x) {
            int sum[3] = {0, 0, 0};
            int count = 0;
            for (int fy = y * divisor; fy < std::min((y + 1) * divisor, spec.height); ++fy) {
                for (int fx = x * divisor; fx < std::min((x + 1) * divisor, spec.width); ++fx) {
                    std::uint8_t bgr[3];
                    fixturePixel(spec, fx, fy, bgr);
                    for (int c = 0; c < 3; ++c)
                        sum[c] += bgr[c];
                    ++count;
                }
            }
            const std::uint32_t colour = raster.pixel(x, y); // 0x00BBGGRR
            const int got[3] = {static_cast<int>(colour >> 16 & 0xFF), static_cast<int>(colour >> 8 & 0xFF),
                                static_cast<int>(colour & 0xFF)};
            for (int c = 0; c < 3; ++c)
                largest = std::max(largest, std::abs(got[c] - (sum[c] + count / 2) / count));
        }
    }
    return largest;
}

bool rowPaddingIsClear(const Bitmap24& raster)
{
    const int used = raster.width() * Bitmap24::bitsPerPixel(raster.pixelFormat()) / 8;
    for (int y = 0; y < raster.height(); ++y) {
        const std::uint8_t* row = raster.scanLine(y);
        for (int i = used; i < raster.stride(); ++i) {
            if (row[i] != 0)
                return false;
        }
    }
    return true;
}

Bitmap24 patternRaster(const JpegSpec& spec)
{
    Bitmap24 raster = imaging::makeRaster24(spec.width, spec.height);
    for (int y = 0; y < spec.height; ++y) {
        std::uint8_t* row = raster.scanLine(y);
        for (int x = 0; x < spec.width; ++x)
            fixturePixel(spec, x, y, row + 3 * x);
    }
    return raster;
}

} // namespace tamblure::test
