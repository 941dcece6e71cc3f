#include "imaging/row_reducer.h"

#include "imaging/anti_alias.h"
#include "imaging/bilinear.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <numeric>
#include <utility>
#include <vector>

namespace tamblure::imaging {

namespace {

// The working part of a reduction: it takes the source's rows, top row
// first, and writes each row of the result into dest when the rows that row
// needs have come. Only the bytes of dest's pixels are written, never its
// padding.
class RowKernel {
public:
    virtual ~RowKernel() = default;
    virtual void addRow(const std::uint8_t* row) = 0;
};

// Writes a result pixel from the reduction of each channel of the rows,
// value(c) for channel c: a grey row's one value goes to blue, green and red
// alike.
template <std::size_t Channels, typename Value>
inline void writePixel(std::uint8_t* out, Value value)
{
    if constexpr (Channels == 1)
        out[0] = out[1] = out[2] = value(0);
    else
        for (std::size_t c = 0; c < 3; ++c)
            out[c] = value(c);
}

// The quotient of a block sum by the block's pixel count, without a division
// instruction: s div d = (s × m) >> 55 with m = ceil(2^55 / d). With
// m × d = 2^55 + e (0 <= e < d) the product overshoots s / d by s × e / 2^55,
// which stays below the gap to the next whole number as long as s × e < 2^55:
// true for s <= 255 × d whenever the sums fit 32 bits (d <= 8 421 504).
class BlockDivisor {
public:
    explicit BlockDivisor(std::uint64_t pixels) : multiplier_(((std::uint64_t{1} << kShift) + pixels - 1) / pixels) {}
    std::uint8_t mean(std::uint32_t sum) const { return static_cast<std::uint8_t>(sum * multiplier_ >> kShift); }

private:
    static constexpr int kShift = 55;
    std::uint64_t multiplier_;
};

// Truncated block means over a grid: band b of rows is [rowStarts[b],
// rowStarts[b + 1]), block x of a band the next blockWidths[x] columns; rows
// after the last band and columns after the last block are left out. A band
// is reduced in two passes. Its rows are added byte by byte, as they come,
// into one row of column sums: a plain loop over contiguous bytes that the
// compiler vectorises. When its last row has come, the blocks add up their
// columns side by side, from column 0, each starting where the one before
// ended. Integer sums do not depend on the order of the additions, so each
// result is the truncated mean of its block.
//
// ColumnSum holds one column of the tallest band, BlockSum the largest block:
// blockGrid() picks types that cannot overflow. 32-bit block sums are divided
// by BlockDivisor; block widths differ by one at most, so two divisors serve
// a band.
template <typename ColumnSum, typename BlockSum>
class BlockGrid final : public RowKernel {
public:
    BlockGrid(Bitmap24& dest, int channels, std::vector<std::int32_t> rowStarts, std::vector<std::int32_t> blockWidths)
        : dest_(dest), channels_(channels), rowStarts_(std::move(rowStarts)), blockWidths_(std::move(blockWidths)),
          narrowest_(*std::min_element(blockWidths_.begin(), blockWidths_.end())),
          sums_(static_cast<std::size_t>(std::accumulate(blockWidths_.begin(), blockWidths_.end(), std::int64_t{0}) *
                                         channels))
    {}

    void addRow(const std::uint8_t* row) override
    {
        const std::int32_t y = next_++;
        const auto band = static_cast<std::size_t>(band_);
        if (band + 1 == rowStarts_.size())
            return;
        ColumnSum* const sums = sums_.data();
        const std::size_t count = sums_.size();
        if (y == rowStarts_[band]) {
            for (std::size_t i = 0; i < count; ++i)
                sums[i] = row[i];
        } else {
            for (std::size_t i = 0; i < count; ++i)
                sums[i] = static_cast<ColumnSum>(sums[i] + row[i]);
        }
        if (y + 1 == rowStarts_[band + 1]) {
            const std::int32_t rows = y + 1 - rowStarts_[band];
            std::uint8_t* out = dest_.rowAddress(band_++);
            if (channels_ == 3)
                emitBand<3>(rows, out);
            else
                emitBand<1>(rows, out);
        }
    }

private:
    template <std::size_t Channels>
    void emitBand(std::int32_t rows, std::uint8_t* out) const
    {
        const auto area = [rows](std::int32_t width) {
            return static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(rows);
        };
        const std::int32_t narrowest = narrowest_;
        const BlockDivisor narrow(area(narrowest));
        const BlockDivisor wide(area(narrowest + 1));
        const ColumnSum* p = sums_.data();
        for (const std::int32_t width : blockWidths_) {
            BlockSum sum[Channels] = {};
            for (std::int32_t j = 0; j < width; ++j, p += Channels)
                for (std::size_t c = 0; c < Channels; ++c)
                    sum[c] += p[c];
            writePixel<Channels>(out, [&](std::size_t c) {
                if constexpr (sizeof(BlockSum) == 4)
                    return (width == narrowest ? narrow : wide).mean(sum[c]);
                else
                    return static_cast<std::uint8_t>(sum[c] / area(width));
            });
            out += 3;
        }
    }

    Bitmap24& dest_;
    int channels_;
    std::vector<std::int32_t> rowStarts_;   // one more than the bands
    std::vector<std::int32_t> blockWidths_; // one per block of a band
    std::int32_t narrowest_;
    std::vector<ColumnSum> sums_; // the band's column sums so far
    std::int32_t next_ = 0;       // the next source row
    std::int32_t band_ = 0;       // the band that row belongs to, or the bands' count
};

// 16-bit column sums, half the work of wider ones, and 32-bit block sums
// whenever the tallest band and the largest block cannot overflow them; only
// bands of hundreds of rows, or millions of pixels averaged into one, need
// 64 bits.
std::unique_ptr<RowKernel> blockGrid(Bitmap24& dest, int channels, std::vector<std::int32_t> rowStarts,
                                     std::vector<std::int32_t> blockWidths)
{
    std::int64_t tallest = 0;
    for (std::size_t b = 1; b < rowStarts.size(); ++b)
        tallest = std::max<std::int64_t>(tallest, rowStarts[b] - rowStarts[b - 1]);
    const std::int64_t largest = tallest * *std::max_element(blockWidths.begin(), blockWidths.end());
    if (tallest * 255 <= UINT16_MAX && largest * 255 <= INT32_MAX)
        return std::make_unique<BlockGrid<std::uint16_t, std::uint32_t>>(dest, channels, std::move(rowStarts),
                                                                         std::move(blockWidths));
    return std::make_unique<BlockGrid<std::uint64_t, std::uint64_t>>(dest, channels, std::move(rowStarts),
                                                                     std::move(blockWidths));
}

// Factor 2, by far the most frequent, reads its two rows directly: each
// channel of the 2 × 2 block p q / r s is (p + q + r + s) >> 2, the truncated
// mean. The upper row is read in place when rows stay where they are (a whole
// raster's), else from a copy.
class Halves final : public RowKernel {
public:
    Halves(Bitmap24& dest, int channels, bool rowsStay) : dest_(dest), channels_(channels)
    {
        if (!rowsStay)
            copy_.resize(static_cast<std::size_t>(dest.width()) * 2 * static_cast<std::size_t>(channels));
    }

    void addRow(const std::uint8_t* row) override
    {
        const std::int32_t y = next_++;
        if (y >= 2 * dest_.height())
            return;
        if (y % 2 == 0) {
            upper_ =
                copy_.empty() ? row : static_cast<const std::uint8_t*>(std::memcpy(copy_.data(), row, copy_.size()));
            return;
        }
        std::uint8_t* out = dest_.rowAddress(y / 2);
        if (channels_ == 3)
            halve<3>(upper_, row, out);
        else
            halve<1>(upper_, row, out);
    }

private:
    template <std::size_t Channels>
    void halve(const std::uint8_t* upper, const std::uint8_t* lower, std::uint8_t* out) const
    {
        const std::int32_t width = dest_.width();
        for (std::int32_t x = 0; x < width; ++x) {
            writePixel<Channels>(out, [&](std::size_t c) {
                return static_cast<std::uint8_t>((upper[c] + upper[c + Channels] + lower[c] + lower[c + Channels]) >>
                                                 2);
            });
            upper += 2 * Channels;
            lower += 2 * Channels;
            out += 3;
        }
    }

    Bitmap24& dest_;
    int channels_;
    std::vector<std::uint8_t> copy_;
    const std::uint8_t* upper_ = nullptr;
    std::int32_t next_ = 0;
};

// Factor f: dest.height() bands of f rows and dest.width() blocks of f
// columns from the top left corner; the source's other rows and columns are
// left out.
std::unique_ptr<RowKernel> boxGrid(Bitmap24& dest, int channels, std::int32_t f, bool rowsStay)
{
    if (f == 2)
        return std::make_unique<Halves>(dest, channels, rowsStay);
    std::vector<std::int32_t> rowStarts(static_cast<std::size_t>(dest.height()) + 1);
    for (std::size_t b = 0; b < rowStarts.size(); ++b)
        rowStarts[b] = static_cast<std::int32_t>(b) * f;
    return blockGrid(dest, channels, std::move(rowStarts),
                     std::vector<std::int32_t>(static_cast<std::size_t>(dest.width()), f));
}

// The first source row or column of block i when `source` pixels are shared
// out among `dest` blocks (0 <= i <= dest). 64-bit product: two sides of a
// large raster multiplied together can pass 32 bits.
std::int32_t blockStart(std::int32_t source, std::int32_t i, std::int32_t dest)
{
    return static_cast<std::int32_t>(std::int64_t{source} * i / dest);
}

// The area average's grid: every source pixel in exactly one block, block
// sides differing by one at most.
std::unique_ptr<RowKernel> areaGrid(Bitmap24& dest, int channels, std::int32_t sourceWidth, std::int32_t sourceHeight)
{
    const std::int32_t dW = dest.width(), dH = dest.height();
    std::vector<std::int32_t> rowStarts(static_cast<std::size_t>(dH) + 1);
    for (std::int32_t b = 0; b <= dH; ++b)
        rowStarts[static_cast<std::size_t>(b)] = blockStart(sourceHeight, b, dH);
    std::vector<std::int32_t> blockWidths(static_cast<std::size_t>(dW));
    for (std::int32_t x = 0; x < dW; ++x)
        blockWidths[static_cast<std::size_t>(x)] = blockStart(sourceWidth, x + 1, dW) - blockStart(sourceWidth, x, dW);
    return blockGrid(dest, channels, std::move(rowStarts), std::move(blockWidths));
}

// Which two source rows or columns a destination one reads, and the second
// one's weight in 1/256 (ties to even, the default rounding mode): the last
// one stands in for its missing neighbour. A sample lies before the last
// pixel: (i / dest) × source falls short of source by source / dest or more,
// far above the rounding of either product.
struct Tap {
    std::int32_t first;
    std::int32_t second;
    std::uint32_t weight;
};

Tap tapFor(std::int32_t i, std::int32_t dest, std::int32_t source)
{
    const double position = samplePosition(i, dest, source);
    const auto first = static_cast<std::int32_t>(position);
    return {first, first < source - 1 ? first + 1 : source - 1,
            static_cast<std::uint32_t>(std::nearbyint((position - first) * 256.0))};
}

// Fixed point: weights in 1/256, so that the four-term sum stays within
// 255 × 65536 and the result is the sum shifted right by 16 (truncated).
// Destination rows read source rows further and further down, so the last
// two rows that came are enough: a destination row is made as soon as its
// second row has come, its first one being that row or the one before. Rows
// above the next destination row's first one are not needed. Rows that stay
// where they are (a whole raster's) are read in place; a decoder's are
// copied into a window of two.
class Bilinear final : public RowKernel {
public:
    Bilinear(Bitmap24& dest, std::int32_t sourceWidth, std::int32_t sourceHeight, int channels, bool rowsStay)
        : dest_(dest), channels_(channels)
    {
        for (std::int32_t y = 0; y < dest.height(); ++y)
            rows_.push_back(tapFor(y, dest.height(), sourceHeight));
        for (std::int32_t x = 0; x < dest.width(); ++x) {
            const Tap tap = tapFor(x, dest.width(), sourceWidth);
            columns_.push_back({tap.first * channels, tap.second * channels, tap.weight});
        }
        if (!rowsStay)
            for (std::vector<std::uint8_t>& kept : window_)
                kept.resize(static_cast<std::size_t>(sourceWidth) * static_cast<std::size_t>(channels));
    }

    void addRow(const std::uint8_t* row) override
    {
        const std::int32_t y = next_++;
        if (done_ == rows_.size() || rows_[done_].first > y)
            return;
        if (!window_[0].empty()) {
            std::vector<std::uint8_t>& kept = window_[y & 1];
            std::memcpy(kept.data(), row, kept.size());
            row = kept.data();
        }
        for (; done_ < rows_.size() && rows_[done_].second == y; ++done_) {
            const Tap& tap = rows_[done_];
            const std::uint8_t* upper = tap.first == y ? row : previous_;
            std::uint8_t* out = dest_.rowAddress(static_cast<std::int32_t>(done_));
            if (channels_ == 3)
                interpolate<3>(upper, row, tap.weight, out);
            else
                interpolate<1>(upper, row, tap.weight, out);
        }
        previous_ = row;
    }

private:
    template <std::size_t Channels>
    void interpolate(const std::uint8_t* upper, const std::uint8_t* lower, std::uint32_t wy, std::uint8_t* out) const
    {
        const std::uint32_t wu = 256 - wy;
        for (const Tap& column : columns_) {
            const std::uint8_t* ul = upper + column.first;
            const std::uint8_t* ur = upper + column.second;
            const std::uint8_t* ll = lower + column.first;
            const std::uint8_t* lr = lower + column.second;
            const std::uint32_t wr = column.weight;
            const std::uint32_t wl = 256 - wr;
            writePixel<Channels>(out, [&](std::size_t c) {
                const std::uint32_t v = ul[c] * wl * wu + ur[c] * wr * wu + ll[c] * wl * wy + lr[c] * wr * wy;
                return static_cast<std::uint8_t>(v >> 16);
            });
            out += 3;
        }
    }

    Bitmap24& dest_;
    int channels_;
    std::vector<Tap> rows_;               // one per destination row
    std::vector<Tap> columns_;            // one per destination column, in bytes
    std::vector<std::uint8_t> window_[2]; // a decoder's row y is kept in window_[y & 1]
    const std::uint8_t* previous_ = nullptr;
    std::int32_t next_ = 0;
    std::size_t done_ = 0; // destination rows made
};

// Factor 1 keeps the picture whole: each row copied, grey widened.
class Copy final : public RowKernel {
public:
    Copy(Bitmap24& dest, int channels) : dest_(dest), channels_(channels) {}

    void addRow(const std::uint8_t* row) override
    {
        std::uint8_t* out = dest_.scanLine(next_++);
        const auto width = static_cast<std::size_t>(dest_.width());
        if (channels_ == 3) {
            std::memcpy(out, row, 3 * width);
            return;
        }
        for (std::size_t x = 0; x < width; ++x, out += 3)
            out[0] = out[1] = out[2] = row[x];
    }

private:
    Bitmap24& dest_;
    int channels_;
    std::int32_t next_ = 0;
};

// A decoder's rows into the result's raster, which has no kernel when it has
// no pixel; or, for a plan the reductions refuse, no raster, and a check that
// raises at the end what the whole-raster route raised for the plan.
class Streamed final : public RowReducer {
public:
    template <typename MakeKernel>
    Streamed(std::int32_t width, std::int32_t height, MakeKernel makeKernel) : dest_(makeRaster24(width, height))
    {
        if (width > 0 && height > 0)
            kernel_ = makeKernel(dest_);
    }
    explicit Streamed(std::function<void()> refusal) : refusal_(std::move(refusal)) {}

    void addRow(const std::uint8_t* row) override
    {
        if (kernel_)
            kernel_->addRow(row);
    }

    Bitmap24 finish() override
    {
        if (refusal_)
            refusal_();
        return std::move(dest_);
    }

private:
    Bitmap24 dest_;
    std::unique_ptr<RowKernel> kernel_;
    std::function<void()> refusal_;
};

void feed(const Bitmap24& source, std::int32_t rows, RowKernel& kernel)
{
    for (std::int32_t y = 0; y < rows; ++y)
        kernel.addRow(source.scanLine(y));
}

} // namespace

std::unique_ptr<RowReducer> makeRowReducer(const ReductionPlan& plan, std::int32_t sourceWidth,
                                           std::int32_t sourceHeight, int channels)
{
    assert(sourceWidth >= 1 && sourceHeight >= 1 && (channels == 1 || channels == 3) && plan.factor >= 1);
    const std::int32_t sW = sourceWidth, sH = sourceHeight;
    if (plan.kind == ReductionPlan::Kind::ByFactor) {
        const std::int32_t f = plan.factor;
        if (f == 1)
            return std::make_unique<Streamed>(sW, sH,
                                              [&](Bitmap24& dest) { return std::make_unique<Copy>(dest, channels); });
        if (f > kMaxFactor)
            return std::make_unique<Streamed>([f] { checkFactor(f); });
        return std::make_unique<Streamed>(sW / f, sH / f,
                                          [&](Bitmap24& dest) { return boxGrid(dest, channels, f, false); });
    }
    const std::int32_t dW = plan.width, dH = plan.height;
    // The thumbnail's raster, then ReduitTaille's division by its width.
    if (dW <= 0 || dH < 0)
        return std::make_unique<Streamed>([=] {
            Bitmap24::checkSize(PixelFormat::Bits24, dW, dH);
            checkWidthRatio(sW, dW);
        });
    if (static_cast<double>(sW) / static_cast<double>(dW) < 2.0)
        return std::make_unique<Streamed>(
            dW, dH, [&](Bitmap24& dest) { return std::make_unique<Bilinear>(dest, sW, sH, channels, false); });
    if (dH > sH)
        return std::make_unique<Streamed>([=] {
            Bitmap24::checkSize(PixelFormat::Bits24, dW, dH);
            checkNotLarger(sW, sH, dW, dH);
        });
    return std::make_unique<Streamed>(dW, dH, [&](Bitmap24& dest) { return areaGrid(dest, channels, sW, sH); });
}

void reduceBlocks(const Bitmap24& source, Bitmap24& dest, std::int32_t factor)
{
    feed(source, factor * dest.height(), *boxGrid(dest, 3, factor, true));
}

void averageBlocks(const Bitmap24& source, Bitmap24& dest)
{
    feed(source, source.height(), *areaGrid(dest, 3, source.width(), source.height()));
}

void interpolateRows(const Bitmap24& source, Bitmap24& dest)
{
    Bilinear kernel(dest, source.width(), source.height(), 3, true);
    feed(source, source.height(), kernel);
}

} // namespace tamblure::imaging
