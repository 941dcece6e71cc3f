#include "jpeg/grey_quantizer.h"

#include <bit>
#include <cstring>

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

struct Tables {
    std::array<std::uint8_t, GreyQuantizer::kLevels> levels{};
    // The level each range-limited sample is mapped to
    // (colormap[colorindex[v]]).
    std::array<std::uint8_t, 256> nearest{};
    // The eight bits of a byte spread over eight bytes, bit i into byte i.
    std::array<std::uint64_t, 256> spread{};
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
    for (std::uint64_t bits = 0; bits < 256; ++bits)
        for (int i = 0; i < 8; ++i)
            t.spread[bits] |= (bits >> i & 1) << (8 * i);
    return t;
}

constexpr Tables kTables = makeTables();

// A sample's error once mapped to its level, and the error of the sample one
// above (range-limited), without a table look-up, so that whole rows of them
// can be worked out at once: bit 13 of v × 1285 + 7554, which needs only 16
// bits since no higher bit takes part in it, and of the same for v + 1.
struct SampleErrors {
    std::uint8_t asIs;
    std::uint8_t corrected;
};

constexpr SampleErrors errorsOf(std::uint16_t v)
{
    const auto product = static_cast<std::uint16_t>(v * 1285u + 7554u);
    const auto next = static_cast<std::uint16_t>(product + 1285u);
    return {static_cast<std::uint8_t>(product >> 13 & 1u),
            static_cast<std::uint8_t>(next >> 13 & static_cast<unsigned>(v != 255))};
}

// What the whole scheme rests on: with 236 levels no sample is more than one
// unit above its level and none below it, so every error is 0 or 1 (which
// errorsOf gives for each sample). The row below then receives at most
// 1 + 5 + 3 = 9 sixteenths and a pixel's correction, (7 × previous error +
// error from above + 8) >> 4 as libjpeg rounds it, is 0 or 1: 1 without a
// previous error when the error from above is at least 8, which takes the
// pixel's own error and the next one's (5 + 3); 1 after a previous error
// when any of the three above is 1. A sample plus its correction passes 255
// only as 256, which the range limit brings back to 255.
constexpr bool errorsAreZeroOrOne()
{
    for (std::uint16_t v = 0; v <= 255; ++v) {
        const int error = v - kTables.nearest[v];
        const std::uint16_t limited = v == 255 ? 255 : v + 1;
        if ((error != 0 && error != 1) || error != errorsOf(v).asIs ||
            errorsOf(v).corrected != limited - kTables.nearest[limited])
            return false;
    }
    return true;
}
static_assert(errorsAreZeroOrOne());
static_assert(kTables.levels.front() == 0 && kTables.levels.back() == 255);

// Eight bytes of 0 or 1, bit i of the result being byte i: each byte's bit
// lands, through the product, in one of the top eight bits, without carries.
std::uint64_t packBytes(const std::uint8_t* bytes)
{
    std::uint64_t eight = 0;
    std::memcpy(&eight, bytes, 8);
    return eight * 0x0102040810204080u >> 56;
}

constexpr bool packsEveryPattern()
{
    for (std::uint64_t bits = 0; bits < 256; ++bits)
        if (kTables.spread[bits] * 0x0102040810204080u >> 56 != bits)
            return false;
    return true;
}
static_assert(packsEveryPattern());
static_assert(std::endian::native == std::endian::little, "packBytes reads byte i as bits 8i to 8i + 7");

// Pixel i's error is e_i = flips_i ^ (keeps_i & e_{i-1}): flips_i is its
// error after a pixel without error, keeps_i says whether an error before
// changes it. One such step after another is again one, (k2 & k1,
// f2 ^ (k2 & f1)); doubling the span six times leaves in each bit of a word
// the step from the word's start to that pixel (the start being bit 0
// upwards, bit 63 downwards).
void composeUpwards(std::uint64_t& keeps, std::uint64_t& flips)
{
    for (int span = 1; span < 64; span *= 2) {
        const std::uint64_t below = (std::uint64_t{1} << span) - 1;
        flips ^= keeps & (flips << span);
        keeps &= (keeps << span) | below;
    }
}

void composeDownwards(std::uint64_t& keeps, std::uint64_t& flips)
{
    for (int span = 1; span < 64; span *= 2) {
        const std::uint64_t above = ~(~std::uint64_t{0} >> span);
        flips ^= keeps & (flips >> span);
        keeps &= (keeps >> span) | above;
    }
}

} // namespace

GreyQuantizer::GreyQuantizer(std::int32_t width)
    : width_(width), words_((static_cast<std::size_t>(width) + 63) / 64), errors_(words_), corrections0_(words_),
      corrections1_(words_), keeps_(words_), flips_(words_), low_(words_ * 64), high_(words_ * 64)
{}

const std::array<std::uint8_t, GreyQuantizer::kLevels>& GreyQuantizer::levels()
{
    return kTables.levels;
}

void GreyQuantizer::quantizeRow(std::uint8_t* row)
{
    const auto width = static_cast<std::size_t>(width_);
    const std::size_t words = words_;
    std::uint8_t* low = low_.data();
    std::uint8_t* high = high_.data();
    std::uint64_t* e = errors_.data();

    // Each sample's error with a correction of 0 and of 1 (range-limited).
    for (std::size_t x = 0; x < width; ++x) {
        const SampleErrors errors = errorsOf(row[x]);
        low[x] = errors.asIs;
        high[x] = errors.corrected;
    }

    // The corrections that the row above decides: with corrections0 the
    // pixel is corrected whatever its predecessor's error, with corrections1
    // it is corrected after an error. The row above went the other way: its
    // pixels passed 3/16 to the one below their successor.
    const bool aboveRightToLeft = !rightToLeft_;
    const std::uint64_t lastMask = width % 64 == 0 ? ~std::uint64_t{0} : (std::uint64_t{1} << width % 64) - 1;
    for (std::size_t w = 0; w < words; ++w) {
        const std::uint64_t left = e[w] << 1 | (w > 0 ? e[w - 1] >> 63 : 0);          // e[x - 1]
        const std::uint64_t right = e[w] >> 1 | (w + 1 < words ? e[w + 1] << 63 : 0); // e[x + 1]
        const std::uint64_t c0 = e[w] & (aboveRightToLeft ? left : right);
        const std::uint64_t c1 = left | e[w] | right;
        std::uint64_t lowBits = 0, highBits = 0;
        for (int k = 0; k < 8; ++k) {
            lowBits |= packBytes(low + 64 * w + 8 * k) << (8 * k);
            highBits |= packBytes(high + 64 * w + 8 * k) << (8 * k);
        }
        const std::uint64_t afterNone = (lowBits & ~c0) | (highBits & c0);
        const std::uint64_t afterError = (lowBits & ~c1) | (highBits & c1);
        const std::uint64_t valid = w + 1 < words ? ~std::uint64_t{0} : lastMask;
        corrections0_[w] = c0;
        corrections1_[w] = c1;
        flips_[w] = afterNone & valid;
        keeps_[w] = (afterNone ^ afterError) & valid;
    }

    // The chain along the row, in the row's direction, a word at a time. A
    // row starts without error, and padding pixels keep none.
    std::uint64_t carry = 0;
    if (!rightToLeft_) {
        for (std::size_t w = 0; w < words; ++w) {
            composeUpwards(keeps_[w], flips_[w]);
            e[w] = flips_[w] ^ (keeps_[w] & (0 - carry));
            carry = e[w] >> 63;
        }
    } else {
        for (std::size_t w = words; w-- > 0;) {
            composeDownwards(keeps_[w], flips_[w]);
            e[w] = flips_[w] ^ (keeps_[w] & (0 - carry));
            carry = e[w] & 1;
        }
    }

    // Each pixel's level: its sample plus its correction, range-limited
    // (which only takes the correction back from 255), less its error.
    for (std::size_t w = 0; w < words; ++w) {
        const std::uint64_t previous = rightToLeft_ ? (e[w] >> 1 | (w + 1 < words ? e[w + 1] << 63 : 0))
                                                    : (e[w] << 1 | (w > 0 ? e[w - 1] >> 63 : 0));
        const std::uint64_t corrected = corrections0_[w] | (previous & corrections1_[w]);
        for (int k = 0; k < 8; ++k) {
            const std::uint64_t c = kTables.spread[corrected >> (8 * k) & 0xFF];
            const std::uint64_t d = kTables.spread[e[w] >> (8 * k) & 0xFF];
            std::memcpy(low + 64 * w + 8 * k, &c, 8);
            std::memcpy(high + 64 * w + 8 * k, &d, 8);
        }
    }
    for (std::size_t x = 0; x < width; ++x) {
        const std::uint8_t sample = row[x];
        const auto correction = static_cast<std::uint8_t>(low[x] & (sample != 255));
        row[x] = static_cast<std::uint8_t>(sample + correction - high[x]);
    }
    rightToLeft_ = !rightToLeft_;
}

} // namespace tamblure::jpeg
