#pragma once

// JPEG files that ask a decoder for far more work, or memory, than their
// bytes carry: pictures of one colour (an arithmetic coder spends almost
// nothing on a block that repeats its neighbour), frames declaring far more
// rows than the data holds, restart markers after every few blocks. Each is a
// real file made by libjpeg, row by row, so that a picture of 18900 × 18900
// is made without a raster of its size.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tamblure::test {

struct FlatSpec {
    int width = 16; // the picture the frame declares
    int height = 16;
    int components = 3; // 1 (grey), 3 (YCbCr, chroma halved both ways) or 4 (Adobe CMYK)
    bool arithmetic = false;
    bool progressive = false; // libjpeg's usual progression (jpeg_simple_progression)
    int restartInterval = 0;  // MCUs between restart markers, 0 for none
    // 0: every row is encoded; otherwise only these first rows, and the frame
    // is then rewritten to declare `height`: the data ends early.
    int encodedRows = 0;
    // Progressive: the last scan (a refinement) repeated so many more times.
    int repeatedLastScan = 0;
    // Progressive: 0 for libjpeg's usual progression; 1 to 10 for the DC of
    // every component in one scan, then each component's AC from bit
    // `refinements` on, refined a bit a scan: refinements + 2 passes over
    // every block, every scan consistent.
    int refinements = 0;
    // At least this size, comment segments after SOI filling the rest.
    std::size_t fileBytes = 0;
    std::uint8_t level = 128; // every sample of every component
};

// The file, in memory. Throws std::runtime_error when libjpeg refuses the
// spec. A progressive spec makes libjpeg hold the coefficients of all the
// encoded rows (128 bytes a block): keep encodedRows small for huge ones.
std::vector<std::uint8_t> makeFlatJpeg(const FlatSpec& spec);

// The same bytes whose frame header (any SOFn) declares width × height.
// Throws std::runtime_error when the file has no frame header.
std::vector<std::uint8_t> withDeclaredSize(std::vector<std::uint8_t> jpeg, int width, int height);

// The same bytes with comment segments after SOI that bring them to
// fileBytes (to one to three bytes more when the last segment would be too
// short); unchanged when already that long.
std::vector<std::uint8_t> withComments(std::vector<std::uint8_t> jpeg, std::size_t fileBytes);

// A short name of the file described, for file names and messages, such as
// "arith-prog-cmyk-18900x18900-rst1-cut16-rep600-ref10-2097152B".
std::string describe(const FlatSpec& spec);

} // namespace tamblure::test
