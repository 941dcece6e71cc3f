#pragma once

// Hand-built JPEG segments and EXIF data for the metadata tests: the bytes a
// camera would write, laid out by the test itself so that every offset is
// known.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tamblure::metadata::test {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5, kSByte = 6, kUndefined = 7,
                        kSShort = 8, kSLong = 9, kSRational = 10, kFloat = 11, kDouble = 12;

// FF, marker, big-endian length (payload + 2), payload.
Bytes segment(int marker, const Bytes& payload);

// A segment whose payload is the text's bytes.
Bytes text(int marker, const std::string& s);

// A segment's payload: what follows FF, its marker and its length.
Bytes payloadOf(const Bytes& segment);

// A segment as the reader keeps it: what follows FF and its marker.
Bytes rawOf(const Bytes& segment);

// The parts one after the other.
Bytes concat(const std::vector<Bytes>& parts);

// SOI, the given segments (each already FF marker length payload), then a
// start of scan, a few bytes of "compressed data" and EOI.
Bytes jpegFile(const std::vector<Bytes>& segments);

// An ICC profile of `size` bytes (at least 128) whose header gives the
// colour space (a four-character code: "RGB ", "GRAY", "CMYK"), its size and
// the "acsp" signature; the rest is a pattern.
Bytes iccProfile(const char* space, std::size_t size = 600);

// The profile cut into APP2 "ICC_PROFILE" segments of at most chunkSize bytes
// of profile each, numbered from 1, in order.
std::vector<Bytes> iccSegments(const Bytes& profile, std::size_t chunkSize = 65519);

// One APP2 "ICC_PROFILE" segment with the given number and count.
Bytes iccSegment(std::uint8_t number, std::uint8_t count, const Bytes& chunk);

// An APP1 EXIF segment under construction: "Exif\0\0", then a TIFF header in
// the chosen byte order whose first-directory offset is given. Offsets passed
// to and returned by the writer count from the TIFF header (the base), as in
// the file; rawOffset() turns them into offsets of the stored segment (which
// begins with the two length bytes), the way the reader reports positions.
class ExifWriter {
public:
    struct Entry {
        std::uint16_t tag;
        std::uint16_t type;
        std::uint32_t count;
        std::uint8_t field[4]; // the value field as stored
    };

    explicit ExifWriter(bool bigEndian, std::uint32_t firstDirectory = 8);

    bool bigEndian() const { return bigEndian_; }
    // Offset from the base of the next byte written.
    std::uint32_t here() const;
    static std::size_t rawOffset(std::uint32_t fromBase) { return fromBase + 8; }

    void u8(std::uint8_t v);
    void u16(std::uint16_t v);
    void u32(std::uint32_t v);
    void pad(std::size_t count, std::uint8_t value = 0);
    void setU32(std::uint32_t fromBase, std::uint32_t v);

    // Entries whose value sits in the field. A SHORT field keeps `rest` in
    // its last two bytes, so tests can see they are left alone.
    Entry shortEntry(std::uint16_t tag, std::uint16_t value, std::uint16_t rest = 0xCDAB) const;
    Entry longEntry(std::uint16_t tag, std::uint32_t value) const;
    // Any type whose field holds a 32-bit number: an offset, or a raw value.
    Entry entry(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t field) const;

    // Writes a directory here and returns its offset from the base; the
    // position of entry i's value field, as the reader reports it, is
    // fieldPos(directory, i).
    std::uint32_t directory(const std::vector<Entry>& entries, std::uint32_t next = 0);
    static std::size_t fieldPos(std::uint32_t directory, std::size_t index)
    {
        return rawOffset(directory) + 2 + 12 * index + 8;
    }

    // The APP1 segment (FF E1 length "Exif\0\0" TIFF data).
    Bytes app1() const;
    // The stored bytes of the segment as the reader keeps them (from the
    // length field on).
    Bytes raw() const;

private:
    bool bigEndian_;
    Bytes tiff_;
};

} // namespace tamblure::metadata::test
