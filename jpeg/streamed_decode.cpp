#include "jpeg/streamed_decode.h"

#include "common/errors.h"
#include "jpeg/grey_quantizer.h"
#include "jpeg/jpeg_error.h"
#include "jpeg/libjpeg_trap.h"

#include <jerror.h>
#include <lcms2.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tamblure::jpeg {

namespace {

// The full-size parameters, set after jpeg_read_header: full scale, float
// DCT, block smoothing; greyscale output for greyscale files, CMYK output for
// four-component files (CMYK and YCCK), blue, green, red for the rest, which
// makes libjpeg raise its conversion error at the start for layouts it cannot
// turn into colour (two components).
void setFullSizeParameters(j_decompress_ptr cinfo)
{
    cinfo->scale_num = 1;
    cinfo->scale_denom = 1;
    cinfo->dct_method = JDCT_FLOAT;
    cinfo->do_block_smoothing = TRUE;
    if (cinfo->out_color_space == JCS_GRAYSCALE)
        return;
    const bool fourInks = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    cinfo->out_color_space = fourInks ? JCS_CMYK : JCS_EXT_BGR;
}

struct StartJob {
    j_decompress_ptr cinfo;
    const std::uint8_t* bytes;
    std::size_t size;
    JOCTET* profile; // the ICC profile of a CMYK picture, malloc'ed by libjpeg
    unsigned profileSize;
};

void startStep(void* arg)
{
    auto* job = static_cast<StartJob*>(arg);
    jpeg_mem_src(job->cinfo, job->bytes, static_cast<unsigned long>(job->size));
    jpeg_save_markers(job->cinfo, JPEG_APP0 + 2, 0xFFFF); // ICC profiles
    jpeg_read_header(job->cinfo, TRUE);
    detail::limitPicture(job->cinfo, job->size);
    setFullSizeParameters(job->cinfo);
    if (job->cinfo->out_color_space == JCS_CMYK)
        jpeg_read_icc_profile(job->cinfo, &job->profile, &job->profileSize);
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

// Reads the next band (as many rows as are left, up to kBandRows) into
// job.rows. 0, or libjpeg's code of the error that stopped it.
int readBand(detail::Decompressor& decoder, BandJob& job)
{
    const jpeg_decompress_struct& cinfo = decoder.cinfo;
    job.wanted = static_cast<int>(std::min<JDIMENSION>(kBandRows, cinfo.output_height - cinfo.output_scanline));
    if (!detail::runTrapped(decoder.trap, readBandStep, &job))
        return decoder.trap.code;
    return job.stalled ? JERR_INPUT_EOF : 0;
}

// One row of CMYK as blue, green, red by the plain formula: each colour is its
// ink's complement scaled by the black's, rounded. Adobe files (inverted)
// store 255 − ink, which is that complement already.
void cmykToBgr(const std::uint8_t* cmyk, std::uint8_t* bgr, std::size_t width, bool inverted)
{
    for (std::size_t x = 0; x < width; ++x) {
        const std::uint8_t* ink = cmyk + 4 * x;
        unsigned c = ink[0], m = ink[1], y = ink[2], k = ink[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        std::uint8_t* pixel = bgr + 3 * x;
        pixel[0] = static_cast<std::uint8_t>((y * k + 127) / 255);
        pixel[1] = static_cast<std::uint8_t>((m * k + 127) / 255);
        pixel[2] = static_cast<std::uint8_t>((c * k + 127) / 255);
    }
}

struct CloseProfile {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
struct DeleteTransform {
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
using Transform = std::unique_ptr<void, DeleteTransform>;

// The transform from the picture's CMYK, through its profile, to sRGB as
// blue, green, red; nothing when the profile is missing, unreadable or not a
// CMYK one, and the plain formula then serves. The perceptual intent: the
// profile maker's rendering for pictures, which maps the paper's white and
// the inks' black to the screen's white and black, as a print seen on screen
// is expected to look (relative colorimetric would leave the whites the
// paper's grey); it is also what colour-managed tools (jpgicc, viewers)
// apply by default, so the thumbnail looks like the photograph shown there.
Transform cmykTransform(const JOCTET* icc, unsigned size, bool inverted)
{
    if (icc == nullptr)
        return nullptr;
    const std::unique_ptr<void, CloseProfile> profile(cmsOpenProfileFromMem(icc, size));
    if (profile == nullptr || cmsGetColorSpace(profile.get()) != cmsSigCmykData)
        return nullptr;
    const std::unique_ptr<void, CloseProfile> srgb(cmsCreate_sRGBProfile());
    if (srgb == nullptr)
        return nullptr;
    // Adobe's inverted inks are lcms's "reversed" flavour of CMYK.
    return Transform(cmsCreateTransform(profile.get(), inverted ? TYPE_CMYK_8_REV : TYPE_CMYK_8, srgb.get(), TYPE_BGR_8,
                                        INTENT_PERCEPTUAL, 0));
}

} // namespace

DecodedPicture DecodeJpegFullSizeReduced(std::span<const std::uint8_t> bytes, const imaging::ReductionPlan& plan)
{
    detail::Decompressor decoder;
    StartJob start{&decoder.cinfo, bytes.data(), bytes.size(), nullptr, 0};
    const bool started = decoder.create() && detail::runTrapped(decoder.trap, startStep, &start);
    const std::unique_ptr<JOCTET, decltype(&std::free)> profile(start.profile, &std::free);
    if (!started)
        throwJpegError(decoder.trap.code);
    const jpeg_decompress_struct& cinfo = decoder.cinfo;
    const auto width = static_cast<std::int32_t>(cinfo.output_width);
    const auto height = static_cast<std::int32_t>(cinfo.output_height);
    const auto samples = static_cast<std::size_t>(cinfo.output_components);
    const bool grey = cinfo.out_color_space == JCS_GRAYSCALE;
    const bool cmyk = cinfo.out_color_space == JCS_CMYK;
    const bool inverted = cinfo.saw_Adobe_marker != 0;

    imaging::Bitmap24::checkSize(imaging::PixelFormat::Bits24, width, height);
    auto reducer = imaging::makeRowReducer(plan, width, height, grey ? 1 : 3);
    std::optional<GreyQuantizer> quantizer;
    if (grey)
        quantizer.emplace(width);
    const Transform transform = cmyk ? cmykTransform(profile.get(), start.profileSize, inverted) : nullptr;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * samples;
    const std::size_t bgrBytes = static_cast<std::size_t>(width) * 3;
    std::vector<std::uint8_t> band(rowBytes * kBandRows);
    std::vector<std::uint8_t> bgr(cmyk ? bgrBytes * kBandRows : 0);

    BandJob job{&decoder.cinfo, {}, 0, false};
    for (int r = 0; r < kBandRows; ++r)
        job.rows[r] = band.data() + static_cast<std::size_t>(r) * rowBytes;
    while (cinfo.output_scanline < cinfo.output_height) {
        if (const int code = readBand(decoder, job); code != 0)
            throwJpegError(code);
        // A profile's transform takes the band at once, which spares its
        // per-call set-up on every row.
        if (transform != nullptr)
            cmsDoTransformLineStride(transform.get(), band.data(), bgr.data(), static_cast<cmsUInt32Number>(width),
                                     static_cast<cmsUInt32Number>(job.wanted), static_cast<cmsUInt32Number>(rowBytes),
                                     static_cast<cmsUInt32Number>(bgrBytes), 0, 0);
        for (int r = 0; r < job.wanted; ++r) {
            std::uint8_t* row = job.rows[r];
            if (grey) {
                quantizer->quantizeRow(row);
            } else if (cmyk) {
                std::uint8_t* colour = bgr.data() + static_cast<std::size_t>(r) * bgrBytes;
                if (transform == nullptr)
                    cmykToBgr(row, colour, static_cast<std::size_t>(width), inverted);
                row = colour;
            }
            reducer->addRow(row);
        }
    }
    return {reducer->finish(), decoder.trap.warnings};
}

namespace {

struct CheckJob {
    j_decompress_ptr cinfo;
    const std::uint8_t* bytes;
    std::size_t size;
    bool scanData;
};

// The cheapest decode libjpeg offers: each 8 × 8 block becomes one pixel
// from its DC coefficient alone, without smoothing or fancy upsampling.
void checkStartStep(void* arg)
{
    auto* job = static_cast<CheckJob*>(arg);
    j_decompress_ptr cinfo = job->cinfo;
    jpeg_mem_src(cinfo, job->bytes, static_cast<unsigned long>(job->size));
    jpeg_read_header(cinfo, TRUE);
    // The header read stops right after the first scan's header: anything
    // but the end-of-image marker there is scan data.
    const std::size_t left = cinfo->src->bytes_in_buffer;
    const JOCTET* next = cinfo->src->next_input_byte;
    job->scanData = left > 0 && !(left >= 2 && next[0] == 0xFF && next[1] == JPEG_EOI);
    cinfo->scale_num = 1;
    cinfo->scale_denom = 8;
    cinfo->dct_method = JDCT_IFAST;
    cinfo->do_fancy_upsampling = FALSE;
    jpeg_start_decompress(cinfo);
}

} // namespace

JpegDecodeCheck CheckJpegDecodes(std::span<const std::uint8_t> bytes)
{
    detail::Decompressor decoder;
    CheckJob start{&decoder.cinfo, bytes.data(), bytes.size(), false};
    JpegDecodeCheck check;
    if (!decoder.create() || !detail::runTrapped(decoder.trap, checkStartStep, &start)) {
        check.errorCode = decoder.trap.code;
    } else {
        const jpeg_decompress_struct& cinfo = decoder.cinfo;
        const std::size_t rowBytes =
            static_cast<std::size_t>(cinfo.output_width) * static_cast<std::size_t>(cinfo.output_components);
        std::vector<std::uint8_t> band(rowBytes * kBandRows);
        BandJob job{&decoder.cinfo, {}, 0, false};
        for (int r = 0; r < kBandRows; ++r)
            job.rows[r] = band.data() + static_cast<std::size_t>(r) * rowBytes;
        while (check.errorCode == 0 && cinfo.output_scanline < cinfo.output_height)
            check.errorCode = readBand(decoder, job);
    }
    check.scanData = start.scanData;
    check.warnings = decoder.trap.warnings;
    return check;
}

} // namespace tamblure::jpeg
