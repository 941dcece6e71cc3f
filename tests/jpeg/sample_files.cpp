#include "sample_files.h"

#include "jpeg/libjpeg_trap.h"
#include "support/jpeg_fixtures.h"
#include "support/libjpeg_memory.h"

#include <lcms2.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace tamblure::test {

namespace {

struct EncodeJob {
    MemoryCompression* compression;
    const std::vector<std::uint8_t>* samples;
    int width, height;
    SampleLayout layout;
    const SampleOptions* options;
};

int componentsOf(SampleLayout layout)
{
    switch (layout) {
    case SampleLayout::Grey:
        return 1;
    case SampleLayout::Rgb:
        return 3;
    default:
        return 4;
    }
}

void encodeStep(void* arg)
{
    auto* job = static_cast<EncodeJob*>(arg);
    jpeg_compress_struct* cinfo = &job->compression->cinfo;
    jpeg_create_compress(cinfo);
    job->compression->created = true;
    job->compression->toMemory();
    cinfo->image_width = static_cast<JDIMENSION>(job->width);
    cinfo->image_height = static_cast<JDIMENSION>(job->height);
    cinfo->input_components = componentsOf(job->layout);
    cinfo->in_color_space = job->layout == SampleLayout::Grey  ? JCS_GRAYSCALE
                            : job->layout == SampleLayout::Rgb ? JCS_RGB
                                                               : JCS_CMYK;
    jpeg_set_defaults(cinfo);
    if (job->layout == SampleLayout::AdobeYcck)
        jpeg_set_colorspace(cinfo, JCS_YCCK);
    jpeg_set_quality(cinfo, job->options->quality, TRUE);
    cinfo->arith_code = job->options->arithmetic ? TRUE : FALSE;
    if (job->options->progressive)
        jpeg_simple_progression(cinfo);
    jpeg_start_compress(cinfo, TRUE);
    const std::vector<std::uint8_t>& profile = job->options->iccProfile;
    if (!profile.empty())
        jpeg_write_icc_profile(cinfo, profile.data(), static_cast<unsigned>(profile.size()));
    const std::size_t line = static_cast<std::size_t>(job->width) * static_cast<std::size_t>(cinfo->input_components);
    while (cinfo->next_scanline < cinfo->image_height) {
        auto row = const_cast<JSAMPROW>(job->samples->data() + cinfo->next_scanline * line);
        jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
}

struct DecodeJob {
    jpeg_decompress_struct* cinfo;
    const std::vector<std::uint8_t>* file;
    bool quantized;
    GreyPicture* picture;
    bool grey;
};

void decodeStep(void* arg)
{
    auto* job = static_cast<DecodeJob*>(arg);
    jpeg_decompress_struct* cinfo = job->cinfo;
    jpeg_mem_src(cinfo, job->file->data(), static_cast<unsigned long>(job->file->size()));
    jpeg_read_header(cinfo, TRUE);
    job->grey = cinfo->out_color_space == JCS_GRAYSCALE;
    if (!job->grey)
        return;
    cinfo->dct_method = JDCT_FLOAT;
    cinfo->do_block_smoothing = TRUE;
    if (job->quantized) {
        cinfo->quantize_colors = TRUE;
        cinfo->desired_number_of_colors = 236;
    }
    jpeg_start_decompress(cinfo);
    GreyPicture& picture = *job->picture;
    picture.width = static_cast<int>(cinfo->output_width);
    picture.height = static_cast<int>(cinfo->output_height);
    picture.greys.resize(static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height));
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = picture.greys.data() +
                       static_cast<std::size_t>(cinfo->output_scanline) * static_cast<std::size_t>(picture.width);
        jpeg_read_scanlines(cinfo, &row, 1);
    }
    if (!job->quantized)
        return;
    picture.palette.assign(cinfo->colormap[0], cinfo->colormap[0] + cinfo->actual_number_of_colors);
    for (std::uint8_t& pixel : picture.greys)
        pixel = cinfo->colormap[0][pixel];
}

struct FullSizeJob {
    jpeg_decompress_struct* cinfo;
    const std::vector<std::uint8_t>* file;
    std::vector<std::uint8_t>* samples; // the output rows, top first, tightly packed
};

void fullSizeStep(void* arg)
{
    auto* job = static_cast<FullSizeJob*>(arg);
    jpeg_decompress_struct* cinfo = job->cinfo;
    jpeg_mem_src(cinfo, job->file->data(), static_cast<unsigned long>(job->file->size()));
    jpeg_read_header(cinfo, TRUE);
    cinfo->dct_method = JDCT_FLOAT;
    cinfo->do_block_smoothing = TRUE;
    if (cinfo->out_color_space == JCS_GRAYSCALE) {
        cinfo->quantize_colors = TRUE;
        cinfo->desired_number_of_colors = 236;
    } else if (cinfo->jpeg_color_space != JCS_CMYK && cinfo->jpeg_color_space != JCS_YCCK) {
        cinfo->out_color_space = JCS_RGB;
    }
    jpeg_start_decompress(cinfo);
    const std::size_t line = std::size_t{cinfo->output_width} * static_cast<std::size_t>(cinfo->output_components);
    job->samples->resize(line * cinfo->output_height);
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = job->samples->data() + cinfo->output_scanline * line;
        jpeg_read_scanlines(cinfo, &row, 1);
    }
}

} // namespace

imaging::Bitmap24 libjpegFullSize(const std::vector<std::uint8_t>& file)
{
    jpeg::detail::Decompressor decoder;
    std::vector<std::uint8_t> samples;
    FullSizeJob job{&decoder.cinfo, &file, &samples};
    if (!decoder.create() || !jpeg::detail::runTrapped(decoder.trap, fullSizeStep, &job))
        throw std::runtime_error("libjpeg error " + std::to_string(decoder.trap.code));
    const jpeg_decompress_struct& cinfo = decoder.cinfo;
    const auto width = static_cast<int>(cinfo.output_width), height = static_cast<int>(cinfo.output_height);
    imaging::Bitmap24 picture = imaging::makeRaster24(width, height);
    const std::uint8_t* in = samples.data();
    for (int y = 0; y < height; ++y) {
        std::uint8_t* out = picture.scanLine(y);
        for (int x = 0; x < width; ++x, out += 3) {
            int red = 0, green = 0, blue = 0;
            if (cinfo.out_color_space == JCS_GRAYSCALE) {
                red = green = blue = cinfo.colormap[0][*in++];
            } else if (cinfo.out_color_space == JCS_RGB) {
                red = *in++;
                green = *in++;
                blue = *in++;
            } else {
                int ink[4];
                for (int& i : ink)
                    i = cinfo.saw_Adobe_marker ? *in++ : 255 - *in++;
                red = (ink[0] * ink[3] + 127) / 255;
                green = (ink[1] * ink[3] + 127) / 255;
                blue = (ink[2] * ink[3] + 127) / 255;
            }
            out[0] = static_cast<std::uint8_t>(blue);
            out[1] = static_cast<std::uint8_t>(green);
            out[2] = static_cast<std::uint8_t>(red);
        }
    }
    return picture;
}

std::vector<std::uint8_t> encodeSamples(const std::vector<std::uint8_t>& samples, int width, int height,
                                        SampleLayout layout, const SampleOptions& options)
{
    MemoryCompression compression;
    EncodeJob job{&compression, &samples, width, height, layout, &options};
    std::vector<std::uint8_t> bytes = compressTrapped(compression, encodeStep, &job, "encodeSamples");
    if (layout == SampleLayout::PlainCmyk) {
        const std::ptrdiff_t adobe = findMarker(bytes, 0xEE);
        if (adobe < 0)
            throw std::runtime_error("encodeSamples: no APP14 segment to remove");
        const auto at = static_cast<std::size_t>(adobe);
        const std::size_t length = std::size_t{bytes[at + 2]} << 8 | bytes[at + 3];
        bytes.erase(bytes.begin() + adobe, bytes.begin() + adobe + 2 + static_cast<std::ptrdiff_t>(length));
    }
    return bytes;
}

std::vector<std::uint8_t> randomSamples(int width, int height, int components, std::mt19937& random)
{
    const auto count = static_cast<std::size_t>(components);
    std::vector<std::uint8_t> samples(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * count);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> kind(0, 3);
    // Regions of 8 × 8 pixels (the size of a DCT block), each of one kind.
    for (std::size_t c = 0; c < count; ++c)
        for (int by = 0; by < height; by += 8)
            for (int bx = 0; bx < width; bx += 8) {
                const int k = kind(random);
                const int base = byte(random);
                for (int y = by; y < std::min(by + 8, height); ++y)
                    for (int x = bx; x < std::min(bx + 8, width); ++x) {
                        int v = 0;
                        switch (k) {
                        case 0:
                            v = byte(random);
                            break;
                        case 1:
                            v = std::clamp(base + 3 * (x - bx) - 2 * (y - by), 0, 255);
                            break;
                        case 2:
                            v = 255;
                            break;
                        default:
                            v = base < 128 ? 0 : base;
                            break;
                        }
                        const std::size_t pixel =
                            static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
                        samples[pixel * count + c] = static_cast<std::uint8_t>(v);
                    }
            }
    return samples;
}

GreyPicture libjpegGreys(const std::vector<std::uint8_t>& file, bool quantized)
{
    jpeg::detail::Decompressor decoder;
    GreyPicture picture;
    DecodeJob job{&decoder.cinfo, &file, quantized, &picture, false};
    if (!decoder.create() || !jpeg::detail::runTrapped(decoder.trap, decodeStep, &job))
        throw std::runtime_error("libjpegGreys: libjpeg error " + std::to_string(decoder.trap.code));
    if (!job.grey)
        throw std::runtime_error("libjpegGreys: not a greyscale file");
    return picture;
}

std::filesystem::path cmykProfilePath()
{
    const std::filesystem::path ghostscript = "/usr/share/ghostscript";
    std::error_code ec;
    for (const auto& version : std::filesystem::directory_iterator(ghostscript, ec)) {
        const auto profile = version.path() / "iccprofiles" / "default_cmyk.icc";
        if (std::filesystem::is_regular_file(profile, ec))
            return profile;
    }
    throw std::runtime_error("no default_cmyk.icc under " + ghostscript.string() + ": run scripts/setup");
}

void runJpgicc(const std::string& options, const std::filesystem::path& in, const std::filesystem::path& out)
{
    const std::string command = "jpgicc -q100 " + options + " '" + in.string() + "' '" + out.string() + "' >/dev/null";
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("failed: " + command);
}

double meanDeltaE(const imaging::Bitmap24& a, const imaging::Bitmap24& b)
{
    if (a.width() != b.width() || a.height() != b.height() || a.width() == 0 || a.height() == 0)
        throw std::runtime_error("meanDeltaE: rasters of different sizes");
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM toLab = cmsCreateTransform(srgb, TYPE_BGR_8, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
    cmsCloseProfile(srgb);
    cmsCloseProfile(lab);
    const auto width = static_cast<std::size_t>(a.width());
    std::vector<cmsCIELab> rowA(width), rowB(width);
    double sum = 0;
    for (std::int32_t y = 0; y < a.height(); ++y) {
        cmsDoTransform(toLab, a.scanLine(y), rowA.data(), static_cast<cmsUInt32Number>(width));
        cmsDoTransform(toLab, b.scanLine(y), rowB.data(), static_cast<cmsUInt32Number>(width));
        for (std::size_t x = 0; x < width; ++x)
            sum += cmsDeltaE(&rowA[x], &rowB[x]);
    }
    cmsDeleteTransform(toLab);
    return sum / (static_cast<double>(width) * a.height());
}

} // namespace tamblure::test
