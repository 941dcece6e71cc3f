#include "jpeg/jpeg_image.h"

#include "common/errors.h"
#include "common/file_io.h"
#include "jpeg/full_size_decoding.h"
#include "jpeg/libjpeg_trap.h"

#include <jerror.h>

#include <ostream>
#include <string>
#include <utility>

namespace tamblure::jpeg {

namespace {

using imaging::Bitmap24;
using imaging::PixelFormat;

[[noreturn]] void throwJpegError(int code)
{
    throw EJPEG("Erreur JPEG #" + std::to_string(code));
}

struct MemorySource {
    detail::Decompressor* decoder;
    const std::uint8_t* bytes;
    std::size_t size;
};

void readHeaderStep(void* arg)
{
    auto* job = static_cast<MemorySource*>(arg);
    j_decompress_ptr cinfo = &job->decoder->cinfo;
    jpeg_mem_src(cinfo, job->bytes, static_cast<unsigned long>(job->size));
    jpeg_read_header(cinfo, TRUE);
}

// Full-size decoding parameters; every other one keeps what
// jpeg_read_header set from the file.
void startStep(void* arg)
{
    auto* job = static_cast<MemorySource*>(arg);
    j_decompress_ptr cinfo = &job->decoder->cinfo;
    readHeaderStep(arg);
    detail::limitPicture(cinfo, job->size);
    detail::setFullSizeParameters(cinfo, true);
    jpeg_start_decompress(cinfo);
}

struct RowsJob {
    j_decompress_ptr cinfo;
    Bitmap24* raster;
    unsigned char* cmykRow; // one CMYK row, for four-component files
    bool invertedCmyk;      // Adobe files store 255 − ink
    bool stalled;
};

void readRowsStep(void* arg)
{
    auto* job = static_cast<RowsJob*>(arg);
    j_decompress_ptr cinfo = job->cinfo;
    Bitmap24& raster = *job->raster;
    const auto width = static_cast<std::size_t>(cinfo->output_width);
    while (cinfo->output_scanline < cinfo->output_height) {
        // The raster was sized to the output, so the row is in range; the
        // unchecked address, since nothing may raise inside a libjpeg step.
        unsigned char* target = raster.rowAddress(static_cast<std::int32_t>(cinfo->output_scanline));
        JSAMPROW row = job->cmykRow != nullptr ? job->cmykRow : target;
        if (jpeg_read_scanlines(cinfo, &row, 1) != 1) {
            job->stalled = true;
            return;
        }
        if (job->cmykRow != nullptr)
            detail::cmykToBgr(job->cmykRow, target, width, job->invertedCmyk);
    }
}

} // namespace

void TJPEGImage::loadFromFile(const std::filesystem::path& path)
{
    loadFromBytes(readWholeFile(path));
}

void TJPEGImage::loadFromBytes(std::vector<std::uint8_t> bytes)
{
    detail::Decompressor decoder;
    MemorySource source{&decoder, bytes.data(), bytes.size()};
    if (!decoder.create() || !detail::runTrapped(decoder.trap, readHeaderStep, &source))
        throwJpegError(decoder.trap.code);
    width_ = static_cast<std::int32_t>(decoder.cinfo.image_width);
    height_ = static_cast<std::int32_t>(decoder.cinfo.image_height);
    bytes_ = std::move(bytes);
}

void TJPEGImage::saveToStream(std::ostream& out) const
{
    out.write(reinterpret_cast<const char*>(bytes_.data()), static_cast<std::streamsize>(bytes_.size()));
}

void TJPEGImage::decode(Bitmap24& raster) const
{
    detail::Decompressor decoder;
    MemorySource source{&decoder, bytes_.data(), bytes_.size()};
    if (!decoder.create() || !detail::runTrapped(decoder.trap, startStep, &source))
        throwJpegError(decoder.trap.code);
    const jpeg_decompress_struct& cinfo = decoder.cinfo;

    // The picture is decoded into a raster of its own and handed over whole,
    // so a failure leaves the caller's raster as it was.
    Bitmap24 decoded;
    const bool quantized = cinfo.quantize_colors != 0;
    decoded.setPixelFormat(quantized ? PixelFormat::Bits8 : PixelFormat::Bits24);
    decoded.setSize(static_cast<std::int32_t>(cinfo.output_width), static_cast<std::int32_t>(cinfo.output_height));
    if (quantized) {
        auto& palette = decoded.palette();
        palette.fill(0);
        for (int i = 0; i < cinfo.actual_number_of_colors && i < 256; ++i) {
            const std::uint32_t grey = cinfo.colormap[0][i];
            palette[static_cast<std::size_t>(i)] = grey << 16 | grey << 8 | grey;
        }
    }
    std::vector<unsigned char> cmykRow;
    if (cinfo.out_color_space == JCS_CMYK)
        cmykRow.resize(4 * static_cast<std::size_t>(cinfo.output_width));

    RowsJob rows{&decoder.cinfo, &decoded, cmykRow.empty() ? nullptr : cmykRow.data(), cinfo.saw_Adobe_marker != 0,
                 false};
    if (!detail::runTrapped(decoder.trap, readRowsStep, &rows))
        throwJpegError(decoder.trap.code);
    if (rows.stalled)
        throwJpegError(JERR_INPUT_EOF);
    raster = std::move(decoded);
}

void DecodeJpegFullSize(Bitmap24& raster, const std::filesystem::path& path)
{
    TJPEGImage image;
    image.loadFromFile(path);
    Bitmap24 decoded;
    image.decode(decoded);
    if (decoded.pixelFormat() == PixelFormat::Bits24) {
        raster = std::move(decoded);
        return;
    }
    // Widen the grey indices through the palette: each pixel takes its
    // entry's grey in blue, green and red.
    Bitmap24 wide = imaging::makeRaster24(decoded.width(), decoded.height());
    const auto& palette = decoded.palette();
    for (std::int32_t y = 0; y < decoded.height(); ++y) {
        const std::uint8_t* in = decoded.scanLine(y);
        std::uint8_t* out = wide.scanLine(y);
        for (std::int32_t x = 0; x < decoded.width(); ++x) {
            const auto grey = static_cast<std::uint8_t>(palette[in[x]] & 0xFF);
            out[0] = out[1] = out[2] = grey;
            out += 3;
        }
    }
    raster = std::move(wide);
}

} // namespace tamblure::jpeg
