#include "metadata/icc_profile.h"

#include "common/byte_reader.h"

#include <algorithm>
#include <array>

namespace tamblure::metadata {

namespace {

// An ICC chunk's stored bytes:
//   0   length field (2)
//   2   "ICC_PROFILE" and a zero byte (12)
//   14  chunk number, from 1 (1)
//   15  number of chunks (1)
//   16  the chunk of the profile
constexpr std::array<std::uint8_t, 12> kSignature = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
constexpr std::size_t kChunkData = 16;

// The profile header's fields that are checked:
//   0   profile size, big-endian (4)
//   16  data colour space (4)
//   36  "acsp" (4)
// A header is 128 bytes long.
constexpr std::size_t kHeaderSize = 128;

bool fourCc(std::span<const std::uint8_t> bytes, std::size_t at, const char (&code)[5])
{
    return std::equal(code, code + 4, bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

} // namespace

bool IccChunks::isChunk(std::span<const std::uint8_t> raw)
{
    const ByteReader reader(raw);
    const auto signature = reader.sub(2, kSignature.size());
    return signature && reader.fits(0, kChunkData) &&
           std::equal(kSignature.begin(), kSignature.end(), signature->bytes().begin());
}

void IccChunks::take(std::span<const std::uint8_t> raw)
{
    if (broken_ || !isChunk(raw))
        return;
    const std::uint8_t number = raw[14], count = raw[15];
    const bool known = std::any_of(chunks_.begin(), chunks_.end(), [&](const Chunk& c) { return c.number == number; });
    if (number == 0 || count == 0 || number > count || (count_ != 0 && count != count_) || known ||
        chunks_.size() == kMaxChunks) {
        broken_ = true;
        return;
    }
    count_ = count;
    // Kept in the order of their numbers, which is the profile's.
    const auto at = std::find_if(chunks_.begin(), chunks_.end(), [&](const Chunk& c) { return c.number > number; });
    chunks_.insert(at, {number, std::vector<std::uint8_t>(raw.begin(), raw.end())});
}

void IccChunks::clear()
{
    chunks_.clear();
    count_ = 0;
    broken_ = false;
}

std::vector<std::uint8_t> IccChunks::profile() const
{
    if (broken_ || chunks_.empty() || chunks_.size() != count_)
        return {};
    std::vector<std::uint8_t> bytes;
    for (const Chunk& c : chunks_)
        bytes.insert(bytes.end(), c.raw.begin() + kChunkData, c.raw.end());
    std::uint32_t size = 0;
    // The chunks may hold padding after the profile, never less than it.
    if (bytes.size() < kHeaderSize || !ByteReader(bytes).u32At(0, size) || size < kHeaderSize || size > bytes.size() ||
        !fourCc(bytes, 36, "acsp"))
        return {};
    return bytes;
}

bool IccChunks::whole() const
{
    return !profile().empty();
}

ProfileSpace IccChunks::space() const
{
    const std::vector<std::uint8_t> bytes = profile();
    if (bytes.empty())
        return ProfileSpace::Other;
    if (fourCc(bytes, 16, "RGB "))
        return ProfileSpace::Rgb;
    if (fourCc(bytes, 16, "GRAY"))
        return ProfileSpace::Grey;
    if (fourCc(bytes, 16, "CMYK"))
        return ProfileSpace::Cmyk;
    return ProfileSpace::Other;
}

std::vector<std::uint8_t> IccChunks::segments() const
{
    if (!whole())
        return {};
    std::vector<std::uint8_t> out;
    for (const Chunk& c : chunks_) {
        out.push_back(0xFF);
        out.push_back(0xE2);
        out.insert(out.end(), c.raw.begin(), c.raw.end());
    }
    return out;
}

} // namespace tamblure::metadata
