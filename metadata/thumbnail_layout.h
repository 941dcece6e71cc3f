#pragma once

// A thumbnail's bytes as they are written: pieces made by the metadata step
// (the carried segments) and stretches of the bytes the thumbnail is made
// from (the encoder's output, or the photograph when it is its own
// thumbnail), in order. The thumbnail's own bytes are never copied into a
// piece: a photograph copied whole goes from its file to the thumbnail's.

#include "common/atomic_file.h"
#include "metadata/metadata_policy.h"

#include <cstdint>
#include <span>
#include <variant>
#include <vector>

namespace tamblure::metadata {

// Bytes [from, from + length) of the source; a length of kToTheEnd runs to
// its end.
struct Stretch {
    static constexpr std::uint64_t kToTheEnd = AtomicFile::kToTheEnd;
    std::uint64_t from = 0;
    std::uint64_t length = kToTheEnd;
    bool operator==(const Stretch&) const = default;
};

using ThumbnailPiece = std::variant<std::vector<std::uint8_t>, Stretch>;

class ThumbnailLayout {
public:
    // Appends made bytes (none: nothing), or a stretch (joined to the one
    // before when it follows it at once).
    void add(std::span<const std::uint8_t> made);
    void add(Stretch stretch);

    const std::vector<ThumbnailPiece>& pieces() const { return pieces_; }

    // The thumbnail's bytes, the stretches taken from source.
    std::vector<std::uint8_t> bytes(std::span<const std::uint8_t> source) const;

    // Writes the thumbnail into out, the stretches taken from the open file
    // `source` (read at their offsets, whatever its position). False as
    // soon as a write fails; out.error() says why.
    [[nodiscard]] bool writeTo(AtomicFile& out, int source) const;
    // The same with the source's bytes in memory.
    [[nodiscard]] bool writeTo(AtomicFile& out, std::span<const std::uint8_t> source) const;

private:
    std::vector<ThumbnailPiece> pieces_;
};

} // namespace tamblure::metadata
