#pragma once

// The photographs the benchmarks decode, written once per run with libjpeg
// into temporary files that go when the program ends.

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace tamblure::bench {

struct PhotographSpec {
    int width = 0;
    int height = 0;
    int components = 3; // 1 (grey) or 3 (RGB, 4:2:0 chroma)
    int quality = 92;
    std::span<const std::uint8_t> exif; // an APP1 payload to write first, when not empty
};

class BenchPhotograph {
public:
    // Writes `pixels` (rows top first, tightly packed, spec.components bytes
    // a pixel) as a JPEG file named after `name` in the temporary folder.
    BenchPhotograph(const char* name, const PhotographSpec& spec, const std::vector<unsigned char>& pixels);
    ~BenchPhotograph();
    BenchPhotograph(const BenchPhotograph&) = delete;
    BenchPhotograph& operator=(const BenchPhotograph&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace tamblure::bench
