#include "support/jpeg_fixtures.h"

#include "support/libjpeg_memory.h"

#include "jpeg/libjpeg_trap.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>

namespace tamblure::test {

namespace {

// A small hash of the position and the seed: the texture's noise.
std::uint32_t noise(int x, int y, std::uint32_t seed)
{
    std::uint32_t h =
        static_cast<std::uint32_t>(x) * 0x9E3779B1u ^ static_cast<std::uint32_t>(y) * 0x85EBCA77u ^ seed * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return h;
}

// The colour pattern before the file's component count is applied.
void colourAt(const JpegSpec& spec, int x, int y, int& red, int& green, int& blue)
{
    const int across = spec.width > 1 ? spec.width - 1 : 1;
    const int down = spec.height > 1 ? spec.height - 1 : 1;
    const std::uint32_t n = spec.flat ? 0 : noise(x, y, spec.seed);
    if (spec.flat) {
        x = y = 0;
    }
    red = 32 + 191 * y / down + static_cast<int>(n & 7) - 4;
    blue = 32 + 191 * x / across + static_cast<int>(n >> 3 & 7) - 4;
    green = 110 + static_cast<int>(n >> 6 & 31) + ((x / 3 + y / 5) % 2) * 8;
}

struct CompressJob {
    MemoryCompression* compression;
    const JpegSpec* spec;
    unsigned char* pixels; // top row first, tightly packed
};

void compressStep(void* arg)
{
    auto* job = static_cast<CompressJob*>(arg);
    jpeg_compress_struct* cinfo = &job->compression->cinfo;
    const JpegSpec& spec = *job->spec;
    jpeg_create_compress(cinfo);
    job->compression->created = true;
    job->compression->toMemory();
    cinfo->image_width = static_cast<JDIMENSION>(spec.width);
    cinfo->image_height = static_cast<JDIMENSION>(spec.height);
    cinfo->input_components = spec.components;
    cinfo->in_color_space = spec.components == 1 ? JCS_GRAYSCALE : spec.components == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, spec.quality, TRUE);
    if (spec.components == 3) {
        cinfo->comp_info[0].h_samp_factor = spec.chromaSubsampling;
        cinfo->comp_info[0].v_samp_factor = spec.chromaSubsampling;
    }
    cinfo->arith_code = spec.arithmetic ? TRUE : FALSE;
    if (spec.progressive)
        jpeg_simple_progression(cinfo);
    if (!spec.jfifHeader)
        cinfo->write_JFIF_header = FALSE;
    jpeg_start_compress(cinfo, TRUE);
    const std::size_t line = static_cast<std::size_t>(spec.width) * static_cast<std::size_t>(spec.components);
    while (cinfo->next_scanline < cinfo->image_height) {
        JSAMPROW row = job->pixels + cinfo->next_scanline * line;
        jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
}

struct HeaderJob {
    jpeg_decompress_struct* cinfo;
    bool* created;
    const std::vector<std::uint8_t>* jpeg;
};

void readHeaderStep(void* arg)
{
    auto* job = static_cast<HeaderJob*>(arg);
    jpeg_create_decompress(job->cinfo);
    *job->created = true;
    jpeg_mem_src(job->cinfo, job->jpeg->data(), static_cast<unsigned long>(job->jpeg->size()));
    jpeg_read_header(job->cinfo, TRUE);
}

struct QualityJob {
    jpeg_compress_struct* cinfo;
    bool* created;
    int quality;
};

void setQualityStep(void* arg)
{
    auto* job = static_cast<QualityJob*>(arg);
    jpeg_create_compress(job->cinfo);
    *job->created = true;
    job->cinfo->in_color_space = JCS_RGB;
    job->cinfo->input_components = 3;
    jpeg_set_defaults(job->cinfo);
    jpeg_set_quality(job->cinfo, job->quality, TRUE);
}

std::vector<QuantTable> tablesIn(JQUANT_TBL* const (&slots)[NUM_QUANT_TBLS])
{
    std::vector<QuantTable> tables;
    for (const JQUANT_TBL* table : slots) {
        if (table == nullptr)
            continue;
        QuantTable values{};
        std::copy(std::begin(table->quantval), std::end(table->quantval), values.begin());
        tables.push_back(values);
    }
    return tables;
}

} // namespace

std::vector<QuantTable> quantTablesOf(const std::vector<std::uint8_t>& jpeg)
{
    jpeg::detail::ErrorTrap trap;
    jpeg_decompress_struct cinfo{};
    cinfo.err = jpeg::detail::installErrorTrap(trap);
    bool created = false;
    HeaderJob job{&cinfo, &created, &jpeg};
    const bool read = jpeg::detail::runTrapped(trap, readHeaderStep, &job);
    std::vector<QuantTable> tables;
    if (read)
        tables = tablesIn(cinfo.quant_tbl_ptrs);
    if (created)
        jpeg_destroy_decompress(&cinfo);
    if (!read)
        throw std::runtime_error("quantTablesOf: libjpeg error " + std::to_string(trap.code));
    return tables;
}

std::vector<QuantTable> libjpegQuantTables(int quality)
{
    jpeg::detail::ErrorTrap trap;
    jpeg_compress_struct cinfo{};
    cinfo.err = jpeg::detail::installErrorTrap(trap);
    bool created = false;
    QualityJob job{&cinfo, &created, quality};
    const bool set = jpeg::detail::runTrapped(trap, setQualityStep, &job);
    std::vector<QuantTable> tables;
    if (set)
        tables = tablesIn(cinfo.quant_tbl_ptrs);
    if (created)
        jpeg_destroy_compress(&cinfo);
    if (!set)
        throw std::runtime_error("libjpegQuantTables: libjpeg error " + std::to_string(trap.code));
    return tables;
}

void fixturePixel(const JpegSpec& spec, int x, int y, std::uint8_t bgr[3])
{
    int red = 0, green = 0, blue = 0;
    colourAt(spec, x, y, red, green, blue);
    if (spec.components == 1) {
        red = green = blue = (2 * red + blue) / 3;
    } else if (spec.components == 4) {
        red = (red * spec.cmykBlack + 127) / 255;
        green = (green * spec.cmykBlack + 127) / 255;
        blue = (blue * spec.cmykBlack + 127) / 255;
    }
    bgr[0] = static_cast<std::uint8_t>(blue);
    bgr[1] = static_cast<std::uint8_t>(green);
    bgr[2] = static_cast<std::uint8_t>(red);
}

std::vector<std::uint8_t> makeJpeg(const JpegSpec& spec)
{
    if (spec.width < 1 || spec.height < 1 || (spec.components != 1 && spec.components != 3 && spec.components != 4))
        throw std::runtime_error("makeJpeg: unusable fixture");

    // The samples as libjpeg takes them: grey, RGB, or Adobe's inverted CMYK
    // (stored ink = the colour it leaves, so C × K / 255 is the red).
    const auto components = static_cast<std::size_t>(spec.components);
    std::vector<unsigned char> pixels(static_cast<std::size_t>(spec.width) * static_cast<std::size_t>(spec.height) *
                                      components);
    unsigned char* p = pixels.data();
    for (int y = 0; y < spec.height; ++y) {
        for (int x = 0; x < spec.width; ++x) {
            int red = 0, green = 0, blue = 0;
            colourAt(spec, x, y, red, green, blue);
            if (spec.components == 1) {
                *p++ = static_cast<unsigned char>((2 * red + blue) / 3);
                continue;
            }
            *p++ = static_cast<unsigned char>(red);
            *p++ = static_cast<unsigned char>(green);
            *p++ = static_cast<unsigned char>(blue);
            if (spec.components == 4)
                *p++ = static_cast<unsigned char>(spec.cmykBlack);
        }
    }

    MemoryCompression compression;
    CompressJob job{&compression, &spec, pixels.data()};
    std::vector<std::uint8_t> bytes = compressTrapped(compression, compressStep, &job, "makeJpeg");

    // The extra segments go right after SOI, ahead of libjpeg's own ones.
    std::vector<std::uint8_t> extra;
    for (const auto& [code, payload] : spec.segments) {
        if (payload.size() > 65533)
            throw std::runtime_error("makeJpeg: segment payload too long");
        const std::size_t length = payload.size() + 2;
        extra.push_back(0xFF);
        extra.push_back(static_cast<std::uint8_t>(code));
        extra.push_back(static_cast<std::uint8_t>(length >> 8));
        extra.push_back(static_cast<std::uint8_t>(length & 0xFF));
        extra.insert(extra.end(), payload.begin(), payload.end());
    }
    bytes.insert(bytes.begin() + 2, extra.begin(), extra.end());
    return bytes;
}

void writeJpeg(const std::filesystem::path& path, const JpegSpec& spec)
{
    const std::vector<std::uint8_t> bytes = makeJpeg(spec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("writeJpeg: cannot write " + path.string());
}

std::ptrdiff_t findMarker(const std::vector<std::uint8_t>& jpeg, int code)
{
    std::size_t pos = 2;
    while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xFF) {
        const int here = jpeg[pos + 1];
        if (here == code)
            return static_cast<std::ptrdiff_t>(pos);
        if (here == 0xDA || here == 0xD9)
            return -1;
        const std::size_t length = std::size_t{jpeg[pos + 2]} << 8 | jpeg[pos + 3];
        pos += 2 + length;
    }
    return -1;
}

std::vector<std::uint8_t> compressTrapped(MemoryCompression& compression, void (*step)(void*), void* job,
                                          const char* who)
{
    jpeg::detail::ErrorTrap trap;
    compression.cinfo.err = jpeg::detail::installErrorTrap(trap);
    const bool finished = jpeg::detail::runTrapped(trap, step, job);
    if (compression.created)
        jpeg_destroy_compress(&compression.cinfo);
    std::vector<std::uint8_t> bytes;
    if (finished && compression.out != nullptr)
        bytes.assign(compression.out, compression.out + compression.outSize);
    std::free(compression.out);
    if (!finished)
        throw std::runtime_error(std::string(who) + ": libjpeg error " + std::to_string(trap.code));
    return bytes;
}

std::vector<std::uint8_t> withLastScanRepeated(std::vector<std::uint8_t> jpeg, int copies)
{
    // Entropy-coded data never holds FF DA (an FF in it is followed by 00 or
    // a restart code), so the last FF DA starts the last scan.
    std::size_t last = 0;
    for (std::size_t i = 0; i + 1 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA)
            last = i;
    }
    if (last == 0 || jpeg.size() < last + 2 || jpeg[jpeg.size() - 2] != 0xFF || jpeg.back() != 0xD9)
        throw std::runtime_error("withLastScanRepeated: not a whole progressive file");
    const std::vector<std::uint8_t> scan(jpeg.begin() + static_cast<std::ptrdiff_t>(last), jpeg.end() - 2);
    jpeg.erase(jpeg.end() - 2, jpeg.end());
    for (int i = 0; i < copies; ++i)
        jpeg.insert(jpeg.end(), scan.begin(), scan.end());
    jpeg.push_back(0xFF);
    jpeg.push_back(0xD9);
    return jpeg;
}

std::vector<std::uint8_t> exifPayload(std::size_t size)
{
    static constexpr std::uint8_t kHead[] = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    std::vector<std::uint8_t> payload(std::max(size, sizeof kHead), 0x5A);
    std::copy(std::begin(kHead), std::end(kHead), payload.begin());
    return payload;
}

JpegSpec sized(int width, int height, int components)
{
    JpegSpec spec;
    spec.width = width;
    spec.height = height;
    spec.components = components;
    return spec;
}

} // namespace tamblure::test
