#pragma once

// JPEG files made in the test with libjpeg, so that every fixture says what
// it holds.

#include <cstdint>
#include <filesystem>
#include <vector>

namespace tamblure::test {

struct JpegSpec {
    int width = 16;
    int height = 16;
    int components = 3;        // 1 (grey), 3 (YCbCr) or 4 (CMYK)
    bool progressive = false;
    bool arithmetic = false;
    int quality = 90;
    std::uint32_t seed = 1;    // varies the textured pattern
    // Extra segments written right after SOI: each is the marker code (0xE0
    // to 0xEF, 0xFE) and its payload (without the length field).
    std::vector<std::pair<int, std::vector<std::uint8_t>>> segments;
    bool jfifHeader = true;    // libjpeg's own APP0 (JFIF)
};

// The pixel that the fixture pattern puts at (x, y), as blue, green, red: a
// texture that is not flat, and corners that are easy to tell apart.
void fixturePixel(const JpegSpec& spec, int x, int y, std::uint8_t bgr[3]);

std::vector<std::uint8_t> makeJpeg(const JpegSpec& spec);
void writeJpeg(const std::filesystem::path& path, const JpegSpec& spec);

} // namespace tamblure::test
