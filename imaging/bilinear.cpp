#include "imaging/bilinear.h"

#include "common/errors.h"
#include "common/translation.h"
#include "imaging/row_reducer.h"

#include <cmath>
#include <cstdint>
#include <string>

namespace tamblure::imaging {

namespace {

// Through the per-pixel accessor, for rasters not in the 24-bit format. The
// fractions are kept whole and the result rounded; positions past the edge
// read as white, as the accessor gives them.
void interpolatePixels(const Bitmap24& source, Bitmap24& dest)
{
    const std::int32_t sW = source.width(), sH = source.height();
    const std::int32_t dW = dest.width(), dH = dest.height();
    for (std::int32_t yd = 0; yd < dH; ++yd) {
        const double sy = samplePosition(yd, dH, sH);
        const auto iy = static_cast<std::int32_t>(sy);
        const long double fy = sy - iy;
        for (std::int32_t xd = 0; xd < dW; ++xd) {
            const double sx = samplePosition(xd, dW, sW);
            const auto ix = static_cast<std::int32_t>(sx);
            const long double fx = sx - ix;
            const std::uint32_t c00 = source.pixel(ix, iy);
            const std::uint32_t c10 = source.pixel(ix + 1, iy);
            const std::uint32_t c01 = source.pixel(ix, iy + 1);
            const std::uint32_t c11 = source.pixel(ix + 1, iy + 1);
            std::uint32_t colour = 0;
            for (int shift = 0; shift < 24; shift += 8) {
                const long double v00 = (c00 >> shift) & 0xFF;
                const long double v10 = (c10 >> shift) & 0xFF;
                const long double v01 = (c01 >> shift) & 0xFF;
                const long double v11 = (c11 >> shift) & 0xFF;
                // Each term in extended precision, the running sum rounded to
                // double after every addition, in this order.
                double sum = 0.0;
                sum = static_cast<double>(sum + (1 - fx) * v00 * (1 - fy));
                sum = static_cast<double>(sum + v10 * fx * (1 - fy));
                sum = static_cast<double>(sum + (1 - fx) * v01 * fy);
                sum = static_cast<double>(sum + v11 * fx * fy);
                colour |= static_cast<std::uint32_t>(std::nearbyint(sum)) << shift;
            }
            dest.setPixel(xd, yd, colour);
        }
    }
}

} // namespace

// The quotient and the product in extended precision, the product then
// rounded to double.
double samplePosition(std::int32_t i, std::int32_t dest, std::int32_t source)
{
    const long double quotient = static_cast<long double>(i) / static_cast<long double>(dest);
    return static_cast<double>(quotient * static_cast<long double>(source));
}

void checkWidthRatio(std::int32_t sourceWidth, std::int32_t destWidth)
{
    if (destWidth != 0)
        return;
    if (sourceWidth == 0)
        throw EInvalidOp(tr(kInvalidOpMessage));
    throw EZeroDivide(tr(kZeroDivideMessage));
}

void ReduitBilineaire(const Bitmap24& source, Bitmap24& dest)
{
    // The sample positions divide by the destination's width.
    checkWidthRatio(source.width(), dest.width());
    if (dest.height() == 0)
        return;
    if (source.pixelFormat() != PixelFormat::Bits24 || dest.pixelFormat() != PixelFormat::Bits24) {
        interpolatePixels(source, dest);
        return;
    }
    // A raster without columns has no rows either (its pixel block is
    // empty); one without rows has none to sample.
    if (source.width() == 0 || source.height() == 0)
        throw EInvalidGraphicOperation(tr("Indice ligne hors limites"));
    interpolateRows(source, dest);
}

} // namespace tamblure::imaging
