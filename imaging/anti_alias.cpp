#include "imaging/anti_alias.h"

#include "common/errors.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tamblure::imaging {

namespace {

// The message names the module and the line of the check, so that a user's
// report points at the check that fired: "<text> (anti_alias, ligne <n>)".
[[noreturn]] void failCheck(const char* text, int line)
{
    throw EAssertionFailed(std::string(text) + " (anti_alias, ligne " + std::to_string(line) + ")");
}

constexpr std::int32_t kMaxFactor = 99;

void checkFormats(const Bitmap24& source, const Bitmap24& dest, int sourceLine, int destLine)
{
    if (source.pixelFormat() != PixelFormat::Bits24)
        failCheck("Source au mauvais format", sourceLine);
    if (dest.pixelFormat() != PixelFormat::Bits24)
        failCheck("Destination au mauvais format", destLine);
}

// Factor 2, by far the most frequent, reads its two rows directly: each
// channel of the 2 × 2 block p q / r s is (p + q + r + s) >> 2.
void reduceByTwo(const Bitmap24& source, Bitmap24& dest)
{
    const std::int32_t width = dest.width();
    for (std::int32_t y = dest.height() - 1; y >= 0; --y) {
        const std::uint8_t* upper = source.scanLine(2 * y);
        const std::uint8_t* lower = source.scanLine(2 * y + 1);
        std::uint8_t* out = dest.scanLine(y);
        for (std::int32_t x = 0; x < width; ++x) {
            out[0] = static_cast<std::uint8_t>((upper[0] + upper[3] + lower[0] + lower[3]) >> 2);
            out[1] = static_cast<std::uint8_t>((upper[1] + upper[4] + lower[1] + lower[4]) >> 2);
            out[2] = static_cast<std::uint8_t>((upper[2] + upper[5] + lower[2] + lower[5]) >> 2);
            upper += 6;
            lower += 6;
            out += 3;
        }
    }
}

// The quotient of a block sum by the block's pixel count, without a division
// instruction: s div d = (s × m) >> 55 with m = ceil(2^55 / d). With
// m × d = 2^55 + e (0 <= e < d) the product overshoots s / d by s × e / 2^55,
// which stays below the gap to the next whole number as long as s × e < 2^55:
// true for s <= 255 × d whenever the sums fit 32 bits (d <= 8 421 504).
class BlockDivisor {
public:
    explicit BlockDivisor(std::uint64_t pixels) : multiplier_(((std::uint64_t{1} << kShift) + pixels - 1) / pixels) {}
    std::uint8_t mean(std::int32_t sum) const
    {
        return static_cast<std::uint8_t>(static_cast<std::uint64_t>(sum) * multiplier_ >> kShift);
    }

private:
    static constexpr int kShift = 55;
    std::uint64_t multiplier_;
};

// A band of source rows is reduced in two passes. Its rows are first added
// byte by byte into one row of column sums, a plain loop over contiguous
// bytes that the compiler vectorises; the blocks then add up their columns
// side by side, from column 0, each starting where the one before ended.
// Integer sums do not depend on the order of the additions, so each result is
// the truncated mean of its block.
//
// Adds `width` columns of band sums (blue, green, red each) into a block's
// three sums and moves p past them.
template <typename ColumnSum, typename BlockSum>
inline void addColumns(const ColumnSum*& p, std::int32_t width, BlockSum& blue, BlockSum& green, BlockSum& red)
{
    for (std::int32_t j = 0; j < width; ++j) {
        blue += static_cast<BlockSum>(p[0]);
        green += static_cast<BlockSum>(p[1]);
        red += static_cast<BlockSum>(p[2]);
        p += 3;
    }
}

// ColumnSum holds one column of a band, BlockSum a whole block: the callers
// pick types that cannot overflow. Block widths differ by one at most.
template <typename ColumnSum, typename BlockSum>
class BandReducer {
public:
    // blockWidths: one or more blocks, together no wider than the source.
    BandReducer(std::int32_t sourceWidth, std::vector<std::int32_t> blockWidths)
        : columns_(static_cast<std::size_t>(sourceWidth) * 3), blockWidths_(std::move(blockWidths)),
          narrowest_(*std::min_element(blockWidths_.begin(), blockWidths_.end()))
    {}

    // band: the addresses of the band's rows, at least one.
    void reduce(const std::vector<const std::uint8_t*>& band, std::uint8_t* out)
    {
        ColumnSum* const sums = columns_.data();
        const std::size_t bytes = columns_.size();
        const std::uint8_t* first = band.front();
        for (std::size_t i = 0; i < bytes; ++i)
            sums[i] = first[i];
        for (std::size_t k = 1; k < band.size(); ++k) {
            const std::uint8_t* row = band[k];
            for (std::size_t i = 0; i < bytes; ++i)
                sums[i] = static_cast<ColumnSum>(sums[i] + row[i]);
        }

        const auto rows = static_cast<BlockSum>(band.size());
        const ColumnSum* p = sums;
        if constexpr (sizeof(BlockSum) == 4) {
            const BlockDivisor narrow(static_cast<std::uint64_t>(narrowest_ * rows));
            const BlockDivisor wide(static_cast<std::uint64_t>((narrowest_ + 1) * rows));
            for (const std::int32_t width : blockWidths_) {
                const BlockDivisor& divisor = width == narrowest_ ? narrow : wide;
                BlockSum blue = 0, green = 0, red = 0;
                addColumns(p, width, blue, green, red);
                out[0] = divisor.mean(blue);
                out[1] = divisor.mean(green);
                out[2] = divisor.mean(red);
                out += 3;
            }
        } else {
            for (const std::int32_t width : blockWidths_) {
                BlockSum blue = 0, green = 0, red = 0;
                addColumns(p, width, blue, green, red);
                const BlockSum area = width * rows;
                out[0] = static_cast<std::uint8_t>(blue / area);
                out[1] = static_cast<std::uint8_t>(green / area);
                out[2] = static_cast<std::uint8_t>(red / area);
                out += 3;
            }
        }
    }

private:
    std::vector<ColumnSum> columns_;
    std::vector<std::int32_t> blockWidths_;
    std::int32_t narrowest_;
};

// n × n blocks over the first n × dest.width() columns: a column of a band is
// at most 99 × 255, a block 99 × 99 × 255.
void reduceByFactor(const Bitmap24& source, Bitmap24& dest, std::int32_t n)
{
    const std::int32_t width = dest.width();
    BandReducer<std::uint16_t, std::int32_t> reducer(n * width,
                                                     std::vector<std::int32_t>(static_cast<std::size_t>(width), n));
    std::vector<const std::uint8_t*> band(static_cast<std::size_t>(n));
    for (std::int32_t y = 0; y < dest.height(); ++y) {
        for (std::int32_t k = 0; k < n; ++k)
            band[static_cast<std::size_t>(k)] = source.scanLine(n * y + k);
        reducer.reduce(band, dest.scanLine(y));
    }
}

template <typename ColumnSum, typename BlockSum>
void averageBands(const Bitmap24& source, Bitmap24& dest, std::vector<std::int32_t> blockWidths)
{
    const std::int32_t sH = source.height(), dH = dest.height();
    BandReducer<ColumnSum, BlockSum> reducer(source.width(), std::move(blockWidths));
    // A band can be any height (a tall picture brought down to a few rows),
    // so the table of its rows grows with it.
    std::vector<const std::uint8_t*> band;
    band.reserve(static_cast<std::size_t>(sH / dH + 1));
    for (std::int32_t yd = 0; yd < dH; ++yd) {
        const std::int32_t y0 = blockStart(sH, yd, dH);
        const std::int32_t y1 = blockStart(sH, yd + 1, dH) - 1;
        band.clear();
        for (std::int32_t y = y0; y <= y1; ++y)
            band.push_back(source.scanLine(y));
        reducer.reduce(band, dest.scanLine(yd));
    }
}

} // namespace

// 64-bit product: two sides of a large raster multiplied together can pass
// 32 bits.
std::int32_t blockStart(std::int32_t source, std::int32_t i, std::int32_t dest)
{
    return static_cast<std::int32_t>(std::int64_t{source} * i / dest);
}

void ReduitFacteur(const Bitmap24& source, Bitmap24& dest, std::int32_t factor)
{
    checkFormats(source, dest, 35, 36);
    if (factor <= 1)
        failCheck("Le rapport de réduction doit être supérieur ou égal à 2", 37);
    if (factor > kMaxFactor)
        failCheck("Le rapport de réduction dépasse les limites du programme", 38);

    const std::int32_t height = dest.height();
    if (height == 0)
        return;
    // Only dest's size says what is read. A dest too large for the source is
    // refused before anything is written: too tall, it fails as the row
    // access would; too wide, its blocks would run off the end of the rows.
    if (std::int64_t{height} * factor > source.height())
        throw EInvalidGraphicOperation("Indice ligne hors limites");
    if (std::int64_t{dest.width()} * factor > source.width())
        failCheck("Destination trop grande pour le rapport de réduction", 39);
    if (dest.width() == 0)
        return;

    if (factor == 2)
        reduceByTwo(source, dest);
    else
        reduceByFactor(source, dest, factor);
}

void ReduitMoyenne(const Bitmap24& source, Bitmap24& dest)
{
    checkFormats(source, dest, 121, 122);

    const std::int32_t sW = source.width(), sH = source.height();
    const std::int32_t dW = dest.width(), dH = dest.height();
    // Without rows or columns to write there is nothing to read: every band
    // lies inside the source, so looking its rows up could not fail.
    if (dH == 0 || dW == 0)
        return;
    // A destination larger than the source would have empty blocks, whose
    // mean has no divisor.
    if (dW > sW || dH > sH)
        failCheck("Destination plus grande que la source", 123);

    // Block widths are the same for every row of blocks.
    std::vector<std::int32_t> blockWidths(static_cast<std::size_t>(dW));
    for (std::int32_t x = 0; x < dW; ++x)
        blockWidths[static_cast<std::size_t>(x)] = blockStart(sW, x + 1, dW) - blockStart(sW, x, dW);

    // 16-bit column sums and 32-bit block sums whenever they cannot overflow;
    // only bands of hundreds of rows, or millions of pixels averaged into one,
    // need wider ones.
    const std::int64_t tallestBand = sH / dH + 1;
    const std::int64_t largestBlock = (sW / dW + 1) * tallestBand;
    if (tallestBand * 255 <= UINT16_MAX && largestBlock * 255 <= INT32_MAX)
        averageBands<std::uint16_t, std::int32_t>(source, dest, std::move(blockWidths));
    else
        averageBands<std::uint64_t, std::int64_t>(source, dest, std::move(blockWidths));
}

} // namespace tamblure::imaging
