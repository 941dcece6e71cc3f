#include "jpeg/decode_memory.h"

#include "imaging/bitmap24.h"
#include "jpeg/libjpeg_trap.h"

#include <algorithm>

namespace tamblure::jpeg {

namespace {

// A block of coefficients as libjpeg keeps it (64 JCOEF), and the pointer
// to each row of blocks.
constexpr std::uint64_t kBlockBytes = 64 * sizeof(JCOEF);
constexpr std::uint64_t kRowPointerBytes = sizeof(void*);
// libjpeg's working rows, decoding or encoding, per component: the main
// buffer with its context rows (ten row groups), the upsampler's or the
// downsampler's rows, the colour converter's; measured under 24 rows of the
// picture's width at full scale, counted as 64.
constexpr std::uint64_t kWorkingRows = 64;
// Its tables (Huffman, quantisation, IDCT multipliers, colour conversion)
// and pools' headers: a few tens of kilobytes.
constexpr std::uint64_t kTables = 256 * 1024;
// The streamed route's band of rows (streamed_decode.cpp).
constexpr std::uint64_t kBandRows = 16;
// Bytes per column of the picture that the reductions and the streamed
// route keep besides their rasters: the row reducer's column sums (up to 4
// bytes a channel), the grey quantizer's error and correction rows (about 40
// bytes), a CMYK row turned into blue, green, red (3).
constexpr std::uint64_t kRowBytesPerColumn = 64;
// The step's small buffers: the carried metadata (at most 20 segments of
// 64 KB) and its rewritten head, the reductions' tables of rows.
constexpr std::uint64_t kStepBuffers = std::uint64_t{2} << 20;

std::uint64_t ceilDiv(std::uint64_t a, std::uint64_t b)
{
    return (a + b - 1) / b;
}

std::uint64_t roundUp(std::uint64_t a, std::uint64_t b)
{
    return ceilDiv(a, b) * b;
}

// A sampling factor as libjpeg takes it (it refuses 0 in a file's header).
std::uint64_t factorOf(std::uint8_t sampling)
{
    return std::max<std::uint64_t>(sampling, 1);
}

// A 24-bit raster as Bitmap24 holds it, rows padded to 4 bytes; nothing for
// one without pixels.
std::uint64_t raster24(std::int64_t width, std::int64_t height)
{
    if (width <= 0 || height <= 0)
        return 0;
    return static_cast<std::uint64_t>(imaging::Bitmap24::strideFor(width, 24)) * static_cast<std::uint64_t>(height);
}

// A component's blocks across and down, as libjpeg counts them.
struct ComponentBlocks {
    std::uint64_t across = 0;
    std::uint64_t down = 0;
};

ComponentBlocks blocksOf(const JpegFrame& frame, int c)
{
    int hMax = 1, vMax = 1;
    for (int i = 0; i < frame.components && i < JpegFrame::kMaxComponents; ++i) {
        hMax = std::max<int>(hMax, frame.hSampling[static_cast<std::size_t>(i)]);
        vMax = std::max<int>(vMax, frame.vSampling[static_cast<std::size_t>(i)]);
    }
    const auto i = static_cast<std::size_t>(c);
    return {ceilDiv(std::uint64_t{frame.width} * factorOf(frame.hSampling[i]), std::uint64_t(hMax) * 8),
            ceilDiv(std::uint64_t{frame.height} * factorOf(frame.vSampling[i]), std::uint64_t(vMax) * 8)};
}

// libjpeg's working rows for a picture `width` pixels wide, decoding or
// encoding `components` components.
std::uint64_t workingRows(std::int64_t width, int components)
{
    return kWorkingRows * roundUp(static_cast<std::uint64_t>(std::max<std::int64_t>(width, 0)), 32) *
               static_cast<std::uint64_t>(components) +
           kTables;
}

} // namespace

bool withinWorkBound(const JpegFrame& frame, std::uint64_t fileBytes)
{
    return frame.blocks() <= detail::affordableBlocks(fileBytes);
}

std::uint64_t decoderMemory(const JpegFrame& frame)
{
    std::uint64_t coefficients = 0;
    if (frame.multiScan) {
        // Every component's blocks, rounded up to whole MCUs.
        for (int c = 0; c < frame.components && c < JpegFrame::kMaxComponents; ++c) {
            const ComponentBlocks b = blocksOf(frame, c);
            const auto i = static_cast<std::size_t>(c);
            const std::uint64_t rows = roundUp(b.down, factorOf(frame.vSampling[i]));
            coefficients +=
                roundUp(b.across, factorOf(frame.hSampling[i])) * rows * kBlockBytes + rows * kRowPointerBytes;
        }
    }
    return coefficients + workingRows(frame.width, frame.components);
}

std::uint64_t thumbnailMemory(const JpegFrame& frame, const DecodeRoute& route)
{
    const std::int64_t width = frame.width, height = frame.height;
    const imaging::ReductionPlan& plan = route.plan;
    const bool toSize = plan.kind == imaging::ReductionPlan::Kind::ToSize;
    std::uint64_t decoding = 0;  // the most held while the picture is decoded and reduced
    std::uint64_t thumbnail = 0; // the raster the thumbnail is encoded from
    std::int64_t thumbnailWidth = 0;
    if (frame.components == 3) {
        // As DecodeJpegFile takes its scale codes: above 3, full size.
        const int shift = route.scale <= 3 ? route.scale : 0;
        const std::int64_t divisor = std::int64_t{1} << shift;
        const std::int64_t decodedWidth = (width + divisor - 1) / divisor;
        const std::int64_t decodedHeight = (height + divisor - 1) / divisor;
        const std::uint64_t decoded = raster24(decodedWidth, decodedHeight);
        const std::int32_t factor =
            toSize ? 0 : static_cast<std::int32_t>(static_cast<std::uint32_t>(plan.factor) >> shift);
        const std::uint64_t reduced = toSize       ? raster24(plan.width, plan.height)
                                      : factor > 1 ? raster24(decodedWidth / factor, decodedHeight / factor)
                                                   : 0;
        const bool keepsDecoded = !toSize && factor <= 1;
        thumbnail = keepsDecoded ? decoded : reduced;
        thumbnailWidth = toSize ? plan.width : keepsDecoded ? decodedWidth : decodedWidth / factor;
        // The decoder goes before the reduction starts.
        decoding = std::max(decoderMemory(frame) + decoded,
                            decoded + reduced + kRowBytesPerColumn * static_cast<std::uint64_t>(decodedWidth));
    } else {
        // The streamed route keeps the whole picture for a factor of 1 (and
        // for plans its reductions do not cover, which then fail on it).
        const bool whole =
            toSize ? plan.width <= 0 || plan.height < 0 || plan.height > height : plan.factor < 2 || plan.factor > 99;
        const std::uint64_t picture = whole ? raster24(width, height) : 0;
        const std::uint64_t reduced = toSize             ? raster24(plan.width, plan.height)
                                      : plan.factor >= 2 ? raster24(width / plan.factor, height / plan.factor)
                                                         : 0;
        thumbnail = toSize || plan.factor >= 2 ? reduced : picture;
        thumbnailWidth = toSize ? plan.width : plan.factor >= 2 ? width / plan.factor : width;
        const auto columns = static_cast<std::uint64_t>(width);
        const std::uint64_t rows =
            (kBandRows * std::max<std::uint64_t>(frame.components, 1) + kRowBytesPerColumn) * columns;
        // The decoder lasts until the reducer hands its raster over.
        decoding = decoderMemory(frame) + rows + picture + reduced;
    }
    // The encoder's rows, and the thumbnail's JPEG bytes held twice, each at
    // most half the thumbnail's raster.
    const std::uint64_t encoding = thumbnail + thumbnail + workingRows(thumbnailWidth, 3);
    return route.fileBytesRead + kStepBuffers + std::max(decoding, encoding);
}

} // namespace tamblure::jpeg
