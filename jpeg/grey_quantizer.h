#pragma once

// The greys of a greyscale photograph as libjpeg-turbo's one-pass quantizer
// leaves them when asked for 236 colours with its default dithering
// (Floyd–Steinberg): the full-size route has always shown greyscale
// photographs through that 236-entry palette, so every thumbnail of one
// depends on the exact dithered value of each pixel.
//
// libjpeg's loop serves any number of components and levels, and spends most
// of a greyscale picture's decoding time there. Here the same arithmetic is
// kept for one component and 236 levels only, where the dithering error of a
// pixel is 0 or 1 (checked when the tables are built). A pixel's error then
// depends on its predecessor's through one of four functions of one bit
// (0, 1, the same, the opposite), which the row's samples and the errors of
// the row above decide in advance; the chain along the row is solved 64
// pixels at a time on bit masks, and nothing else is serial.
//
// Row for row, quantizeRow gives the grey of the palette entry that libjpeg
// 2.1.5 (jquant1.c, quantize_fs_dither) picks for the same samples: the same
// colour map and index table, the errors in sixteenths carried 7/16 to the
// next pixel and 3/16, 5/16, 1/16 to the row below, rows taken left to right
// then right to left in turn from the first one, sums range-limited to 0-255,
// and errors starting at zero for each picture.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tamblure::jpeg {

class GreyQuantizer {
public:
    static constexpr int kLevels = 236;

    // For a picture `width` pixels wide (at least 1); starts at its top row.
    explicit GreyQuantizer(std::int32_t width);

    // The grey of each palette entry, darkest first: libjpeg's colour map.
    static const std::array<std::uint8_t, kLevels>& levels();

    // Quantises the picture's next row in place: each of its `width` samples
    // becomes the grey of the palette entry chosen for it.
    void quantizeRow(std::uint8_t* row);

private:
    std::int32_t width_;
    std::size_t words_; // 64-pixel words of a row, the last one padded
    bool rightToLeft_ = false;
    // One bit per pixel, bit i of word w being pixel 64 w + i: each pixel's
    // error in the row quantised last (0 in the padding), and the work masks
    // of a row.
    std::vector<std::uint64_t> errors_, corrections0_, corrections1_, keeps_, flips_;
    // One byte per pixel, padded to whole words: work rows.
    std::vector<std::uint8_t> low_, high_;
};

} // namespace tamblure::jpeg
