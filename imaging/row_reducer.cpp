#include "imaging/row_reducer.h"

#include "imaging/anti_alias.h"
#include "imaging/bilinear.h"
#include "imaging/reduction.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <utility>
#include <vector>

namespace tamblure::imaging {

namespace {

// ReduitFacteur's largest factor.
constexpr std::int32_t kMaxFactor = 99;

// Keeps every row and reduces the whole picture at the end, as the step did
// before rows were streamed; for the plans that need the picture whole.
class WholePicture final : public RowReducer {
public:
    WholePicture(const ReductionPlan& plan, std::int32_t width, std::int32_t height, int channels)
        : plan_(plan), channels_(channels), raster_(makeRaster24(width, height))
    {}

    void addRow(const std::uint8_t* row) override
    {
        std::uint8_t* out = raster_.scanLine(next_++);
        const auto width = static_cast<std::size_t>(raster_.width());
        if (channels_ == 3) {
            std::memcpy(out, row, 3 * width);
            return;
        }
        for (std::size_t x = 0; x < width; ++x, out += 3)
            out[0] = out[1] = out[2] = row[x];
    }

    Bitmap24 finish() override { return reduceAsPlanned(std::move(raster_), plan_); }

private:
    ReductionPlan plan_;
    int channels_;
    Bitmap24 raster_;
    std::int32_t next_ = 0;
};

// Truncated block means over a grid: band b of rows is [rowStarts[b],
// rowStarts[b + 1]), block x of a band the next blockWidths[x] columns; rows
// after the last band and columns after the last block are left out. This is
// ReduitMoyenne's grid, and ReduitFacteur's with every side the factor. A
// band's rows are added column by column as they come, and its blocks are
// worked out from those sums when its last row has come. The sums are exact
// (ColumnSum is chosen to hold a column of the tallest band, a block sum
// takes 64 bits), so each mean is the truncated quotient the whole-raster
// kernels compute.
template <typename ColumnSum>
class BlockGrid final : public RowReducer {
public:
    BlockGrid(int channels, std::vector<std::int32_t> rowStarts, std::vector<std::int32_t> blockWidths)
        : channels_(channels), rowStarts_(std::move(rowStarts)), blockWidths_(std::move(blockWidths)),
          sums_(static_cast<std::size_t>(std::accumulate(blockWidths_.begin(), blockWidths_.end(), std::int64_t{0}) *
                                         channels_)),
          dest_(makeRaster24(static_cast<std::int32_t>(blockWidths_.size()),
                             static_cast<std::int32_t>(rowStarts_.size() - 1)))
    {}

    void addRow(const std::uint8_t* row) override
    {
        const std::int32_t y = next_++;
        if (band_ == dest_.height() || dest_.width() == 0)
            return;
        ColumnSum* sums = sums_.data();
        const std::size_t count = sums_.size();
        if (y == rowStarts_[static_cast<std::size_t>(band_)]) {
            for (std::size_t i = 0; i < count; ++i)
                sums[i] = row[i];
        } else {
            for (std::size_t i = 0; i < count; ++i)
                sums[i] = static_cast<ColumnSum>(sums[i] + row[i]);
        }
        if (y + 1 == rowStarts_[static_cast<std::size_t>(band_) + 1]) {
            emitBand(y + 1 - rowStarts_[static_cast<std::size_t>(band_)], dest_.scanLine(band_));
            ++band_;
        }
    }

    Bitmap24 finish() override { return std::move(dest_); }

private:
    void emitBand(std::int32_t rows, std::uint8_t* out) const
    {
        const ColumnSum* p = sums_.data();
        for (const std::int32_t width : blockWidths_) {
            const auto area = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(rows);
            std::uint64_t sum[3] = {0, 0, 0};
            for (std::int32_t j = 0; j < width; ++j)
                for (int c = 0; c < channels_; ++c)
                    sum[c] += *p++;
            for (int c = 0; c < 3; ++c)
                out[c] = static_cast<std::uint8_t>(sum[channels_ == 1 ? 0 : c] / area);
            out += 3;
        }
    }

    int channels_;
    std::vector<std::int32_t> rowStarts_;   // one more than the bands
    std::vector<std::int32_t> blockWidths_; // one per block of a band
    std::vector<ColumnSum> sums_;           // the band's column sums so far
    Bitmap24 dest_;
    std::int32_t next_ = 0; // the next source row
    std::int32_t band_ = 0; // the band that row belongs to, or the height
};

// Which two source rows or columns a destination one reads, and the second
// one's weight in 1/256: the last one stands in for its missing neighbour.
struct Tap {
    std::int32_t first;
    std::int32_t second;
    std::uint32_t weight;
};

Tap tapFor(std::int32_t i, std::int32_t dest, std::int32_t source)
{
    const double position = samplePosition(i, dest, source);
    const auto first = static_cast<std::int32_t>(position);
    return {first, first < source - 1 ? first + 1 : source - 1, weight256(position - first)};
}

// ReduitBilineaire's fixed-point path. Destination rows read source rows
// further and further down, so the last two rows that came are enough: a
// destination row is made as soon as its second row has come, its first one
// being that row or the one before.
class Bilinear final : public RowReducer {
public:
    Bilinear(std::int32_t sourceWidth, std::vector<Tap> rows, std::int32_t destWidth, int channels)
        : channels_(channels), rows_(std::move(rows)),
          dest_(makeRaster24(destWidth, static_cast<std::int32_t>(rows_.size())))
    {
        const auto rowBytes = static_cast<std::size_t>(sourceWidth) * static_cast<std::size_t>(channels);
        window_[0].resize(rowBytes);
        window_[1].resize(rowBytes);
        columns_.reserve(static_cast<std::size_t>(destWidth));
        for (std::int32_t x = 0; x < destWidth; ++x)
            columns_.push_back(tapFor(x, destWidth, sourceWidth));
    }

    void addRow(const std::uint8_t* row) override
    {
        const std::int32_t y = next_++;
        const auto count = rows_.size();
        if (done_ == count)
            return;
        std::vector<std::uint8_t>& kept = window_[y & 1];
        std::memcpy(kept.data(), row, kept.size());
        while (done_ < count && rows_[done_].second == y) {
            const Tap& tap = rows_[done_];
            interpolate(window_[tap.first & 1].data(), kept.data(), tap.weight,
                        dest_.scanLine(static_cast<std::int32_t>(done_)));
            ++done_;
        }
    }

    Bitmap24 finish() override { return std::move(dest_); }

private:
    // The whole-raster kernel's sum for each channel: weights in 1/256, the
    // four-term sum within 255 × 65536, shifted right by 16 (truncated).
    void interpolate(const std::uint8_t* upper, const std::uint8_t* lower, std::uint32_t wy, std::uint8_t* out) const
    {
        const std::uint32_t wu = 256 - wy;
        const auto channels = static_cast<std::size_t>(channels_);
        for (const Tap& column : columns_) {
            const std::size_t left = static_cast<std::size_t>(column.first) * channels;
            const std::size_t right = static_cast<std::size_t>(column.second) * channels;
            const std::uint32_t wr = column.weight;
            const std::uint32_t wl = 256 - wr;
            for (std::size_t c = 0; c < 3; ++c) {
                const std::size_t k = channels == 1 ? 0 : c;
                const std::uint32_t v = upper[left + k] * wl * wu + upper[right + k] * wr * wu +
                                        lower[left + k] * wl * wy + lower[right + k] * wr * wy;
                out[c] = static_cast<std::uint8_t>(v >> 16);
            }
            out += 3;
        }
    }

    int channels_;
    std::vector<Tap> rows_; // one per destination row
    std::vector<Tap> columns_;
    std::vector<std::uint8_t> window_[2]; // source row y is kept in window_[y & 1]
    Bitmap24 dest_;
    std::int32_t next_ = 0;
    std::size_t done_ = 0; // destination rows made
};

// 16-bit column sums, half the work of 32-bit ones, whenever the tallest
// band cannot overflow them (257 rows).
std::unique_ptr<RowReducer> blockGrid(int channels, std::vector<std::int32_t> rowStarts,
                                      std::vector<std::int32_t> blockWidths)
{
    std::int64_t tallest = 0;
    for (std::size_t b = 1; b < rowStarts.size(); ++b)
        tallest = std::max<std::int64_t>(tallest, rowStarts[b] - rowStarts[b - 1]);
    if (tallest * 255 <= UINT16_MAX)
        return std::make_unique<BlockGrid<std::uint16_t>>(channels, std::move(rowStarts), std::move(blockWidths));
    return std::make_unique<BlockGrid<std::uint32_t>>(channels, std::move(rowStarts), std::move(blockWidths));
}

std::unique_ptr<RowReducer> byFactor(const ReductionPlan& plan, std::int32_t width, std::int32_t height, int channels)
{
    const std::int32_t f = plan.factor;
    if (f < 2 || f > kMaxFactor)
        return std::make_unique<WholePicture>(plan, width, height, channels);
    std::vector<std::int32_t> rowStarts(static_cast<std::size_t>(height / f) + 1);
    for (std::size_t b = 0; b < rowStarts.size(); ++b)
        rowStarts[b] = static_cast<std::int32_t>(b) * f;
    return blockGrid(channels, std::move(rowStarts), std::vector<std::int32_t>(static_cast<std::size_t>(width / f), f));
}

std::unique_ptr<RowReducer> toSize(const ReductionPlan& plan, std::int32_t width, std::int32_t height, int channels)
{
    const std::int32_t dW = plan.width, dH = plan.height;
    // A thumbnail without columns, or one that Bitmap24 cannot size, fails
    // as ReduitTaille or the raster makes it fail.
    if (dW <= 0 || dH < 0)
        return std::make_unique<WholePicture>(plan, width, height, channels);
    if (static_cast<double>(width) / static_cast<double>(dW) >= 2.0) {
        if (dH > height)
            return std::make_unique<WholePicture>(plan, width, height, channels);
        std::vector<std::int32_t> rowStarts(static_cast<std::size_t>(dH) + 1);
        for (std::int32_t b = 0; b <= dH; ++b)
            rowStarts[static_cast<std::size_t>(b)] = dH == 0 ? 0 : blockStart(height, b, dH);
        std::vector<std::int32_t> blockWidths(static_cast<std::size_t>(dW));
        for (std::int32_t x = 0; x < dW; ++x)
            blockWidths[static_cast<std::size_t>(x)] = blockStart(width, x + 1, dW) - blockStart(width, x, dW);
        return blockGrid(channels, std::move(rowStarts), std::move(blockWidths));
    }
    std::vector<Tap> rows;
    rows.reserve(static_cast<std::size_t>(dH));
    for (std::int32_t y = 0; y < dH; ++y) {
        rows.push_back(tapFor(y, dH, height));
        // A sample past the last row makes the whole-raster kernel fail on
        // its row look-up.
        if (rows.back().first >= height)
            return std::make_unique<WholePicture>(plan, width, height, channels);
    }
    return std::make_unique<Bilinear>(width, std::move(rows), dW, channels);
}

} // namespace

std::unique_ptr<RowReducer> makeRowReducer(const ReductionPlan& plan, std::int32_t sourceWidth,
                                           std::int32_t sourceHeight, int channels)
{
    assert(sourceWidth >= 1 && sourceHeight >= 1 && (channels == 1 || channels == 3) && plan.factor >= 1);
    if (plan.kind == ReductionPlan::Kind::ByFactor)
        return byFactor(plan, sourceWidth, sourceHeight, channels);
    return toSize(plan, sourceWidth, sourceHeight, channels);
}

} // namespace tamblure::imaging
