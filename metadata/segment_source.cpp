#include "metadata/segment_source.h"

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

std::span<const std::uint8_t> FileSource::nextChunk()
{
    for (;;) {
        const ssize_t got = ::read(fd_, buffer_.data(), buffer_.size());
        if (got > 0)
            return std::span<const std::uint8_t>(buffer_.data(), static_cast<std::size_t>(got));
        if (got < 0 && errno == EINTR)
            continue;
        // End of file, or an error (EAGAIN from a FIFO opened without blocking
        // included): the photograph ends here for the reader.
        return {};
    }
}

} // namespace tamblure::metadata
