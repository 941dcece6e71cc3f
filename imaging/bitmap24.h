#pragma once

// The device-independent raster that passes from the decoder through the
// resampling to the encoder.
//
// Pixel block: one contiguous block of height × stride bytes holding the rows
// bottom-up. Row r (row 0 = top of the picture) begins at byte
// (height - 1 - r) × stride, so a codec handed pixels() starts at the bottom
// row. Each row is padded to a multiple of 4 bytes:
//
//     stride = ((width × bitsPerPixel + 31) div 32) × 4
//
// 24-bit pixels are three bytes blue, green, red. 8-bit pixels are indices
// into a 256-entry palette. A raster that never received a format has the
// format None; given a size it holds 32-bit device pixels (blue, green, red,
// unused), which only the per-pixel accessor reads and writes.
//
// Colour values (per-pixel accessor) are 0x00BBGGRR: red in bits 0-7, green
// in 8-15, blue in 16-23. Reading outside the raster gives 0xFFFFFFFF.
//
// The block is zero-filled when it is allocated, so a decode that fails part
// way leaves black, never old memory. A block that would pass 1 GiB is refused
// before anything is allocated.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace tamblure::imaging {

enum class PixelFormat {
    None,
    Bits8,
    Bits24
};

inline constexpr std::uint64_t kMaxPixelBlockBytes = std::uint64_t{1} << 30;

class Bitmap24 {
public:
    Bitmap24();
    Bitmap24(Bitmap24&&) noexcept = default;
    Bitmap24& operator=(Bitmap24&&) noexcept = default;
    Bitmap24(const Bitmap24&) = delete;
    Bitmap24& operator=(const Bitmap24&) = delete;

    PixelFormat pixelFormat() const { return format_; }
    // Changes the format; a raster with a size gets a new, zero-filled block.
    void setPixelFormat(PixelFormat format);

    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    // Each gives the raster a new zero-filled block of the new size. Raises
    // EOutOfMemory for a block over kMaxPixelBlockBytes or one that cannot be
    // allocated, and EInvalidGraphicOperation for a negative side.
    void setWidth(std::int32_t width) { setSize(width, height_); }
    void setHeight(std::int32_t height) { setSize(width_, height); }
    void setSize(std::int32_t width, std::int32_t height);
    // Raises what setSize raises for a raster of this format and size, without
    // allocating anything; returns the block's size in bytes otherwise.
    static std::uint64_t checkSize(PixelFormat format, std::int32_t width, std::int32_t height);

    static int bitsPerPixel(PixelFormat format);
    // Bytes of a pixel as a codec reads and writes them: 1 (grey), 3 (blue,
    // green, red); 0 for a raster without a format.
    static int channelsOf(PixelFormat format) { return format == PixelFormat::None ? 0 : bitsPerPixel(format) / 8; }
    static std::int64_t strideFor(std::int64_t width, int bitsPerPixel) { return (width * bitsPerPixel + 31) / 32 * 4; }
    std::int32_t stride() const { return stride_; }

    // The whole block, bottom row first; null when the raster holds no pixel.
    std::uint8_t* pixels() { return block_.get(); }
    const std::uint8_t* pixels() const { return block_.get(); }
    std::size_t pixelBytes() const { return static_cast<std::size_t>(stride_) * static_cast<std::size_t>(height_); }

    // Address of the first byte of row r. Raises EInvalidGraphicOperation
    // ("Indice ligne hors limites") for r < 0 or r >= height. Columns are the
    // caller's to keep in range.
    std::uint8_t* scanLine(std::int32_t row);
    const std::uint8_t* scanLine(std::int32_t row) const;

    // The same address without the check, for callers that keep row in range
    // themselves and must not raise (libjpeg's steps, which an exception
    // must never cross).
    std::uint8_t* rowAddress(std::int32_t row) noexcept
    {
        return block_.get() + static_cast<std::size_t>(height_ - 1 - row) * static_cast<std::size_t>(stride_);
    }

    // The 8-bit palette as colour values; a grey ramp (i, i, i) at creation.
    void setGreyRamp();
    std::array<std::uint32_t, 256>& palette() { return palette_; }
    const std::array<std::uint32_t, 256>& palette() const { return palette_; }

    // Per-pixel colour accessor, for every format. Reads outside the raster
    // give 0xFFFFFFFF; writes outside it do nothing. An 8-bit raster stores
    // the nearest palette entry.
    std::uint32_t pixel(std::int32_t x, std::int32_t y) const;
    void setPixel(std::int32_t x, std::int32_t y, std::uint32_t colour);

private:
    struct FreeDeleter {
        void operator()(std::uint8_t* p) const;
    };

    std::uint8_t* pixelAddress(std::int32_t x, std::int32_t y);
    const std::uint8_t* pixelAddress(std::int32_t x, std::int32_t y) const;

    PixelFormat format_ = PixelFormat::None;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::int32_t stride_ = 0;
    std::unique_ptr<std::uint8_t, FreeDeleter> block_;
    std::array<std::uint32_t, 256> palette_{};
};

// A 24-bit raster of the given size, zero-filled; raises as setSize does.
Bitmap24 makeRaster24(std::int32_t width, std::int32_t height);

} // namespace tamblure::imaging
