#include "exif_fixtures.h"

#include <algorithm>
#include <stdexcept>

namespace tamblure::metadata::test {

Bytes segment(int marker, const Bytes& payload)
{
    if (payload.size() > 65533)
        throw std::invalid_argument("segment payload too long");
    const std::size_t length = payload.size() + 2;
    Bytes out(payload.size() + 4);
    out[0] = 0xFF;
    out[1] = static_cast<std::uint8_t>(marker);
    out[2] = static_cast<std::uint8_t>(length >> 8);
    out[3] = static_cast<std::uint8_t>(length & 0xFF);
    std::copy(payload.begin(), payload.end(), out.begin() + 4);
    return out;
}

Bytes text(int marker, const std::string& s)
{
    return segment(marker, Bytes(s.begin(), s.end()));
}

Bytes payloadOf(const Bytes& segment)
{
    return Bytes(segment.begin() + 4, segment.end());
}

Bytes rawOf(const Bytes& segment)
{
    return Bytes(segment.begin() + 2, segment.end());
}

Bytes concat(const std::vector<Bytes>& parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes jpegFile(const std::vector<Bytes>& segments)
{
    Bytes out{0xFF, 0xD8};
    for (const Bytes& s : segments)
        out.insert(out.end(), s.begin(), s.end());
    const Bytes sos = segment(0xDA, {0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});
    out.insert(out.end(), sos.begin(), sos.end());
    // A COM marker inside the scan data must never be read as a segment.
    for (const int b : {0x12, 0x34, 0xFF, 0x00, 0xFF, 0xFE, 0x00, 0x04, 0x56, 0xFF, 0xD9})
        out.push_back(static_cast<std::uint8_t>(b));
    return out;
}

Bytes iccProfile(const char* space, std::size_t size)
{
    Bytes profile(size);
    for (std::size_t i = 0; i < size; ++i)
        profile[i] = static_cast<std::uint8_t>(i * 31 + 7);
    for (int i = 0; i < 4; ++i)
        profile[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(size >> (8 * (3 - i)));
    std::copy(space, space + 4, profile.begin() + 16);
    const char acsp[] = "acsp";
    std::copy(acsp, acsp + 4, profile.begin() + 36);
    return profile;
}

Bytes iccSegment(std::uint8_t number, std::uint8_t count, const Bytes& chunk)
{
    Bytes payload = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, number, count};
    payload.insert(payload.end(), chunk.begin(), chunk.end());
    return segment(0xE2, payload);
}

std::vector<Bytes> iccSegments(const Bytes& profile, std::size_t chunkSize)
{
    const std::size_t count = (profile.size() + chunkSize - 1) / chunkSize;
    std::vector<Bytes> out;
    for (std::size_t i = 0; i < count; ++i) {
        const auto from = profile.begin() + static_cast<std::ptrdiff_t>(i * chunkSize);
        const auto to = profile.begin() + static_cast<std::ptrdiff_t>(std::min(profile.size(), (i + 1) * chunkSize));
        out.push_back(iccSegment(static_cast<std::uint8_t>(i + 1), static_cast<std::uint8_t>(count), Bytes(from, to)));
    }
    return out;
}

ExifWriter::ExifWriter(bool bigEndian, std::uint32_t firstDirectory) : bigEndian_(bigEndian)
{
    tiff_ = bigEndian ? Bytes{'M', 'M'} : Bytes{'I', 'I'};
    u16(42);
    u32(firstDirectory);
}

std::uint32_t ExifWriter::here() const
{
    return static_cast<std::uint32_t>(tiff_.size());
}

void ExifWriter::u8(std::uint8_t v)
{
    tiff_.push_back(v);
}

void ExifWriter::u16(std::uint16_t v)
{
    if (bigEndian_) {
        u8(static_cast<std::uint8_t>(v >> 8));
        u8(static_cast<std::uint8_t>(v));
    } else {
        u8(static_cast<std::uint8_t>(v));
        u8(static_cast<std::uint8_t>(v >> 8));
    }
}

void ExifWriter::u32(std::uint32_t v)
{
    if (bigEndian_) {
        u16(static_cast<std::uint16_t>(v >> 16));
        u16(static_cast<std::uint16_t>(v));
    } else {
        u16(static_cast<std::uint16_t>(v));
        u16(static_cast<std::uint16_t>(v >> 16));
    }
}

void ExifWriter::pad(std::size_t count, std::uint8_t value)
{
    tiff_.insert(tiff_.end(), count, value);
}

void ExifWriter::setU32(std::uint32_t fromBase, std::uint32_t v)
{
    Bytes saved(tiff_.begin() + fromBase + 4, tiff_.end());
    tiff_.resize(fromBase);
    u32(v);
    tiff_.insert(tiff_.end(), saved.begin(), saved.end());
}

ExifWriter::Entry ExifWriter::shortEntry(std::uint16_t tag, std::uint16_t value, std::uint16_t rest) const
{
    Entry e{tag, kShort, 1, {}};
    const auto put = [&](std::uint8_t* at, std::uint16_t v) {
        at[bigEndian_ ? 0 : 1] = static_cast<std::uint8_t>(v >> 8);
        at[bigEndian_ ? 1 : 0] = static_cast<std::uint8_t>(v);
    };
    put(e.field, value);
    put(e.field + 2, rest);
    return e;
}

ExifWriter::Entry ExifWriter::longEntry(std::uint16_t tag, std::uint32_t value) const
{
    return entry(tag, kLong, 1, value);
}

ExifWriter::Entry ExifWriter::entry(std::uint16_t tag, std::uint16_t type, std::uint32_t count,
                                    std::uint32_t field) const
{
    Entry e{tag, type, count, {}};
    for (int i = 0; i < 4; ++i)
        e.field[bigEndian_ ? i : 3 - i] = static_cast<std::uint8_t>(field >> (8 * (3 - i)));
    return e;
}

std::uint32_t ExifWriter::directory(const std::vector<Entry>& entries, std::uint32_t next)
{
    const std::uint32_t at = here();
    u16(static_cast<std::uint16_t>(entries.size()));
    for (const Entry& e : entries) {
        u16(e.tag);
        u16(e.type);
        u32(e.count);
        tiff_.insert(tiff_.end(), std::begin(e.field), std::end(e.field));
    }
    u32(next);
    return at;
}

Bytes ExifWriter::app1() const
{
    Bytes payload{'E', 'x', 'i', 'f', 0, 0};
    payload.insert(payload.end(), tiff_.begin(), tiff_.end());
    return segment(0xE1, payload);
}

Bytes ExifWriter::raw() const
{
    return rawOf(app1());
}

} // namespace tamblure::metadata::test
