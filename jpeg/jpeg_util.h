#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

namespace tamblure::jpeg {

// The first frame header of a photograph that the decoder can read, as the
// header probe finds it: read once per photograph and handed to every stage
// that needs the picture's size or layout.
struct JpegFrame {
    static constexpr int kMaxComponents = 10; // libjpeg's most

    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint8_t components = 0;
    std::uint8_t kind = 0; // the frame's marker code: 0xC0, 0xC1, 0xC2, 0xC9 or 0xCA
    // Each component's sampling factors (the first kMaxComponents).
    std::array<std::uint8_t, kMaxComponents> hSampling{};
    std::array<std::uint8_t, kMaxComponents> vSampling{};
    // Progressive, or sequential with a first scan of fewer components than
    // the frame: the decoder then holds every coefficient until the end.
    bool multiScan = false;

    bool threeComponents() const { return components == 3; }
    bool progressive() const { return kind == 0xC2 || kind == 0xCA; }
    bool arithmetic() const { return kind == 0xC9 || kind == 0xCA; }
    // The blocks of 8 × 8 samples of the picture, every component's, as
    // libjpeg counts them.
    std::uint64_t blocks() const;
    bool operator==(const JpegFrame&) const = default;
};

// The first frame header that the decoder can read, walking the segments from
// SOI and passing over every segment body by its length: a frame of kind
// SOF0, SOF1, SOF2 (Huffman coded) or SOF9, SOF10 (arithmetic coded) with
// 8-bit samples, sides above 0 and at least one component. Nothing when no
// such frame header is reached and read whole; frames of other kinds are
// passed over. A sequential frame's multiScan comes from the first scan
// header after it (false when none is reached).
std::optional<JpegFrame> ProbeJpegFrame(std::span<const std::uint8_t> bytes);

// Where the first start-of-scan marker (FF DA) stands, walking the segments
// from SOI the same way; nothing when none is reached.
std::optional<std::size_t> FirstScanOffset(std::span<const std::uint8_t> bytes);

// The same on a file: true when such a frame header was found; the three
// out-values are written only then. Raises EFOpenError ("Impossible d'ouvrir
// le fichier %s : <reason>") when the file cannot be opened; a file that is
// not regular, or cannot be read, gives false.
bool ProbeJpegHeader(const std::filesystem::path& path, std::uint16_t& width, std::uint16_t& height,
                     bool& threeComponents);

} // namespace tamblure::jpeg
