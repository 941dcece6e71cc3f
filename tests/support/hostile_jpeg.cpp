#include "support/hostile_jpeg.h"

#include "support/jpeg_fixtures.h"
#include "support/libjpeg_memory.h"

#include <algorithm>
#include <stdexcept>

namespace tamblure::test {

namespace {

struct FlatJob {
    MemoryCompression* compression;
    const FlatSpec* spec;
    const unsigned char* row; // one row of the picture; every row is the same
    int rows;                 // rows encoded
    jpeg_scan_info* script;   // refinements: room for its scans
};

// The scans of spec.refinements: the DC of every component, then each
// component's AC from bit `refinements` on and its refinements down to bit 0.
int refiningScript(const FlatSpec& spec, jpeg_scan_info* scans)
{
    int n = 0;
    scans[n] = {};
    scans[n].comps_in_scan = spec.components;
    for (int c = 0; c < spec.components; ++c)
        scans[n].component_index[c] = c;
    scans[n].Ss = scans[n].Se = 0;
    ++n;
    for (int c = 0; c < spec.components; ++c) {
        for (int bit = spec.refinements; bit >= 0; --bit) {
            scans[n] = {};
            scans[n].comps_in_scan = 1;
            scans[n].component_index[0] = c;
            scans[n].Ss = 1;
            scans[n].Se = 63;
            scans[n].Ah = bit == spec.refinements ? 0 : bit + 1;
            scans[n].Al = bit;
            ++n;
        }
    }
    return n;
}

void compressFlatStep(void* arg)
{
    auto* job = static_cast<FlatJob*>(arg);
    jpeg_compress_struct* cinfo = &job->compression->cinfo;
    const FlatSpec& spec = *job->spec;
    jpeg_create_compress(cinfo);
    job->compression->created = true;
    job->compression->toMemory();
    cinfo->image_width = static_cast<JDIMENSION>(spec.width);
    cinfo->image_height = static_cast<JDIMENSION>(job->rows);
    cinfo->input_components = spec.components;
    cinfo->in_color_space = spec.components == 1 ? JCS_GRAYSCALE : spec.components == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, 75, TRUE);
    cinfo->arith_code = spec.arithmetic ? TRUE : FALSE;
    cinfo->restart_interval = static_cast<unsigned>(spec.restartInterval);
    if (spec.progressive && spec.refinements > 0) {
        cinfo->scan_info = job->script;
        cinfo->num_scans = refiningScript(spec, job->script);
    } else if (spec.progressive) {
        jpeg_simple_progression(cinfo);
    }
    jpeg_start_compress(cinfo, TRUE);
    constexpr int kBatch = 64;
    JSAMPROW rows[kBatch];
    std::fill(std::begin(rows), std::end(rows), const_cast<JSAMPROW>(job->row));
    while (cinfo->next_scanline < cinfo->image_height) {
        const auto left = cinfo->image_height - cinfo->next_scanline;
        jpeg_write_scanlines(cinfo, rows, std::min<JDIMENSION>(kBatch, left));
    }
    jpeg_finish_compress(cinfo);
}

bool isFrameHeader(int code)
{
    // SOF0 to SOF15 but DHT (C4), JPG (C8) and DAC (CC).
    return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

} // namespace

std::vector<std::uint8_t> makeFlatJpeg(const FlatSpec& spec)
{
    if (spec.width < 1 || spec.height < 1 || spec.encodedRows < 0 || spec.encodedRows > spec.height ||
        spec.refinements < 0 || spec.refinements > 10 ||
        (spec.components != 1 && spec.components != 3 && spec.components != 4))
        throw std::runtime_error("makeFlatJpeg: unusable spec");
    const std::vector<unsigned char> row(
        static_cast<std::size_t>(spec.width) * static_cast<std::size_t>(spec.components), spec.level);
    std::vector<jpeg_scan_info> script(1 + 4 * 11);
    MemoryCompression compression;
    FlatJob job{&compression, &spec, row.data(), spec.encodedRows > 0 ? spec.encodedRows : spec.height, script.data()};
    std::vector<std::uint8_t> bytes = compressTrapped(compression, compressFlatStep, &job, "makeFlatJpeg");
    if (job.rows != spec.height)
        bytes = withDeclaredSize(std::move(bytes), spec.width, spec.height);
    if (spec.repeatedLastScan > 0)
        bytes = withLastScanRepeated(std::move(bytes), spec.repeatedLastScan);
    return withComments(std::move(bytes), spec.fileBytes);
}

std::vector<std::uint8_t> withDeclaredSize(std::vector<std::uint8_t> jpeg, int width, int height)
{
    // Segments from SOI on: FF code, length (2, counting itself), payload.
    // A frame header's payload: precision (1), height (2), width (2), ...
    std::size_t pos = 2;
    while (pos + 9 <= jpeg.size() && jpeg[pos] == 0xFF) {
        const int code = jpeg[pos + 1];
        if (isFrameHeader(code)) {
            jpeg[pos + 5] = static_cast<std::uint8_t>(height >> 8);
            jpeg[pos + 6] = static_cast<std::uint8_t>(height & 0xFF);
            jpeg[pos + 7] = static_cast<std::uint8_t>(width >> 8);
            jpeg[pos + 8] = static_cast<std::uint8_t>(width & 0xFF);
            return jpeg;
        }
        if (code == 0xDA)
            break;
        pos += 2 + (std::size_t{jpeg[pos + 2]} << 8 | jpeg[pos + 3]);
    }
    throw std::runtime_error("withDeclaredSize: no frame header");
}

std::vector<std::uint8_t> withComments(std::vector<std::uint8_t> jpeg, std::size_t fileBytes)
{
    // Comment segments right after SOI: FF FE, length (2, counting itself),
    // payload of at most 65533 bytes; a segment takes at least 4 bytes.
    std::vector<std::uint8_t> comments;
    std::size_t missing = fileBytes > jpeg.size() ? fileBytes - jpeg.size() : 0;
    while (missing > 0) {
        std::size_t segment = std::min<std::size_t>(missing, 65537);
        if (missing - segment > 0 && missing - segment < 4)
            segment -= 4;
        segment = std::max<std::size_t>(segment, 4);
        comments.insert(comments.end(), {0xFF, 0xFE, static_cast<std::uint8_t>((segment - 2) >> 8),
                                         static_cast<std::uint8_t>((segment - 2) & 0xFF)});
        comments.insert(comments.end(), segment - 4, 'x');
        missing -= std::min(missing, segment);
    }
    jpeg.insert(jpeg.begin() + 2, comments.begin(), comments.end());
    return jpeg;
}

std::string describe(const FlatSpec& spec)
{
    std::string name = spec.arithmetic ? "arith" : "huff";
    if (spec.progressive)
        name += "-prog";
    name += spec.components == 1 ? "-grey" : spec.components == 4 ? "-cmyk" : "-colour";
    name += "-" + std::to_string(spec.width) + "x" + std::to_string(spec.height);
    if (spec.restartInterval > 0)
        name += "-rst" + std::to_string(spec.restartInterval);
    if (spec.encodedRows > 0)
        name += "-cut" + std::to_string(spec.encodedRows);
    if (spec.repeatedLastScan > 0)
        name += "-rep" + std::to_string(spec.repeatedLastScan);
    if (spec.refinements > 0)
        name += "-ref" + std::to_string(spec.refinements);
    if (spec.fileBytes > 0)
        name += "-" + std::to_string(spec.fileBytes) + "B";
    return name;
}

} // namespace tamblure::test
