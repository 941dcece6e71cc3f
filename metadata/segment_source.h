#pragma once

// Where the segment reader takes a photograph's bytes from. The reader pulls
// chunks one after the other and parses them through a ByteReader, so it works
// the same on a file read piece by piece (a photograph may be tens of
// megabytes, of which only the leading segments are wanted) and on bytes
// already in memory (tests, fuzzing).

#include "common/byte_reader.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tamblure::metadata {

class SegmentSource {
public:
    virtual ~SegmentSource() = default;

    // The next bytes of the photograph, in order; empty at the end (or on a
    // read error, which ends the photograph as far as the reader is
    // concerned). The span stays valid until the next call.
    virtual std::span<const std::uint8_t> nextChunk() = 0;
};

// Bytes already in memory, delivered as one chunk.
class SpanSource : public SegmentSource {
public:
    explicit SpanSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::span<const std::uint8_t> nextChunk() override;

private:
    std::span<const std::uint8_t> bytes_;
    bool delivered_ = false;
};

// A photograph's bytes in order, pulled chunk by chunk from a source, every
// read made through a ByteReader over the current chunk. It refuses to go past
// `limit` bytes in all, as if the file ended there.
class SegmentStream {
public:
    SegmentStream(SegmentSource& source, std::uint64_t limit) : source_(source), limit_(limit) {}

    bool readByte(std::uint8_t& out);

    // Appends the next n bytes to out. False when the file ends first; out
    // then holds only part of them.
    bool readBytes(std::size_t n, std::vector<std::uint8_t>& out);

    // Passes over the next n bytes. False when the file ends first.
    bool skip(std::uint64_t n);

    // How many bytes were read or passed over so far.
    std::uint64_t consumed() const { return consumed_; }

private:
    bool refill();

    SegmentSource& source_;
    std::uint64_t limit_;
    std::uint64_t consumed_ = 0;
    ByteReader chunk_{std::span<const std::uint8_t>()};
    bool ended_ = false;
};

} // namespace tamblure::metadata
