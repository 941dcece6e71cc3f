#include "jpeg/IJL.h"

#include "common/atomic_file.h"
#include "common/file_io.h"
#include "jpeg/libjpeg_trap.h"

#include <jerror.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace tamblure::jpeg {

// A growing block of memory that libjpeg writes a compressed file into. It
// grows with realloc, never throws, and always points at what it holds, so
// the record frees it whatever way the compression ended.
struct MemoryDestination {
    jpeg_destination_mgr pub{}; // first member: libjpeg sees only this part
    unsigned char* bytes = nullptr;
    std::size_t capacity = 0;
    std::size_t size = 0;

    MemoryDestination() = default;
    MemoryDestination(const MemoryDestination&) = delete;
    MemoryDestination& operator=(const MemoryDestination&) = delete;
    ~MemoryDestination() { std::free(bytes); }
};

// Kept between a parameter read and the picture read: the decompressor that
// has parsed the headers, and the bytes it reads (the caller's, or the
// file's, read once); after a write to memory, the compressed file. The file
// is declared first, so it goes last, after the decompressor that reads it.
struct IjlState {
    std::unique_ptr<PhotographBytes> file;
    detail::Decompressor decoder;
    std::string path;                     // for a file
    const unsigned char* bytes = nullptr; // the caller's or the file's
    std::size_t size = 0;
    bool headerRead = false;
    MemoryDestination encoded;
};

namespace {

void dropState(JPEG_CORE_PROPERTIES* props)
{
    delete props->state;
    props->state = nullptr;
}

int colourOf(J_COLOR_SPACE space)
{
    switch (space) {
    case JCS_GRAYSCALE:
        return IJL_G;
    case JCS_YCbCr:
        return IJL_YCBCR;
    case JCS_RGB:
        return IJL_RGB;
    default:
        return IJL_OTHER;
    }
}

// The libjpeg pixel layout of a DIB, or JCS_UNKNOWN when the pair is not one
// the layer handles.
J_COLOR_SPACE dibColourSpace(const JPEG_CORE_PROPERTIES& props)
{
    if (props.DIBChannels == 3 && props.DIBColor == IJL_BGR)
        return JCS_EXT_BGR;
    if (props.DIBChannels == 3 && props.DIBColor == IJL_RGB)
        return JCS_RGB;
    if (props.DIBChannels == 1 && props.DIBColor == IJL_G)
        return JCS_GRAYSCALE;
    return JCS_UNKNOWN;
}

// The scale of a picture read, for either kind of read; 0 for anything else.
int scaleDenominator(int mode)
{
    switch (mode) {
    case IJL_JFILE_READWHOLEIMAGE:
    case IJL_JBUFF_READWHOLEIMAGE:
        return 1;
    case IJL_JFILE_READONEHALF:
    case IJL_JBUFF_READONEHALF:
        return 2;
    case IJL_JFILE_READONEQUARTER:
    case IJL_JBUFF_READONEQUARTER:
        return 4;
    case IJL_JFILE_READONEEIGHTH:
    case IJL_JBUFF_READONEEIGHTH:
        return 8;
    default:
        return 0;
    }
}

bool fromMemory(int mode)
{
    return mode == IJL_JBUFF_READPARAMS || mode == IJL_JBUFF_READWHOLEIMAGE || mode == IJL_JBUFF_READONEHALF ||
           mode == IJL_JBUFF_READONEQUARTER || mode == IJL_JBUFF_READONEEIGHTH;
}

// The DIB's rows as libjpeg walks them, top row first: where the top row
// starts and how far apart consecutive rows are (negative for bottom-up).
struct RowWalk {
    unsigned char* top;
    std::ptrdiff_t step;
};

RowWalk rowWalk(const JPEG_CORE_PROPERTIES& props)
{
    const std::ptrdiff_t line = static_cast<std::ptrdiff_t>(props.DIBWidth) * props.DIBChannels + props.DIBPadBytes;
    if (props.DIBHeight < 0) {
        const std::ptrdiff_t rows = -static_cast<std::ptrdiff_t>(props.DIBHeight);
        return {props.DIBBytes + (rows - 1) * line, -line};
    }
    return {props.DIBBytes, line};
}

bool dibIsDescribed(const JPEG_CORE_PROPERTIES& props)
{
    return props.DIBBytes != nullptr && props.DIBWidth > 0 && props.DIBHeight != 0 && props.DIBHeight != INT32_MIN &&
           props.DIBPadBytes >= 0 && dibColourSpace(props) != JCS_UNKNOWN;
}

// --- Trapped steps: plain code only, no object with a destructor. -------

void readHeaderStep(void* arg)
{
    auto* state = static_cast<IjlState*>(arg);
    jpeg_mem_src(&state->decoder.cinfo, state->bytes, static_cast<unsigned long>(state->size));
    jpeg_read_header(&state->decoder.cinfo, TRUE);
    // Before the caller sizes its block for the picture.
    detail::limitPicture(&state->decoder.cinfo, state->size);
}

struct ScaleJob {
    j_decompress_ptr cinfo;
    int denominator;
    J_COLOR_SPACE outSpace;
};

void scaleStep(void* arg)
{
    auto* job = static_cast<ScaleJob*>(arg);
    job->cinfo->scale_num = 1;
    job->cinfo->scale_denom = static_cast<unsigned>(job->denominator);
    job->cinfo->out_color_space = job->outSpace;
    jpeg_calc_output_dimensions(job->cinfo);
}

struct DecodeJob {
    j_decompress_ptr cinfo;
    RowWalk rows;
    bool stalled;
};

void decodeStep(void* arg)
{
    auto* job = static_cast<DecodeJob*>(arg);
    j_decompress_ptr cinfo = job->cinfo;
    jpeg_start_decompress(cinfo);
    // Row pointers straight into the caller's block: libjpeg's colour
    // converter writes the final pixels there, nothing is copied after.
    constexpr JDIMENSION kBatch = 16;
    JSAMPROW pointers[kBatch];
    while (cinfo->output_scanline < cinfo->output_height) {
        const JDIMENSION first = cinfo->output_scanline;
        const JDIMENSION count = std::min(kBatch, cinfo->output_height - first);
        for (JDIMENSION i = 0; i < count; ++i)
            pointers[i] = job->rows.top + static_cast<std::ptrdiff_t>(first + i) * job->rows.step;
        if (jpeg_read_scanlines(cinfo, pointers, count) == 0) {
            job->stalled = true;
            return;
        }
    }
}

void initDestination(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<MemoryDestination*>(cinfo->dest);
    constexpr std::size_t kFirstBlock = 64 * 1024;
    auto* bytes = static_cast<unsigned char*>(std::realloc(dest->bytes, kFirstBlock));
    if (bytes == nullptr)
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
    dest->bytes = bytes;
    dest->capacity = kFirstBlock;
    dest->size = 0;
    dest->pub.next_output_byte = bytes;
    dest->pub.free_in_buffer = kFirstBlock;
}

boolean growDestination(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<MemoryDestination*>(cinfo->dest);
    const std::size_t used = dest->capacity;
    auto* bytes = static_cast<unsigned char*>(std::realloc(dest->bytes, 2 * used));
    if (bytes == nullptr)
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
    dest->bytes = bytes;
    dest->capacity = 2 * used;
    dest->pub.next_output_byte = bytes + used;
    dest->pub.free_in_buffer = used;
    return TRUE;
}

void termDestination(j_compress_ptr cinfo)
{
    auto* dest = reinterpret_cast<MemoryDestination*>(cinfo->dest);
    dest->size = dest->capacity - dest->pub.free_in_buffer;
}

struct EncodeJob {
    jpeg_compress_struct* cinfo;
    bool* created;
    MemoryDestination* dest;
    const JPEG_CORE_PROPERTIES* props;
    J_COLOR_SPACE inSpace;
    RowWalk rows;
    unsigned char* greyExpansion; // one BGR row, for a grey DIB
    int hSampling;
    int vSampling;
};

void encodeStep(void* arg)
{
    auto* job = static_cast<EncodeJob*>(arg);
    jpeg_compress_struct* cinfo = job->cinfo;
    jpeg_create_compress(cinfo);
    *job->created = true;
    job->dest->pub.init_destination = initDestination;
    job->dest->pub.empty_output_buffer = growDestination;
    job->dest->pub.term_destination = termDestination;
    cinfo->dest = &job->dest->pub;
    const auto width = static_cast<JDIMENSION>(job->props->DIBWidth);
    cinfo->image_width = width;
    cinfo->image_height = static_cast<JDIMENSION>(job->props->JPGHeight);
    // libjpeg turns BGR or RGB rows into YCbCr itself; a grey row is widened
    // into greyExpansion first, since libjpeg makes no colour from grey.
    const bool grey = job->inSpace == JCS_GRAYSCALE;
    cinfo->in_color_space = grey ? JCS_EXT_BGR : job->inSpace;
    cinfo->input_components = 3;
    jpeg_set_defaults(cinfo);
    jpeg_set_colorspace(cinfo, JCS_YCbCr);
    jpeg_set_quality(cinfo, job->props->jquality, TRUE);
    cinfo->comp_info[0].h_samp_factor = job->hSampling;
    cinfo->comp_info[0].v_samp_factor = job->vSampling;
    for (int c = 1; c < 3; ++c) {
        cinfo->comp_info[c].h_samp_factor = 1;
        cinfo->comp_info[c].v_samp_factor = 1;
    }
    jpeg_start_compress(cinfo, TRUE);
    while (cinfo->next_scanline < cinfo->image_height) {
        unsigned char* source = job->rows.top + static_cast<std::ptrdiff_t>(cinfo->next_scanline) * job->rows.step;
        JSAMPROW row = source;
        if (grey) {
            for (JDIMENSION x = 0; x < width; ++x) {
                unsigned char* pixel = job->greyExpansion + 3 * static_cast<std::size_t>(x);
                pixel[0] = pixel[1] = pixel[2] = source[x];
            }
            row = job->greyExpansion;
        }
        jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
}

// --- Reads and writes. ----------------------------------------------------

int readParams(JPEG_CORE_PROPERTIES* props, bool memory)
{
    dropState(props);
    props->libjpegCode = 0;
    props->systemError = 0;
    props->warnings = {};
    if (memory ? props->JPGBytes == nullptr || props->JPGSizeBytes < 0 : props->JPGFile == nullptr)
        return IJL_BAD_RECORD;
    // The state is the record's only once its headers are read; until then
    // any way out frees it here.
    std::unique_ptr<IjlState> state(new (std::nothrow) IjlState);
    if (state == nullptr)
        return IJL_MEMORY_ERROR;
    if (memory) {
        state->bytes = props->JPGBytes;
        state->size = static_cast<std::size_t>(props->JPGSizeBytes);
    } else {
        // Only regular files are decoded; systemError stays 0 for another.
        try {
            state->path = props->JPGFile;
            state->file = std::make_unique<PhotographBytes>(state->path);
        } catch (const std::bad_alloc&) {
            return IJL_MEMORY_ERROR;
        }
        if (!state->file->readable()) {
            props->systemError = state->file->error();
            return IJL_FILE_ERROR;
        }
        state->bytes = state->file->bytes().data();
        state->size = state->file->bytes().size();
    }
    if (!state->decoder.create() || !detail::runTrapped(state->decoder.trap, readHeaderStep, state.get())) {
        props->libjpegCode = state->decoder.trap.code;
        return IJL_JPEG_ERROR;
    }
    state->headerRead = true;
    const jpeg_decompress_struct& cinfo = state->decoder.cinfo;
    props->JPGWidth = static_cast<std::int32_t>(cinfo.image_width);
    props->JPGHeight = static_cast<std::int32_t>(cinfo.image_height);
    props->JPGChannels = cinfo.num_components;
    props->JPGColor = colourOf(cinfo.jpeg_color_space);
    props->state = state.release();
    return IJL_OK;
}

// True when the record's state has read the headers of the file or bytes the
// record names now.
bool headersReadFor(const JPEG_CORE_PROPERTIES& props, bool memory)
{
    const IjlState* state = props.state;
    if (state == nullptr || !state->headerRead)
        return false;
    if (memory)
        return state->file == nullptr && state->bytes == props.JPGBytes &&
               static_cast<std::int64_t>(state->size) == props.JPGSizeBytes;
    return state->file != nullptr && props.JPGFile != nullptr && state->path == props.JPGFile;
}

int readImage(JPEG_CORE_PROPERTIES* props, int denominator, bool memory)
{
    // A picture read without its parameter read (or for another file) reads
    // the headers first.
    if (!headersReadFor(*props, memory)) {
        const int result = readParams(props, memory);
        if (result != IJL_OK)
            return result;
    }
    // The picture is read once: the decoder and the file go when this
    // returns, whatever the outcome, not at ijlFree.
    const std::unique_ptr<IjlState> state(props->state);
    props->state = nullptr;
    if (!dibIsDescribed(*props))
        return IJL_BAD_RECORD;
    j_decompress_ptr cinfo = &state->decoder.cinfo;
    ScaleJob scale{cinfo, denominator, dibColourSpace(*props)};
    if (!detail::runTrapped(state->decoder.trap, scaleStep, &scale)) {
        props->libjpegCode = state->decoder.trap.code;
        return IJL_JPEG_ERROR;
    }
    // libjpeg writes output_width × output_components bytes into each row and
    // output_height rows: they must be the block the caller described.
    const bool fits = static_cast<std::int64_t>(cinfo->output_width) == props->DIBWidth &&
                      static_cast<std::int64_t>(cinfo->output_height) ==
                          (props->DIBHeight < 0 ? -static_cast<std::int64_t>(props->DIBHeight) : props->DIBHeight) &&
                      cinfo->out_color_components == props->DIBChannels;
    if (!fits)
        return IJL_BAD_RECORD;
    DecodeJob decode{cinfo, rowWalk(*props), false};
    const bool finished = detail::runTrapped(state->decoder.trap, decodeStep, &decode);
    props->warnings = state->decoder.trap.warnings;
    if (!finished || decode.stalled) {
        props->libjpegCode = finished ? JERR_INPUT_EOF : state->decoder.trap.code;
        return IJL_JPEG_ERROR;
    }
    return IJL_OK;
}

} // namespace

int ijlInit(JPEG_CORE_PROPERTIES* props)
{
    if (props == nullptr)
        return IJL_BAD_RECORD;
    props->DIBChannels = 3;
    props->DIBColor = IJL_BGR;
    props->JPGChannels = 3;
    props->JPGColor = IJL_YCBCR;
    props->JPGSubsampling = IJL_411;
    props->jquality = 75;
    props->JPGBytes = nullptr;
    props->JPGSizeBytes = 0;
    props->libjpegCode = 0;
    props->systemError = 0;
    props->warnings = {};
    props->state = nullptr;
    return IJL_OK;
}

int ijlRead(JPEG_CORE_PROPERTIES* props, int mode)
{
    if (props == nullptr)
        return IJL_BAD_RECORD;
    const bool memory = fromMemory(mode);
    if (mode == IJL_JFILE_READPARAMS || mode == IJL_JBUFF_READPARAMS)
        return readParams(props, memory);
    const int denominator = scaleDenominator(mode);
    if (denominator == 0)
        return IJL_BAD_RECORD;
    return readImage(props, denominator, memory);
}

int ijlWrite(JPEG_CORE_PROPERTIES* props, int mode)
{
    if (props == nullptr || (mode != IJL_JFILE_WRITEWHOLEIMAGE && mode != IJL_JBUFF_WRITEWHOLEIMAGE))
        return IJL_BAD_RECORD;
    dropState(props);
    props->libjpegCode = 0;
    props->systemError = 0;
    props->JPGBytes = nullptr;
    props->JPGSizeBytes = 0;
    const JPEG_CORE_PROPERTIES& p = *props;
    if (!dibIsDescribed(p) || (mode == IJL_JFILE_WRITEWHOLEIMAGE && p.JPGFile == nullptr) || p.JPGChannels != 3 ||
        p.JPGColor != IJL_YCBCR || p.JPGWidth != p.DIBWidth ||
        p.JPGHeight != (p.DIBHeight < 0 ? -p.DIBHeight : p.DIBHeight))
        return IJL_BAD_RECORD;
    int hSampling = 0, vSampling = 0;
    switch (p.JPGSubsampling) {
    case IJL_NONE:
        hSampling = vSampling = 1;
        break;
    case IJL_411:
        hSampling = vSampling = 2;
        break;
    case IJL_422:
        hSampling = 2;
        vSampling = 1;
        break;
    default:
        return IJL_BAD_RECORD;
    }

    try {
        const J_COLOR_SPACE inSpace = dibColourSpace(p);
        std::vector<unsigned char> greyExpansion;
        if (inSpace == JCS_GRAYSCALE)
            greyExpansion.resize(3 * static_cast<std::size_t>(p.DIBWidth));
        // The compressed file is the record's only once it is complete.
        auto state = std::make_unique<IjlState>();

        detail::ErrorTrap trap;
        jpeg_compress_struct cinfo{};
        cinfo.err = detail::installErrorTrap(trap);
        bool created = false;
        EncodeJob job{&cinfo,    &created, &state->encoded, &p, inSpace, rowWalk(p), greyExpansion.data(),
                      hSampling, vSampling};
        const bool finished = detail::runTrapped(trap, encodeStep, &job);
        if (created)
            jpeg_destroy_compress(&cinfo);
        if (!finished) {
            props->libjpegCode = trap.code;
            return IJL_JPEG_ERROR;
        }
        const std::span<const std::uint8_t> bytes(state->encoded.bytes, state->encoded.size);
        if (mode == IJL_JBUFF_WRITEWHOLEIMAGE) {
            props->JPGBytes = bytes.data();
            props->JPGSizeBytes = static_cast<std::int64_t>(bytes.size());
            props->state = state.release();
            return IJL_OK;
        }
        AtomicFile out{std::filesystem::path(p.JPGFile)};
        if (out.open() && out.write(bytes) && out.commit())
            return IJL_OK;
        props->systemError = out.error();
        return IJL_FILE_ERROR;
    } catch (const std::bad_alloc&) {
        return IJL_MEMORY_ERROR;
    }
}

int ijlFree(JPEG_CORE_PROPERTIES* props)
{
    if (props == nullptr)
        return IJL_BAD_RECORD;
    dropState(props);
    return IJL_OK;
}

} // namespace tamblure::jpeg
