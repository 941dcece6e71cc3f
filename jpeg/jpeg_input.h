#pragma once

// A JPEG file as the codec reads it: its bytes, when the caller has read the
// whole file into memory once for every stage of a picture, or else its path,
// and the codec reads the file itself. Decoding from memory spares libjpeg's
// file source its many small reads.

#include <cstdint>
#include <filesystem>
#include <span>

namespace tamblure::jpeg {

struct JpegInput {
    std::filesystem::path path;          // the file, also named by the messages
    std::span<const std::uint8_t> bytes; // the whole file when `read`
    bool read = false;

    static JpegInput file(std::filesystem::path path) { return {std::move(path), {}, false}; }
    static JpegInput inMemory(std::filesystem::path path, std::span<const std::uint8_t> bytes)
    {
        return {std::move(path), bytes, true};
    }
};

} // namespace tamblure::jpeg
