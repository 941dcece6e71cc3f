// The stages of the full-size route that greyscale photographs take: the
// whole-picture decode (float DCT, block smoothing, quantised to 236 greys,
// widened to 24 bits), the area average down to the thumbnail, and the
// thumbnail's encoding. Each stage is timed on its own.

#include "imaging/bitmap24.h"
#include "imaging/reduction.h"
#include "jpeg/JPEG_IO.h"
#include "jpeg/jpeg_image.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

namespace fs = std::filesystem;
using tamblure::imaging::Bitmap24;
using tamblure::imaging::PixelFormat;

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// A 12-megapixel greyscale photograph-like picture at quality 92, written once.
class GreyPhotograph {
public:
    GreyPhotograph()
    {
        path_ = fs::temp_directory_path() / ("tamblure-bench-grey-" + std::to_string(std::random_device{}()) + ".jpg");
        std::vector<unsigned char> grey(static_cast<std::size_t>(kWidth) * kHeight);
        std::mt19937 random(7);
        std::normal_distribution<double> noise(0.0, 6.0);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const double v = 110 + 60 * std::sin(x * 0.0013) * std::cos(y * 0.0021) +
                                 20 * std::sin(x * 0.31 + y * 0.07) + noise(random);
                grey[static_cast<std::size_t>(y) * kWidth + x] =
                    static_cast<unsigned char>(std::max(0.0, std::min(255.0, v)));
            }
        std::FILE* file = std::fopen(path_.c_str(), "wb");
        if (file == nullptr)
            throw std::runtime_error("cannot write the benchmark photograph");
        jpeg_compress_struct c{};
        jpeg_error_mgr err{};
        c.err = jpeg_std_error(&err);
        jpeg_create_compress(&c);
        jpeg_stdio_dest(&c, file);
        c.image_width = kWidth;
        c.image_height = kHeight;
        c.input_components = 1;
        c.in_color_space = JCS_GRAYSCALE;
        jpeg_set_defaults(&c);
        jpeg_set_quality(&c, 92, TRUE);
        jpeg_start_compress(&c, TRUE);
        while (c.next_scanline < c.image_height) {
            JSAMPROW row = grey.data() + static_cast<std::size_t>(c.next_scanline) * kWidth;
            jpeg_write_scanlines(&c, &row, 1);
        }
        jpeg_finish_compress(&c);
        jpeg_destroy_compress(&c);
        std::fclose(file);
    }
    ~GreyPhotograph() { fs::remove(path_); }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

const GreyPhotograph& photograph()
{
    static const GreyPhotograph instance;
    return instance;
}

void BM_GreyFullSizeDecode(benchmark::State& state)
{
    for (auto _ : state) {
        Bitmap24 raster;
        tamblure::jpeg::DecodeJpegFullSize(raster, photograph().path());
        benchmark::DoNotOptimize(raster.pixels());
    }
}
BENCHMARK(BM_GreyFullSizeDecode)->Unit(benchmark::kMillisecond);

void BM_GreyAreaAverageToThumbnail(benchmark::State& state)
{
    Bitmap24 source;
    tamblure::jpeg::DecodeJpegFullSize(source, photograph().path());
    for (auto _ : state) {
        Bitmap24 small;
        small.setPixelFormat(PixelFormat::Bits24);
        small.setSize(200, 150);
        tamblure::imaging::ReduitTaille(source, small);
        benchmark::DoNotOptimize(small.pixels());
    }
}
BENCHMARK(BM_GreyAreaAverageToThumbnail)->Unit(benchmark::kMillisecond);

void BM_ThumbnailEncode(benchmark::State& state)
{
    Bitmap24 source;
    tamblure::jpeg::DecodeJpegFullSize(source, photograph().path());
    Bitmap24 small;
    small.setPixelFormat(PixelFormat::Bits24);
    small.setSize(200, 150);
    tamblure::imaging::ReduitTaille(source, small);
    const fs::path target = photograph().path().string() + ".thumb.jpg";
    for (auto _ : state)
        tamblure::jpeg::EncodeJpegFile(small, target, 75);
    fs::remove(target);
}
BENCHMARK(BM_ThumbnailEncode)->Unit(benchmark::kMillisecond);

} // namespace
