#include "jpeg/streamed_decode.h"

#include "common/errors.h"
#include "common/file_io.h"
#include "jpeg/full_size_decoding.h"
#include "jpeg/grey_quantizer.h"
#include "jpeg/libjpeg_trap.h"

#include <jerror.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace tamblure::jpeg {

namespace {

[[noreturn]] void throwJpegError(int code)
{
    throw EJPEG("Erreur JPEG #" + std::to_string(code));
}

struct StartJob {
    j_decompress_ptr cinfo;
    const std::uint8_t* bytes;
    std::size_t size;
};

void startStep(void* arg)
{
    auto* job = static_cast<StartJob*>(arg);
    jpeg_mem_src(job->cinfo, job->bytes, static_cast<unsigned long>(job->size));
    jpeg_read_header(job->cinfo, TRUE);
    detail::limitPicture(job->cinfo, job->size);
    detail::setFullSizeParameters(job->cinfo, false);
    jpeg_start_decompress(job->cinfo);
}

// Rows are read a band at a time: each band is used while it is still in
// the cache, and libjpeg hands over several rows per call.
constexpr int kBandRows = 16;

struct BandJob {
    j_decompress_ptr cinfo;
    JSAMPROW rows[kBandRows];
    int wanted;
    bool stalled;
};

void readBandStep(void* arg)
{
    auto* job = static_cast<BandJob*>(arg);
    int read = 0;
    while (read < job->wanted) {
        const JDIMENSION got =
            jpeg_read_scanlines(job->cinfo, job->rows + read, static_cast<JDIMENSION>(job->wanted - read));
        if (got == 0) {
            job->stalled = true;
            return;
        }
        read += static_cast<int>(got);
    }
}

} // namespace

imaging::Bitmap24 DecodeJpegFullSizeReduced(const std::filesystem::path& path, const imaging::ReductionPlan& plan)
{
    const std::vector<std::uint8_t> bytes = readWholeFile(path);
    return DecodeJpegFullSizeReduced(JpegInput::inMemory(path, bytes), plan);
}

imaging::Bitmap24 DecodeJpegFullSizeReduced(const JpegInput& input, const imaging::ReductionPlan& plan)
{
    if (!input.read)
        return DecodeJpegFullSizeReduced(input.path, plan);
    detail::Decompressor decoder;
    StartJob start{&decoder.cinfo, input.bytes.data(), input.bytes.size()};
    if (!decoder.create() || !detail::runTrapped(decoder.trap, startStep, &start))
        throwJpegError(decoder.trap.code);
    const jpeg_decompress_struct& cinfo = decoder.cinfo;
    const auto width = static_cast<std::int32_t>(cinfo.output_width);
    const auto height = static_cast<std::int32_t>(cinfo.output_height);
    const auto samples = static_cast<std::size_t>(cinfo.output_components);
    const bool grey = cinfo.out_color_space == JCS_GRAYSCALE;
    const bool cmyk = cinfo.out_color_space == JCS_CMYK;

    // Pictures too large to be held whole as 24-bit rasters were refused
    // before their rows were read, and still are: a small file can claim
    // 65500 × 65500 pixels, and libjpeg would fill every missing one.
    imaging::Bitmap24::checkSize(imaging::PixelFormat::Bits24, width, height);
    auto reducer = imaging::makeRowReducer(plan, width, height, grey ? 1 : 3);
    std::optional<GreyQuantizer> quantizer;
    if (grey)
        quantizer.emplace(width);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * samples;
    std::vector<std::uint8_t> band(rowBytes * kBandRows);
    std::vector<std::uint8_t> bgr(cmyk ? static_cast<std::size_t>(width) * 3 : 0);

    BandJob job{&decoder.cinfo, {}, 0, false};
    for (int r = 0; r < kBandRows; ++r)
        job.rows[r] = band.data() + static_cast<std::size_t>(r) * rowBytes;
    while (cinfo.output_scanline < cinfo.output_height) {
        job.wanted = static_cast<int>(std::min<JDIMENSION>(kBandRows, cinfo.output_height - cinfo.output_scanline));
        if (!detail::runTrapped(decoder.trap, readBandStep, &job))
            throwJpegError(decoder.trap.code);
        if (job.stalled)
            throwJpegError(JERR_INPUT_EOF);
        for (int r = 0; r < job.wanted; ++r) {
            std::uint8_t* row = job.rows[r];
            if (grey) {
                quantizer->quantizeRow(row);
            } else if (cmyk) {
                detail::cmykToBgr(row, bgr.data(), static_cast<std::size_t>(width), cinfo.saw_Adobe_marker != 0);
                row = bgr.data();
            }
            reducer->addRow(row);
        }
    }
    return reducer->finish();
}

} // namespace tamblure::jpeg
