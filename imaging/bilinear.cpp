#include "imaging/bilinear.h"

#include "common/errors.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace tamblure::imaging {

namespace {

// The two source columns of one destination column and the right one's
// weight. Being the same for every row, they are worked out once per call.
struct ColumnSample {
    std::size_t left;  // byte offset in a row
    std::size_t right; // byte offset in a row
    std::uint32_t weight;
};

// Fixed point: weights in 1/256, so that the four-term sum stays within
// 255 × 65536 and the result is the sum shifted right by 16 (truncated). The
// last row and the last column stand in for their missing neighbours.
void interpolateRows(const Bitmap24& source, Bitmap24& dest)
{
    const std::int32_t sW = source.width(), sH = source.height();
    const std::int32_t dW = dest.width(), dH = dest.height();
    // A raster without columns has no rows either; its pixel block is empty.
    if (sW == 0)
        throw EInvalidGraphicOperation("Indice ligne hors limites");

    std::vector<ColumnSample> columns(static_cast<std::size_t>(dW));
    for (std::int32_t xd = 0; xd < dW; ++xd) {
        const double sx = samplePosition(xd, dW, sW);
        const auto ix = static_cast<std::int32_t>(sx);
        const std::int32_t right = ix < sW - 1 ? ix + 1 : sW - 1;
        columns[static_cast<std::size_t>(xd)] = {static_cast<std::size_t>(ix) * 3, static_cast<std::size_t>(right) * 3,
                                                 weight256(sx - ix)};
    }

    for (std::int32_t yd = 0; yd < dH; ++yd) {
        const double sy = samplePosition(yd, dH, sH);
        const auto iy = static_cast<std::int32_t>(sy);
        const std::uint32_t wy = weight256(sy - iy);
        const std::uint32_t wu = 256 - wy;
        const std::uint8_t* upper = source.scanLine(iy);
        const std::uint8_t* lower = source.scanLine(iy < sH - 1 ? iy + 1 : sH - 1);
        std::uint8_t* out = dest.scanLine(yd);
        for (const ColumnSample& column : columns) {
            const std::uint8_t* ul = upper + column.left;
            const std::uint8_t* ur = upper + column.right;
            const std::uint8_t* ll = lower + column.left;
            const std::uint8_t* lr = lower + column.right;
            const std::uint32_t wr = column.weight;
            const std::uint32_t wl = 256 - wr;
            for (int c = 0; c < 3; ++c) {
                const std::uint32_t v = ul[c] * wl * wu + ur[c] * wr * wu + ll[c] * wl * wy + lr[c] * wr * wy;
                out[c] = static_cast<std::uint8_t>(v >> 16);
            }
            out += 3;
        }
    }
}

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

// Ties to even: the default rounding mode.
std::uint32_t weight256(double fraction)
{
    return static_cast<std::uint32_t>(std::nearbyint(fraction * 256.0));
}

void checkWidthRatio(const Bitmap24& source, const Bitmap24& dest)
{
    if (dest.width() != 0)
        return;
    if (source.width() == 0)
        throw EInvalidOp(std::string(kInvalidOpMessage));
    throw EZeroDivide(std::string(kZeroDivideMessage));
}

void ReduitBilineaire(const Bitmap24& source, Bitmap24& dest)
{
    // The sample positions divide by the destination's width.
    checkWidthRatio(source, dest);
    if (dest.height() == 0)
        return;
    if (source.pixelFormat() == PixelFormat::Bits24 && dest.pixelFormat() == PixelFormat::Bits24)
        interpolateRows(source, dest);
    else
        interpolatePixels(source, dest);
}

} // namespace tamblure::imaging
