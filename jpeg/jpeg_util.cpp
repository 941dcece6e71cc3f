#include "jpeg/jpeg_util.h"

#include "common/byte_reader.h"
#include "common/errors.h"
#include "common/file_io.h"

#include <algorithm>

namespace tamblure::jpeg {

namespace {

bool isFrameWeRead(std::uint8_t code)
{
    return code == 0xC0 || code == 0xC1 || code == 0xC2 || code == 0xC9 || code == 0xCA;
}

// Markers that stand alone, without a length: RST0-7, TEM, SOI, EOI.
bool hasNoLength(std::uint8_t code)
{
    return (code >= 0xD0 && code <= 0xD9) || code == 0x01;
}

// Walks the segments from SOI and hands each marker code, with the place of
// what follows it, to visit, until visit gives an answer. Every read either
// gets its bytes or ends the walk with nothing, and the position only moves
// forward, so the walk ends at the end of the file at the latest.
template <typename Visit>
auto walkSegments(const ByteReader& file, Visit visit) -> decltype(visit(std::uint8_t{}, std::size_t{}))
{
    std::uint16_t start = 0;
    if (!file.u16At(0, start) || start != 0xFFD8)
        return std::nullopt;
    std::size_t pos = 2;
    for (;;) {
        std::uint8_t byte = 0;
        if (!file.u8At(pos++, byte))
            return std::nullopt;
        // Zero bytes between two segments are skipped.
        while (byte == 0x00) {
            if (!file.u8At(pos++, byte))
                return std::nullopt;
        }
        if (byte != 0xFF)
            return std::nullopt;
        // Fill bytes: any number of 0xFF may stand before the marker code.
        std::uint8_t code = 0xFF;
        while (code == 0xFF) {
            if (!file.u8At(pos++, code))
                return std::nullopt;
        }
        if (code == 0x00)
            return std::nullopt; // a stuffed zero is entropy-coded data, not a marker
        if (auto answer = visit(code, pos))
            return answer;
        if (hasNoLength(code))
            continue;
        // Any other segment is passed over by its length, which counts its
        // own two bytes.
        std::uint16_t length = 0;
        if (!file.u16At(pos, length) || length < 2)
            return std::nullopt;
        pos += length;
    }
}

} // namespace

std::optional<JpegFrame> ProbeJpegFrame(std::span<const std::uint8_t> bytes)
{
    const ByteReader file(bytes);
    const std::optional<JpegFrame> frame =
        walkSegments(file, [&](std::uint8_t code, std::size_t pos) -> std::optional<JpegFrame> {
            if (!isFrameWeRead(code))
                return std::nullopt; // other frame kinds are passed over too
            // Frame header (after the marker code):
            //   +0 Lf (2)  +2 P (1)  +3 Y (2)  +5 X (2)  +7 Nf (1)
            // All the fields are read before anything is reported, so a file
            // that ends inside them reports nothing.
            std::uint16_t lines = 0, samples = 0;
            std::uint8_t precision = 0, components = 0;
            if (!file.u8At(pos + 2, precision) || !file.u16At(pos + 3, lines) || !file.u16At(pos + 5, samples) ||
                !file.u8At(pos + 7, components))
                return JpegFrame{};
            // libjpeg decodes 8-bit samples only, and neither an empty picture
            // nor one whose height comes later (DNL).
            if (precision != 8 || lines == 0 || samples == 0 || components == 0)
                return JpegFrame{};
            JpegFrame read{samples, lines, components, code};
            // Each component: +8 + 3c Ci (1), Hi Vi (1), Tqi (1). What a file
            // cut short lacks of them stays 0, which counts as 1.
            for (std::size_t c = 0; c < std::min<std::size_t>(components, JpegFrame::kMaxComponents); ++c) {
                std::uint8_t sampling = 0;
                if (!file.u8At(pos + 8 + 3 * c + 1, sampling))
                    break;
                read.hSampling[c] = static_cast<std::uint8_t>(sampling >> 4);
                read.vSampling[c] = static_cast<std::uint8_t>(sampling & 15);
            }
            return read;
        });
    // The first frame the decoder can read ends the walk, readable or not
    // (an empty frame, with no component, stands for one that is not).
    if (!frame || frame->components == 0)
        return std::nullopt;
    JpegFrame found = *frame;
    if (found.progressive()) {
        found.multiScan = true;
    } else if (const auto scan = FirstScanOffset(bytes)) {
        // Scan header: FF DA, Ls (2), Ns (1).
        std::uint8_t inScan = 0;
        found.multiScan = file.u8At(*scan + 4, inScan) && inScan < found.components;
    }
    return found;
}

std::uint64_t JpegFrame::blocks() const
{
    int hMax = 1, vMax = 1;
    const int counted = std::min<int>(components, kMaxComponents);
    for (int c = 0; c < counted; ++c) {
        hMax = std::max<int>(hMax, hSampling[static_cast<std::size_t>(c)]);
        vMax = std::max<int>(vMax, vSampling[static_cast<std::size_t>(c)]);
    }
    std::uint64_t total = 0;
    for (int c = 0; c < counted; ++c) {
        // A factor of 0, which libjpeg refuses, counts as 1.
        const auto h = std::max<std::uint64_t>(hSampling[static_cast<std::size_t>(c)], 1);
        const auto v = std::max<std::uint64_t>(vSampling[static_cast<std::size_t>(c)], 1);
        const std::uint64_t across =
            (std::uint64_t{width} * h + std::uint64_t(hMax) * 8 - 1) / (std::uint64_t(hMax) * 8);
        const std::uint64_t down =
            (std::uint64_t{height} * v + std::uint64_t(vMax) * 8 - 1) / (std::uint64_t(vMax) * 8);
        total += across * down;
    }
    return total;
}

std::optional<std::size_t> FirstScanOffset(std::span<const std::uint8_t> bytes)
{
    constexpr std::uint8_t kStartOfScan = 0xDA;
    const ByteReader file(bytes);
    return walkSegments(file, [](std::uint8_t code, std::size_t pos) -> std::optional<std::size_t> {
        // The place of the marker itself: its FF and code come before pos.
        return code == kStartOfScan ? std::optional<std::size_t>(pos - 2) : std::nullopt;
    });
}

bool ProbeJpegHeader(const std::filesystem::path& path, std::uint16_t& width, std::uint16_t& height,
                     bool& threeComponents)
{
    const PhotographBytes photograph(path);
    if (!photograph.file().opened())
        throw EFOpenError(openErrorMessage(path.string(), photograph.error()));
    const std::optional<JpegFrame> frame = ProbeJpegFrame(photograph.bytes());
    if (!frame)
        return false;
    width = frame->width;
    height = frame->height;
    threeComponents = frame->threeComponents();
    return true;
}

} // namespace tamblure::jpeg
