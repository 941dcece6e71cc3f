#include "jpeg/jpeg_util.h"

#include "common/byte_reader.h"
#include "common/errors.h"
#include "common/file_io.h"

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

} // namespace

std::optional<JpegFrame> ProbeJpegFrame(std::span<const std::uint8_t> bytes)
{
    const ByteReader file(bytes);
    std::uint16_t start = 0;
    if (!file.u16At(0, start) || start != 0xFFD8)
        return std::nullopt;

    // Every read below either gets its bytes or ends the walk with nothing,
    // and the position only moves forward, so the walk ends at the end of the
    // file at the latest. A position past the end fails its read.
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

        if (isFrameWeRead(code)) {
            // Frame header (after the marker code):
            //   +0 Lf (2)  +2 P (1)  +3 Y (2)  +5 X (2)  +7 Nf (1)
            // All the fields are read before anything is reported, so a file
            // that ends inside them reports nothing.
            std::uint16_t lines = 0, samples = 0;
            std::uint8_t precision = 0, components = 0;
            if (!file.u8At(pos + 2, precision) || !file.u16At(pos + 3, lines) || !file.u16At(pos + 5, samples) ||
                !file.u8At(pos + 7, components))
                return std::nullopt;
            // libjpeg decodes 8-bit samples only, and neither an empty
            // picture nor one whose height comes later (DNL).
            if (precision != 8 || lines == 0 || samples == 0 || components == 0)
                return std::nullopt;
            return JpegFrame{samples, lines, components, code};
        }
        if (hasNoLength(code))
            continue;

        // Any other segment, other frame kinds included, is passed over by
        // its length, which counts its own two bytes.
        std::uint16_t length = 0;
        if (!file.u16At(pos, length) || length < 2)
            return std::nullopt;
        pos += length;
    }
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
