#pragma once

// A photograph's ICC colour profile, as JPEG files carry it: split into
// chunks of at most 65519 bytes, each in an APP2 segment that begins with
// "ICC_PROFILE", a zero byte, the chunk's number (from 1) and the number of
// chunks. A thumbnail gets the profile as the same segments, byte for byte.
//
// Nothing is trusted: chunks must number 1 to N exactly once each under one
// N, and the profile they make must have the header of one (the "acsp"
// signature, a size that the chunks hold). Anything else is no profile: a
// thumbnail without a profile is shown as sRGB, which is less wrong than a
// profile made of the wrong pieces.

#include <cstdint>
#include <span>
#include <vector>

namespace tamblure::metadata {

// The colour space a profile describes (its header's data colour space).
enum class ProfileSpace {
    Rgb,
    Grey,
    Cmyk,
    Other
};

class IccChunks {
public:
    // The largest number of chunks a profile can have: the chunk numbers
    // are one byte.
    static constexpr std::size_t kMaxChunks = 255;

    // True when an APP2 segment's stored bytes (its length field and
    // payload) are an ICC chunk.
    static bool isChunk(std::span<const std::uint8_t> raw);

    // Takes one APP2 segment's stored bytes; a segment that is not an ICC
    // chunk is passed over. Once the chunks cannot make one profile (a
    // number taken twice, two different counts, more than kMaxChunks), later
    // ones are not kept.
    void take(std::span<const std::uint8_t> raw);

    // True when the chunks taken make one whole profile.
    bool whole() const;

    // The profile's colour space; Other when there is no whole profile.
    ProfileSpace space() const;

    // The chunks as APP2 segments (FF E2, then the stored bytes), in the
    // order of their numbers; empty when there is no whole profile.
    std::vector<std::uint8_t> segments() const;

    // Forgets every chunk.
    void clear();

private:
    struct Chunk {
        std::uint8_t number = 0;
        std::vector<std::uint8_t> raw;
    };
    // The profile's bytes, chunk after chunk; empty when not whole.
    std::vector<std::uint8_t> profile() const;

    std::vector<Chunk> chunks_;
    std::uint8_t count_ = 0;
    bool broken_ = false;
};

} // namespace tamblure::metadata
