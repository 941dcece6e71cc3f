#include "jpeg/grey_quantizer.h"

#include <algorithm>
#include <cstddef>

namespace tamblure::jpeg {

namespace {

constexpr int kLast = GreyQuantizer::kLevels - 1;

// libjpeg's formulas for one component (select_ncolors gives all 236 colours
// to it): output_value places level j between 0 and 255, and
// largest_input_value is the last sample that create_colorindex maps to it.
constexpr int outputValue(int j)
{
    return (j * 255 + kLast / 2) / kLast;
}

constexpr int largestInputValue(int j)
{
    return ((2 * j + 1) * 255 + kLast) / (2 * kLast);
}

// Errors reach the next row in sixteenths: 1 + 5 + 3 of a pixel's error at
// most, which is 9 when every error is 0 or 1.
constexpr int kMaxBelow = 9;

struct Tables {
    std::array<std::uint8_t, GreyQuantizer::kLevels> levels{};
    // The level each range-limited sample is mapped to
    // (colormap[colorindex[v]]).
    std::array<std::uint8_t, 256> nearest{};
    // For the error `below` carried from the row above and the sample `in`,
    // entry below × 256 + in holds in bit k the pixel's own error when the
    // previous pixel of the row left error k.
    std::array<std::uint8_t, (kMaxBelow + 1) * 256> next{};
};

constexpr Tables makeTables()
{
    Tables t;
    for (int j = 0; j <= kLast; ++j)
        t.levels[static_cast<std::size_t>(j)] = static_cast<std::uint8_t>(outputValue(j));
    int level = 0;
    for (int v = 0; v <= 255; ++v) {
        while (v > largestInputValue(level))
            ++level;
        t.nearest[static_cast<std::size_t>(v)] = t.levels[static_cast<std::size_t>(level)];
    }
    for (int below = 0; below <= kMaxBelow; ++below)
        for (int in = 0; in <= 255; ++in) {
            int bits = 0;
            for (int previous = 0; previous <= 1; ++previous) {
                // The previous pixel passes 7/16 of its error; the sum is
                // rounded to whole units as libjpeg does (its RIGHT_SHIFT
                // floors, after adding half).
                const int correction = (7 * previous + below + 8) >> 4;
                const int sample = std::min(in + correction, 255);
                bits |= (sample - t.nearest[static_cast<std::size_t>(sample)]) << previous;
            }
            t.next[static_cast<std::size_t>(below * 256 + in)] = static_cast<std::uint8_t>(bits);
        }
    return t;
}

constexpr Tables kTables = makeTables();

// What the whole scheme rests on: with 236 levels no sample is more than one
// unit above its level and none below it, so every error is 0 or 1, the
// error from above at most 9, and a correction (7 + 9 + 8) >> 4 = 1 at most:
// a sample plus its correction never passes 256, which the range limit
// brings back to 255.
constexpr bool errorsAreZeroOrOne()
{
    for (int v = 0; v <= 255; ++v) {
        const int error = v - kTables.nearest[static_cast<std::size_t>(v)];
        if (error != 0 && error != 1)
            return false;
    }
    return true;
}
static_assert(errorsAreZeroOrOne());
static_assert(kTables.levels.front() == 0 && kTables.levels.back() == 255);

} // namespace

GreyQuantizer::GreyQuantizer(std::int32_t width)
    : width_(width), below_(static_cast<std::size_t>(width)), errors_(static_cast<std::size_t>(width) + 2)
{
}

const std::array<std::uint8_t, GreyQuantizer::kLevels>& GreyQuantizer::levels()
{
    return kTables.levels;
}

void GreyQuantizer::quantizeRow(const std::uint8_t* in, std::uint8_t* out)
{
    const std::int32_t width = width_;
    const std::uint8_t* next = kTables.next.data();
    std::uint8_t* below = below_.data();
    // e[-1] and e[width] stay 0: no pixel there to pass or take an error.
    std::uint8_t* e = errors_.data() + 1;

    // The serial part: each pixel's error from its predecessor's, one bit.
    unsigned previous = 0;
    if (!rightToLeft_) {
        for (std::int32_t x = 0; x < width; ++x) {
            previous = next[below[x] * 256u + in[x]] >> previous & 1u;
            e[x] = static_cast<std::uint8_t>(previous);
        }
    } else {
        for (std::int32_t x = width - 1; x >= 0; --x) {
            previous = next[below[x] * 256u + in[x]] >> previous & 1u;
            e[x] = static_cast<std::uint8_t>(previous);
        }
    }

    // With every error known, each pixel's level is its sample plus its
    // correction, range-limited, less its error; and the row below receives
    // 1/16 of the error behind, 5/16 of the pixel's own and 3/16 of the one
    // ahead (in this row's direction).
    if (!rightToLeft_) {
        for (std::int32_t x = 0; x < width; ++x) {
            const unsigned correction = (7u * e[x - 1] + below[x] + 8u) >> 4;
            const unsigned sample = std::min(in[x] + correction, 255u);
            out[x] = static_cast<std::uint8_t>(sample - e[x]);
            below[x] = static_cast<std::uint8_t>(e[x - 1] + 5u * e[x] + 3u * e[x + 1]);
        }
    } else {
        for (std::int32_t x = 0; x < width; ++x) {
            const unsigned correction = (7u * e[x + 1] + below[x] + 8u) >> 4;
            const unsigned sample = std::min(in[x] + correction, 255u);
            out[x] = static_cast<std::uint8_t>(sample - e[x]);
            below[x] = static_cast<std::uint8_t>(e[x + 1] + 5u * e[x] + 3u * e[x - 1]);
        }
    }
    rightToLeft_ = !rightToLeft_;
}

} // namespace tamblure::jpeg
