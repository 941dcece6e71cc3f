// Decoding a 24-megapixel photograph at 1/8 scale: our DecodeJpegFile next to
// the same decode through plain libjpeg-turbo calls, as djpeg -scale 1/8 does
// it. The two should stay within a few per cent of each other.

#include "bench_photograph.h"
#include "imaging/bitmap24.h"
#include "jpeg/JPEG_IO.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// A photograph-like picture: broad colour gradients, a fine texture and
// sensor-like noise, so the entropy-coded data is as dense as a camera's.
std::vector<unsigned char> photoLikePixels()
{
    std::vector<unsigned char> rgb(static_cast<std::size_t>(kWidth) * kHeight * 3);
    std::mt19937 random(42);
    std::uniform_int_distribution<int> noise(-12, 12);
    unsigned char* p = rgb.data();
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const double texture = 18.0 * std::sin(x * 0.37 + std::sin(y * 0.05) * 3.0) * std::cos(y * 0.29);
            const double light = 90.0 + 60.0 * std::sin(x * 0.0011) * std::cos(y * 0.0017);
            const int base[3] = {static_cast<int>(light + texture + 40.0 * x / kWidth),
                                 static_cast<int>(light + texture * 0.8 + 30.0 * y / kHeight),
                                 static_cast<int>(light * 0.8 + texture * 0.6)};
            for (int c = 0; c < 3; ++c)
                *p++ = static_cast<unsigned char>(std::clamp(base[c] + noise(random), 0, 255));
        }
    }
    return rgb;
}

// The photograph, quality 92 with 4:2:0 chroma.
class Photograph : public tamblure::bench::BenchPhotograph {
public:
    Photograph() : BenchPhotograph("colour", {kWidth, kHeight, 3, 92, {}}, photoLikePixels()) {}
};

const Photograph& photograph()
{
    static const Photograph instance;
    return instance;
}

void BM_DecodeJpegFile_OneEighth(benchmark::State& state)
{
    const fs::path& path = photograph().path();
    for (auto _ : state) {
        tamblure::imaging::Bitmap24 raster;
        if (!tamblure::jpeg::DecodeJpegFile(&raster, path, true, 3))
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(raster.pixels());
    }
}

// What a program calling libjpeg-turbo directly does for the same picture.
void BM_PlainLibjpeg_OneEighth(benchmark::State& state)
{
    const std::string path = photograph().path().string();
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        jpeg_decompress_struct cinfo{};
        jpeg_error_mgr err{};
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_decompress(&cinfo);
        jpeg_stdio_src(&cinfo, file);
        jpeg_read_header(&cinfo, TRUE);
        cinfo.scale_num = 1;
        cinfo.scale_denom = 8;
        cinfo.out_color_space = JCS_EXT_BGR;
        jpeg_start_decompress(&cinfo);
        const std::size_t line = (cinfo.output_width * 3 + 3) / 4 * 4;
        std::vector<unsigned char> pixels(line * cinfo.output_height);
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = pixels.data() + (cinfo.output_height - 1 - cinfo.output_scanline) * line;
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        std::fclose(file);
        benchmark::DoNotOptimize(pixels.data());
    }
}

BENCHMARK(BM_DecodeJpegFile_OneEighth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainLibjpeg_OneEighth)->Unit(benchmark::kMillisecond);

} // namespace
