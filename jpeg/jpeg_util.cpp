#include "jpeg/jpeg_util.h"

#include "common/byte_reader.h"
#include "common/errors.h"
#include "common/file_io.h"

#include <array>
#include <cerrno>
#include <span>
#include <unistd.h>

namespace tamblure::jpeg {

namespace {

// Random access to a file through one small window: each read at a position
// outside the window reads a new window there, so the walk below costs one
// small read per segment and a segment body is passed over by moving the
// position, however long it is. The bytes are checked through a ByteReader
// over the window.
class FileWindow {
public:
    explicit FileWindow(int fd) : fd_(fd) {}

    bool u8(std::uint64_t pos, std::uint8_t& out)
    {
        return ensure(pos, 1) && reader().u8At(static_cast<std::size_t>(pos - start_), out);
    }

    bool u16(std::uint64_t pos, std::uint16_t& out)
    {
        return ensure(pos, 2) && reader().u16At(static_cast<std::size_t>(pos - start_), out);
    }

private:
    static constexpr std::size_t kWindow = 512;

    ByteReader reader() const { return ByteReader(std::span(buffer_.data(), length_)); }

    // True when [pos, pos + n) is in the window, after reading a new window
    // at pos if it was not.
    bool ensure(std::uint64_t pos, std::size_t n)
    {
        if (pos >= start_ && reader().fits(static_cast<std::size_t>(pos - start_), n))
            return true;
        ssize_t got;
        do
            got = ::pread(fd_, buffer_.data(), buffer_.size(), static_cast<off_t>(pos));
        while (got < 0 && errno == EINTR);
        start_ = pos;
        length_ = got > 0 ? static_cast<std::size_t>(got) : 0;
        return reader().fits(0, n);
    }

    int fd_;
    std::array<std::uint8_t, kWindow> buffer_{};
    std::uint64_t start_ = 0;
    std::size_t length_ = 0;
};

// The same reads on bytes already in memory.
class SpanWindow {
public:
    explicit SpanWindow(std::span<const std::uint8_t> bytes) : reader_(bytes) {}

    bool u8(std::uint64_t pos, std::uint8_t& out) const
    {
        return pos < reader_.size() && reader_.u8At(static_cast<std::size_t>(pos), out);
    }
    bool u16(std::uint64_t pos, std::uint16_t& out) const
    {
        return pos < reader_.size() && reader_.u16At(static_cast<std::size_t>(pos), out);
    }

private:
    ByteReader reader_;
};

bool isFrameWeRead(std::uint8_t code)
{
    return code == 0xC0 || code == 0xC1 || code == 0xC2 || code == 0xC9 || code == 0xCA;
}

// Markers that stand alone, without a length: RST0-7, TEM, SOI, EOI.
bool hasNoLength(std::uint8_t code)
{
    return (code >= 0xD0 && code <= 0xD9) || code == 0x01;
}

// The walk from SOI to the first frame header we read, over either window.
template <class Window>
bool walkToFrame(Window& file, std::uint16_t& width, std::uint16_t& height, bool& threeComponents)
{
    std::uint16_t start = 0;
    if (!file.u16(0, start) || start != 0xFFD8)
        return false;

    // Every read below either gets its bytes or ends the walk with false, and
    // the position only moves forward, so the walk ends at the end of the file
    // at the latest.
    std::uint64_t pos = 2;
    for (;;) {
        std::uint8_t byte = 0;
        if (!file.u8(pos++, byte))
            return false;
        // Zero bytes between two segments are skipped.
        while (byte == 0x00) {
            if (!file.u8(pos++, byte))
                return false;
        }
        if (byte != 0xFF)
            return false;
        // Fill bytes: any number of 0xFF may stand before the marker code.
        std::uint8_t code = 0xFF;
        while (code == 0xFF) {
            if (!file.u8(pos++, code))
                return false;
        }
        if (code == 0x00)
            return false; // a stuffed zero is entropy-coded data, not a marker

        if (isFrameWeRead(code)) {
            // Frame header (after the marker code):
            //   +0 Lf (2)  +2 P (1)  +3 Y (2)  +5 X (2)  +7 Nf (1)
            // All three fields are read before any out-value is written, so
            // a file that ends inside them reports nothing.
            std::uint16_t lines = 0, samples = 0;
            std::uint8_t precision = 0, components = 0;
            if (!file.u8(pos + 2, precision) || !file.u16(pos + 3, lines) || !file.u16(pos + 5, samples) ||
                !file.u8(pos + 7, components))
                return false;
            // libjpeg decodes 8-bit samples only, and neither an empty
            // picture nor one whose height comes later (DNL).
            if (precision != 8 || lines == 0 || samples == 0 || components == 0)
                return false;
            width = samples;
            height = lines;
            threeComponents = components == 3;
            return true;
        }
        if (hasNoLength(code))
            continue;

        // Any other segment, other frame kinds included, is passed over by
        // its length, which counts its own two bytes.
        std::uint16_t length = 0;
        if (!file.u16(pos, length) || length < 2)
            return false;
        pos += length;
    }
}

} // namespace

bool ProbeJpegHeader(const std::filesystem::path& path, std::uint16_t& width, std::uint16_t& height,
                     bool& threeComponents)
{
    return ProbeJpegHeader(JpegInput::file(path), width, height, threeComponents);
}

bool ProbeJpegHeader(const JpegInput& input, std::uint16_t& width, std::uint16_t& height, bool& threeComponents)
{
    if (input.read) {
        SpanWindow bytes(input.bytes);
        return walkToFrame(bytes, width, height, threeComponents);
    }
    const ReadOnlyFile photograph(input.path);
    if (!photograph.opened())
        throw EFOpenError(openErrorMessage(input.path.string(), photograph.openError()));
    if (!photograph.readable())
        return false;
    FileWindow file(photograph.fd());
    return walkToFrame(file, width, height, threeComponents);
}

} // namespace tamblure::jpeg
