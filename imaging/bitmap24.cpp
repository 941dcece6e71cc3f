#include "imaging/bitmap24.h"

#include "common/errors.h"
#include "common/translation.h"

#include <cstdlib>
#include <string>
#include <utility>

namespace tamblure::imaging {

namespace {

std::uint32_t channelDistance(std::uint32_t a, std::uint32_t b)
{
    std::uint32_t sum = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        sum += static_cast<std::uint32_t>(d * d);
    }
    return sum;
}

} // namespace

void Bitmap24::FreeDeleter::operator()(std::uint8_t* p) const
{
    std::free(p);
}

Bitmap24::Bitmap24()
{
    setGreyRamp();
}

void Bitmap24::setGreyRamp()
{
    for (std::uint32_t i = 0; i < 256; ++i)
        palette_[i] = i << 16 | i << 8 | i;
}

int Bitmap24::bitsPerPixel(PixelFormat format)
{
    switch (format) {
    case PixelFormat::Bits8:
        return 8;
    case PixelFormat::Bits24:
        return 24;
    case PixelFormat::None:
        break;
    }
    return 32;
}

void Bitmap24::setPixelFormat(PixelFormat format)
{
    if (format == format_)
        return;
    format_ = format;
    const std::int32_t w = width_, h = height_;
    width_ = height_ = stride_ = 0;
    block_.reset();
    setSize(w, h);
}

std::uint64_t Bitmap24::checkSize(PixelFormat format, std::int32_t width, std::int32_t height)
{
    if (width < 0 || height < 0)
        throw EInvalidGraphicOperation(
            tamblure::format(tr("Dimensions d'image incorrectes (%1 × %2)"), {width, height}));
    const std::int64_t stride = strideFor(width, bitsPerPixel(format));
    const std::uint64_t bytes = static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(height);
    if (bytes > kMaxPixelBlockBytes || stride > INT32_MAX)
        throw EOutOfMemory(tamblure::format(
            tr("Image trop grande (%1 × %2 pixels) : la mémoire nécessaire dépasse 1 Go"), {width, height}));
    return bytes;
}

void Bitmap24::setSize(std::int32_t width, std::int32_t height)
{
    const std::uint64_t bytes = checkSize(format_, width, height);
    const std::int64_t stride = strideFor(width, bitsPerPixel(format_));
    block_.reset();
    width_ = height_ = stride_ = 0;
    if (bytes > 0) {
        // calloc: large blocks come straight from the kernel, already zero.
        auto* block = static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(bytes), 1));
        if (block == nullptr)
            throw EOutOfMemory(
                tamblure::format(tr("Mémoire insuffisante pour une image de %1 × %2 pixels"), {width, height}));
        block_.reset(block);
    }
    width_ = width;
    height_ = height;
    stride_ = static_cast<std::int32_t>(stride);
}

std::uint8_t* Bitmap24::scanLine(std::int32_t row)
{
    return const_cast<std::uint8_t*>(std::as_const(*this).scanLine(row));
}

const std::uint8_t* Bitmap24::scanLine(std::int32_t row) const
{
    if (row < 0 || row >= height_)
        throw EInvalidGraphicOperation(tr("Indice ligne hors limites"));
    return const_cast<Bitmap24*>(this)->rowAddress(row);
}

const std::uint8_t* Bitmap24::pixelAddress(std::int32_t x, std::int32_t y) const
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_ || !block_)
        return nullptr;
    const auto bytesPerPixel = static_cast<std::size_t>(bitsPerPixel(format_) / 8);
    return scanLine(y) + static_cast<std::size_t>(x) * bytesPerPixel;
}

std::uint8_t* Bitmap24::pixelAddress(std::int32_t x, std::int32_t y)
{
    return const_cast<std::uint8_t*>(std::as_const(*this).pixelAddress(x, y));
}

std::uint32_t Bitmap24::pixel(std::int32_t x, std::int32_t y) const
{
    const std::uint8_t* p = pixelAddress(x, y);
    if (p == nullptr)
        return 0xFFFFFFFFu;
    if (format_ == PixelFormat::Bits8)
        return palette_[*p] & 0x00FFFFFFu;
    // Blue, green, red in memory; red in the low byte of the colour value.
    return std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
}

void Bitmap24::setPixel(std::int32_t x, std::int32_t y, std::uint32_t colour)
{
    std::uint8_t* p = pixelAddress(x, y);
    if (p == nullptr)
        return;
    if (format_ == PixelFormat::Bits8) {
        std::size_t best = 0;
        std::uint32_t bestDistance = UINT32_MAX;
        for (std::size_t i = 0; i < palette_.size() && bestDistance != 0; ++i) {
            const std::uint32_t d = channelDistance(palette_[i], colour);
            if (d < bestDistance) {
                bestDistance = d;
                best = i;
            }
        }
        *p = static_cast<std::uint8_t>(best);
        return;
    }
    p[0] = static_cast<std::uint8_t>(colour >> 16);
    p[1] = static_cast<std::uint8_t>(colour >> 8);
    p[2] = static_cast<std::uint8_t>(colour);
}

Bitmap24 makeRaster24(std::int32_t width, std::int32_t height)
{
    Bitmap24 raster;
    raster.setPixelFormat(PixelFormat::Bits24);
    raster.setSize(width, height);
    return raster;
}

} // namespace tamblure::imaging
