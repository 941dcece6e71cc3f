// The full-size route that greyscale photographs take, on a 12-megapixel
// picture: the whole picture decoded (a factor of 1), the area average of a
// whole raster down to the thumbnail, and the streamed decode that quantises
// and reduces a band of rows at a time, whole, and its parts (the plain
// decode, libjpeg's quantizer for comparison, ours, the streamed area
// average). And the thumbnail's encoding. Each is timed on its own.

#include "bench_photograph.h"
#include "common/file_io.h"
#include "imaging/bitmap24.h"
#include "imaging/reduction.h"
#include "imaging/row_reducer.h"
#include "jpeg/JPEG_IO.h"
#include "jpeg/grey_quantizer.h"
#include "jpeg/streamed_decode.h"

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

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

std::vector<unsigned char> greyPixels()
{
    std::vector<unsigned char> grey(static_cast<std::size_t>(kWidth) * kHeight);
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 6.0);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const double v = 110 + 60 * std::sin(x * 0.0013) * std::cos(y * 0.0021) +
                             20 * std::sin(x * 0.31 + y * 0.07) + noise(random);
            grey[static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x)] =
                static_cast<unsigned char>(std::max(0.0, std::min(255.0, v)));
        }
    return grey;
}

// A 12-megapixel greyscale photograph-like picture at quality 92.
class GreyPhotograph : public tamblure::bench::BenchPhotograph {
public:
    GreyPhotograph() : BenchPhotograph("grey", {kWidth, kHeight, 1, 92, {}}, greyPixels()) {}
};

const GreyPhotograph& photograph()
{
    static const GreyPhotograph instance;
    return instance;
}

// The photograph read as the step reads it, then decoded under the plan.
Bitmap24 decodedUnder(const tamblure::imaging::ReductionPlan& plan)
{
    const tamblure::PhotographBytes file(photograph().path());
    return tamblure::jpeg::DecodeJpegFullSizeReduced(file.bytes(), plan).raster;
}

Bitmap24 wholePicture()
{
    return decodedUnder(tamblure::imaging::ReductionPlan::byFactor(1));
}

void BM_GreyFullSizeDecode(benchmark::State& state)
{
    for (auto _ : state) {
        Bitmap24 raster = wholePicture();
        benchmark::DoNotOptimize(raster.pixels());
    }
}
BENCHMARK(BM_GreyFullSizeDecode)->Unit(benchmark::kMillisecond);

void BM_GreyAreaAverageToThumbnail(benchmark::State& state)
{
    const Bitmap24 source = wholePicture();
    for (auto _ : state) {
        Bitmap24 small = tamblure::imaging::makeRaster24(200, 150);
        tamblure::imaging::ReduitTaille(source, small);
        benchmark::DoNotOptimize(small.pixels());
    }
}
BENCHMARK(BM_GreyAreaAverageToThumbnail)->Unit(benchmark::kMillisecond);

void BM_GreyStreamedToThumbnail(benchmark::State& state)
{
    const auto plan = tamblure::imaging::ReductionPlan::toSize(200, 150);
    for (auto _ : state) {
        Bitmap24 small = decodedUnder(plan);
        benchmark::DoNotOptimize(small.pixels());
    }
}
BENCHMARK(BM_GreyStreamedToThumbnail)->Unit(benchmark::kMillisecond);

// libjpeg's full-size greyscale decode with the route's parameters, into one
// reused row, with or without its own 236-grey quantizer.
void libjpegDecode(const std::vector<unsigned char>& file, bool quantized, std::vector<unsigned char>* keep)
{
    jpeg_decompress_struct d{};
    jpeg_error_mgr err{};
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&d, TRUE);
    d.dct_method = JDCT_FLOAT;
    d.do_block_smoothing = TRUE;
    if (quantized) {
        d.quantize_colors = TRUE;
        d.desired_number_of_colors = 236;
    }
    jpeg_start_decompress(&d);
    std::vector<unsigned char> row(d.output_width);
    if (keep != nullptr)
        keep->resize(static_cast<std::size_t>(d.output_width) * d.output_height);
    while (d.output_scanline < d.output_height) {
        JSAMPROW target =
            keep != nullptr ? keep->data() + static_cast<std::size_t>(d.output_scanline) * d.output_width : row.data();
        jpeg_read_scanlines(&d, &target, 1);
    }
    jpeg_abort_decompress(&d);
    jpeg_destroy_decompress(&d);
}

std::vector<unsigned char> photographBytes()
{
    std::vector<unsigned char> bytes(fs::file_size(photograph().path()));
    std::FILE* file = std::fopen(photograph().path().c_str(), "rb");
    if (file == nullptr || std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size())
        throw std::runtime_error("cannot read the benchmark photograph");
    std::fclose(file);
    return bytes;
}

void BM_GreyLibjpegDecodePlain(benchmark::State& state)
{
    const auto bytes = photographBytes();
    for (auto _ : state)
        libjpegDecode(bytes, false, nullptr);
}
BENCHMARK(BM_GreyLibjpegDecodePlain)->Unit(benchmark::kMillisecond);

void BM_GreyLibjpegDecodeQuantized(benchmark::State& state)
{
    const auto bytes = photographBytes();
    for (auto _ : state)
        libjpegDecode(bytes, true, nullptr);
}
BENCHMARK(BM_GreyLibjpegDecodeQuantized)->Unit(benchmark::kMillisecond);

// The decoded samples, quantised row by row (a fresh copy each time: the
// quantizer works in place).
void BM_GreyQuantizerRows(benchmark::State& state)
{
    std::vector<unsigned char> samples;
    libjpegDecode(photographBytes(), false, &samples);
    std::vector<unsigned char> work(samples.size());
    for (auto _ : state) {
        state.PauseTiming();
        work = samples;
        state.ResumeTiming();
        tamblure::jpeg::GreyQuantizer quantizer(kWidth);
        for (int y = 0; y < kHeight; ++y)
            quantizer.quantizeRow(work.data() + static_cast<std::size_t>(y) * kWidth);
        benchmark::DoNotOptimize(work.data());
    }
}
BENCHMARK(BM_GreyQuantizerRows)->Unit(benchmark::kMillisecond);

void BM_GreyStreamedAreaAverageRows(benchmark::State& state)
{
    std::vector<unsigned char> samples;
    libjpegDecode(photographBytes(), false, &samples);
    const auto plan = tamblure::imaging::ReductionPlan::toSize(200, 150);
    for (auto _ : state) {
        auto reducer = tamblure::imaging::makeRowReducer(plan, kWidth, kHeight, 1);
        for (int y = 0; y < kHeight; ++y)
            reducer->addRow(samples.data() + static_cast<std::size_t>(y) * kWidth);
        Bitmap24 small = reducer->finish();
        benchmark::DoNotOptimize(small.pixels());
    }
}
BENCHMARK(BM_GreyStreamedAreaAverageRows)->Unit(benchmark::kMillisecond);

void BM_ThumbnailEncode(benchmark::State& state)
{
    const Bitmap24 source = wholePicture();
    Bitmap24 small = tamblure::imaging::makeRaster24(200, 150);
    tamblure::imaging::ReduitTaille(source, small);
    const fs::path target = photograph().path().string() + ".thumb.jpg";
    for (auto _ : state)
        tamblure::jpeg::EncodeJpegFile(small, target, 75);
    fs::remove(target);
}
BENCHMARK(BM_ThumbnailEncode)->Unit(benchmark::kMillisecond);

} // namespace
