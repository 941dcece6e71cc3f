#include "metadata/segment_source.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace tamblure::metadata {

std::span<const std::uint8_t> SpanSource::nextChunk()
{
    if (delivered_)
        return {};
    delivered_ = true;
    return bytes_;
}

bool SegmentStream::readByte(std::uint8_t& out)
{
    if (consumed_ >= limit_)
        return false;
    while (!chunk_.readU8(out)) {
        if (!refill())
            return false;
    }
    ++consumed_;
    return true;
}

bool SegmentStream::readBytes(std::size_t n, std::vector<std::uint8_t>& out)
{
    if (n > limit_ - consumed_)
        return false;
    while (n > 0) {
        if (chunk_.atEnd() && !refill())
            return false;
        const std::size_t take = std::min(n, chunk_.remaining());
        const auto bytes = chunk_.readBytes(take);
        out.insert(out.end(), bytes->begin(), bytes->end());
        n -= take;
        consumed_ += take;
    }
    return true;
}

bool SegmentStream::skip(std::uint64_t n)
{
    if (n > limit_ - consumed_)
        return false;
    while (n > 0) {
        if (chunk_.atEnd() && !refill())
            return false;
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(n, chunk_.remaining()));
        static_cast<void>(chunk_.skip(take));
        n -= take;
        consumed_ += take;
    }
    return true;
}

bool SegmentStream::refill()
{
    if (ended_)
        return false;
    const auto next = source_.nextChunk();
    if (next.empty()) {
        ended_ = true;
        return false;
    }
    chunk_ = ByteReader(next);
    return true;
}

} // namespace tamblure::metadata
