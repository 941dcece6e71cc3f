#pragma once

// Small rasters for the resampling tests: building them, filling them,
// reducing them through every entry and comparing them pixel by pixel
// (padding left out).

#include "imaging/bitmap24.h"
#include "imaging/row_reducer.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace tamblure::imaging::test {

using Rgb = std::array<std::uint8_t, 3>; // blue, green, red, as stored

inline Bitmap24 makeRaster(std::int32_t width, std::int32_t height, PixelFormat format = PixelFormat::Bits24)
{
    Bitmap24 b;
    b.setPixelFormat(format);
    b.setSize(width, height);
    return b;
}

// Fills every byte of the block, padding included, so that a result that
// leaves a pixel unwritten or writes into the padding shows.
inline void fillBlock(Bitmap24& b, std::uint8_t value)
{
    if (b.pixelBytes() > 0)
        std::memset(b.pixels(), value, b.pixelBytes());
}

inline Bitmap24 noisePicture(std::int32_t width, std::int32_t height, std::mt19937& rng)
{
    Bitmap24 b = makeRaster(width, height);
    std::uniform_int_distribution<int> byte(0, 255);
    for (std::size_t i = 0; i < b.pixelBytes(); ++i)
        b.pixels()[i] = static_cast<std::uint8_t>(byte(rng));
    return b;
}

// A 24-bit raster of `height` rows given top row first, pixels as (b, g, r).
inline Bitmap24 pictureOf(std::initializer_list<std::initializer_list<Rgb>> rows)
{
    const auto width = static_cast<std::int32_t>(rows.begin()->size());
    Bitmap24 b = makeRaster(width, static_cast<std::int32_t>(rows.size()));
    std::int32_t y = 0;
    for (const auto& row : rows) {
        std::uint8_t* p = b.scanLine(y++);
        for (const Rgb& pixel : row) {
            std::memcpy(p, pixel.data(), 3);
            p += 3;
        }
    }
    return b;
}

inline Bitmap24 greyRow(std::initializer_list<std::uint8_t> values)
{
    Bitmap24 b = makeRaster(static_cast<std::int32_t>(values.size()), 1);
    std::uint8_t* p = b.scanLine(0);
    for (const std::uint8_t v : values) {
        p[0] = p[1] = p[2] = v;
        p += 3;
    }
    return b;
}

// Row y as blue, green, red bytes without padding.
inline std::vector<std::uint8_t> rowBytes(const Bitmap24& b, std::int32_t y)
{
    const std::uint8_t* p = b.scanLine(y);
    return {p, p + static_cast<std::ptrdiff_t>(b.width()) * 3};
}

inline std::vector<std::uint8_t> allPixelBytes(const Bitmap24& b)
{
    std::vector<std::uint8_t> bytes;
    for (std::int32_t y = 0; y < b.height(); ++y) {
        const auto row = rowBytes(b, y);
        bytes.insert(bytes.end(), row.begin(), row.end());
    }
    return bytes;
}

// The rows of source fed to a row reducer under plan, as a decoder gives
// them: through one buffer that each row overwrites, blue, green, red
// (channels 3) or the blue channel alone as grey (1).
inline Bitmap24 streamed(const Bitmap24& source, const ReductionPlan& plan, int channels)
{
    auto reducer = makeRowReducer(plan, source.width(), source.height(), channels);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(source.width() * channels));
    for (std::int32_t y = 0; y < source.height(); ++y) {
        for (std::size_t i = 0; i < row.size(); ++i)
            row[i] = source.scanLine(y)[channels == 3 ? i : 3 * i];
        reducer->addRow(row.data());
    }
    return reducer->finish();
}

inline bool isGrey(const Bitmap24& b)
{
    for (std::int32_t y = 0; y < b.height(); ++y) {
        const std::uint8_t* p = b.scanLine(y);
        for (std::int32_t x = 0; x < b.width(); ++x, p += 3)
            if (p[1] != p[0] || p[2] != p[0])
                return false;
    }
    return true;
}

// A reduction's result from each of its entries: `whole`, the whole-raster
// operation's, then, when the row reducer takes the same reduction under
// plan (`alike`), its result from colour rows, and from grey rows when source
// is grey.
using Results = std::vector<std::pair<std::string, Bitmap24>>;

inline Results withStreamed(Bitmap24 whole, const Bitmap24& source, const ReductionPlan& plan, bool alike = true)
{
    Results results;
    results.emplace_back("whole raster", std::move(whole));
    if (!alike)
        return results;
    results.emplace_back("colour rows", streamed(source, plan, 3));
    if (isGrey(source))
        results.emplace_back("grey rows", streamed(source, plan, 1));
    return results;
}

// Same size and same pixel bytes; on a difference, says where the first one is.
inline testing::AssertionResult samePixels(const Bitmap24& actual, const Bitmap24& expected)
{
    if (actual.width() != expected.width() || actual.height() != expected.height())
        return testing::AssertionFailure() << "size " << actual.width() << "×" << actual.height() << " instead of "
                                           << expected.width() << "×" << expected.height();
    for (std::int32_t y = 0; y < actual.height(); ++y) {
        const std::uint8_t* a = actual.scanLine(y);
        const std::uint8_t* e = expected.scanLine(y);
        for (std::int32_t i = 0; i < actual.width() * 3; ++i)
            if (a[i] != e[i])
                return testing::AssertionFailure() << "pixel (" << i / 3 << ", " << y << ") channel " << i % 3 << ": "
                                                   << int{a[i]} << " instead of " << int{e[i]};
    }
    return testing::AssertionSuccess();
}

// The padding bytes after each row still hold `value`.
inline testing::AssertionResult paddingHolds(const Bitmap24& b, std::uint8_t value)
{
    for (std::int32_t y = 0; y < b.height(); ++y) {
        const std::uint8_t* p = b.scanLine(y);
        for (std::int32_t i = b.width() * 3; i < b.stride(); ++i)
            if (p[i] != value)
                return testing::AssertionFailure() << "padding byte " << i << " of row " << y << " written";
    }
    return testing::AssertionSuccess();
}

// Runs `call`, which must raise E with exactly `message`.
template <typename E, typename Call>
testing::AssertionResult raises(Call call, const std::string& message)
{
    try {
        call();
    } catch (const E& e) {
        if (e.message() == message)
            return testing::AssertionSuccess();
        return testing::AssertionFailure() << "message \"" << e.message() << "\" instead of \"" << message << "\"";
    } catch (const std::exception& e) {
        return testing::AssertionFailure() << "other error: " << e.what();
    }
    return testing::AssertionFailure() << "no error";
}

} // namespace tamblure::imaging::test
