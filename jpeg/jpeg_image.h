#pragma once

// The whole-file JPEG image: holds a file's bytes and knows its frame size.

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace tamblure::jpeg {

class TJPEGImage {
public:
    // Reads every byte of the file and its frame header. Raises EFOpenError
    // ("Impossible d'ouvrir le fichier %s", with the system's reason) or
    // EJPEG (jpegErrorMessage); on an error the image keeps what it held.
    void loadFromFile(const std::filesystem::path& path);
    // The same for bytes already in memory (EJPEG only).
    void loadFromBytes(std::vector<std::uint8_t> bytes);

    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    std::span<const std::uint8_t> bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
};

} // namespace tamblure::jpeg
