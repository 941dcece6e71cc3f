// Writing a finished thumbnail with its photograph's metadata: once, whole
// (the bytes put together in memory and placed in one atomic step, as the
// per-image step does), against the encoder's file followed by the copy
// step's rewrite of that file (two atomic replacements, and the thumbnail
// read back in between). The thumbnail folder is the system's temporary
// folder; set TMPDIR to measure another file system.

#include "bench_photograph.h"
#include "common/atomic_file.h"
#include "imaging/bitmap24.h"
#include "jpeg/JPEG_IO.h"
#include "metadata/exif.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

namespace fs = std::filesystem;
using tamblure::imaging::Bitmap24;

// A small photograph whose EXIF segment is the size of a camera's (16 KB,
// as with an embedded preview), and a 200 × 133 thumbnail raster.
class Fixture {
public:
    Fixture()
    {
        folder_ = fs::temp_directory_path() / ("tamblure-bench-write-" + std::to_string(std::random_device{}()));
        fs::create_directories(folder_);
        std::vector<unsigned char> exif = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        exif.resize(16 * 1024, 0x5A);
        photo_ = std::make_unique<tamblure::bench::BenchPhotograph>(
            "exif", tamblure::bench::PhotographSpec{64, 48, 3, 75, exif}, std::vector<unsigned char>(64 * 48 * 3, 128));

        raster_ = tamblure::imaging::makeRaster24(200, 133);
        std::mt19937 random(3);
        for (std::size_t i = 0; i < raster_.pixelBytes(); ++i)
            raster_.pixels()[i] = static_cast<std::uint8_t>(random() % 64 + 96);
    }
    ~Fixture() { fs::remove_all(folder_); }
    const fs::path& photo() const { return photo_->path(); }
    fs::path thumbnail() const { return folder_ / "thumb.jpg"; }
    const Bitmap24& raster() const { return raster_; }

private:
    fs::path folder_;
    std::unique_ptr<tamblure::bench::BenchPhotograph> photo_;
    Bitmap24 raster_;
};

const Fixture& fixture()
{
    static const Fixture instance;
    return instance;
}

void BM_ThumbnailWrittenOnceWhole(benchmark::State& state)
{
    const Fixture& f = fixture();
    for (auto _ : state) {
        const std::vector<std::uint8_t> encoded = tamblure::jpeg::EncodeJpegBytes(f.raster(), 75);
        tamblure::metadata::CarriedMetadata metadata(f.photo());
        const auto layout = metadata.encoded(encoded, f.raster().width(), f.raster().height());
        tamblure::AtomicFile out(f.thumbnail());
        if (!(out.open() && layout.writeTo(out, encoded) && out.commit()))
            state.SkipWithError("write failed");
    }
}
BENCHMARK(BM_ThumbnailWrittenOnceWhole)->Unit(benchmark::kMicrosecond);

void BM_ThumbnailEncodedThenRewritten(benchmark::State& state)
{
    const Fixture& f = fixture();
    for (auto _ : state) {
        tamblure::jpeg::EncodeJpegFile(f.raster(), f.thumbnail(), 75);
        tamblure::metadata::TransfereExif(f.photo(), f.thumbnail());
    }
}
BENCHMARK(BM_ThumbnailEncodedThenRewritten)->Unit(benchmark::kMicrosecond);

} // namespace
