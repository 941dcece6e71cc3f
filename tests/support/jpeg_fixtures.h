#pragma once

// JPEG files made in the test with libjpeg, so that every fixture says what
// it holds.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <utility>
#include <vector>

namespace tamblure::test {

struct JpegSpec {
    int width = 16;
    int height = 16;
    int components = 3; // 1 (grey), 3 (YCbCr) or 4 (CMYK, Adobe's inverted convention)
    bool progressive = false;
    bool arithmetic = false;
    int quality = 90;
    std::uint32_t seed = 1; // varies the textured pattern
    // Extra segments written right after SOI: each is the marker code (0xE0
    // to 0xEF, 0xFE) and its payload (without the length field, at most
    // 65533 bytes).
    std::vector<std::pair<int, std::vector<std::uint8_t>>> segments;
    bool jfifHeader = true;    // libjpeg's own APP0 (JFIF); a CMYK file never has one
    int chromaSubsampling = 2; // 2: chroma halved both ways (4:2:0); 1: full chroma (4:4:4)
    int cmykBlack = 255;       // the K stored in every pixel of a CMYK file
    bool flat = false;         // every pixel the pattern's top-left one: scans of a few bytes
};

// The pixel that the fixture pattern puts at (x, y), as blue, green, red: red
// rises down the picture, blue rises across it, so the four corners are dark,
// blue, red and magenta; a small seeded texture on every channel keeps it
// from being flat. A grey file holds (2 × red + blue) / 3 and is given here
// in all three channels; a CMYK file gives, once decoded, each channel
// scaled by cmykBlack / 255. JPEG is lossy: compare decoded pixels with a
// tolerance.
void fixturePixel(const JpegSpec& spec, int x, int y, std::uint8_t bgr[3]);

// A default fixture of the given size and component count.
JpegSpec sized(int width, int height, int components = 3);

// The encoded file. Throws std::runtime_error when libjpeg refuses the fixture.
std::vector<std::uint8_t> makeJpeg(const JpegSpec& spec);
void writeJpeg(const std::filesystem::path& path, const JpegSpec& spec);

// A progressive file with its last scan (a refinement scan in libjpeg's
// progression) repeated `copies` more times before EOI: every copy is a
// pass over its component's blocks that refines nothing.
std::vector<std::uint8_t> withLastScanRepeated(std::vector<std::uint8_t> jpeg, int copies);

// A payload for an APP1 segment that the metadata step takes for EXIF: the
// signature, a little-endian TIFF header, an empty first directory, then
// padding up to `size` bytes.
std::vector<std::uint8_t> exifPayload(std::size_t size);

// Offset of the 0xFF of the first marker with the given code, found by
// walking the segments (so a code inside a payload is never taken); -1 when
// there is none before the entropy-coded data.
std::ptrdiff_t findMarker(const std::vector<std::uint8_t>& jpeg, int code);

// A quantisation table in natural (row by row) order.
using QuantTable = std::array<std::uint16_t, 64>;

// The quantisation tables a JPEG file defines, by table number, as libjpeg
// reads them from its header. Throws std::runtime_error when libjpeg cannot.
std::vector<QuantTable> quantTablesOf(const std::vector<std::uint8_t>& jpeg);

// The luminance and chrominance tables that libjpeg gives a colour picture
// for a quality (jpeg_set_quality, baseline values): what "quality N" means.
std::vector<QuantTable> libjpegQuantTables(int quality);

} // namespace tamblure::test
