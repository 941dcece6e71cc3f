#pragma once

// A photograph as the metadata step reads it: its bytes, when the caller has
// them in memory already (common/file_io.h: PhotographBytes), or else its
// path. The codec itself takes bytes only.

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
