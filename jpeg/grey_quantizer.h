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
// pixel is 0 or 1 (checked when the tables are built): what passes from one
// pixel to the next is one bit, so the serial part of each row is a table
// look-up per pixel and the rest runs over whole rows.
//
// Row for row, quantizeRow gives the grey of the palette entry that libjpeg
// 2.1.5 (jquant1.c, quantize_fs_dither) picks for the same samples: the same
// colour map and index table, the errors in sixteenths carried 7/16 to the
// next pixel and 3/16, 5/16, 1/16 to the row below, rows taken left to right
// then right to left in turn from the first one, sums range-limited to 0-255,
// and errors starting at zero for each picture.

#include <array>
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

    // Quantises the picture's next row: `width` samples in, the grey of the
    // chosen palette entry out, pixel for pixel. in and out may be the same.
    void quantizeRow(const std::uint8_t* in, std::uint8_t* out);

private:
    std::int32_t width_;
    bool rightToLeft_ = false;
    // Errors carried into this row from the one above, in sixteenths (0-9),
    // one per pixel: what libjpeg's error array holds for the row.
    std::vector<std::uint8_t> below_;
    // Each pixel's error in this row (0 or 1), with a zero on either side so
    // that a pixel's neighbours can be read without a test at the edges.
    std::vector<std::uint8_t> errors_;
};

} // namespace tamblure::jpeg
