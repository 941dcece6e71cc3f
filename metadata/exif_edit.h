#pragma once

// Edits of a photograph's EXIF segment for thumbnails that must not carry all
// of it: the segment without its GPS directory, and a segment that holds the
// orientation alone.
//
// Segments are given and returned as the segment reader stores them: the
// big-endian length field, "Exif", two bytes, then the TIFF data (byte-order
// mark, 42, first-directory offset) whose offsets count from the mark.
//
// Removing the GPS directory drops its bytes when every offset that could
// point past them is known: those of the directories (IFD0 and the ones it
// chains to, the EXIF, interoperability and sub-directories), of their
// values, of the embedded preview, and of a Nikon maker note, whose own
// offsets count from a TIFF header inside it. Any other maker note may hold
// offsets from the mark that nothing here can find; such a segment, and any
// damaged or unusual one (a directory or value outside the segment, strips,
// a value type this walk does not know), keeps its size: the pointer goes and
// the directory's bytes become zeros where they are, so that nothing moves.

#include "common/byte_reader.h"

#include <cstdint>
#include <span>
#include <vector>

namespace tamblure::metadata {

// What became of the GPS directory.
enum class GpsRemoval {
    None,    // the segment has no GPS directory: unchanged
    Dropped, // its entries gone from the directories that named it, its bytes gone, later offsets moved
    Cleared, // its entries gone, its bytes zeroed in place: nothing moved
    Refused  // the first directory cannot be read whole: nothing vouches for the segment
};

struct GpsFreeSegment {
    GpsRemoval how = GpsRemoval::None;
    std::vector<std::uint8_t> raw; // the stored bytes; empty when Refused
};

// True when the stored bytes begin as an EXIF segment does: "Exif", two
// bytes, and a byte-order mark "II" or "MM".
bool isExifSegment(std::span<const std::uint8_t> raw);

// The EXIF segment without its GPS directory; every other byte is kept as it
// was, but for the offsets that move when bytes are dropped and the length
// field. raw must pass isExifSegment.
GpsFreeSegment withoutGps(std::span<const std::uint8_t> raw);

// An EXIF segment whose first directory holds the orientation (1 to 8) alone.
std::vector<std::uint8_t> orientationOnly(std::uint16_t orientation, ByteOrder order);

} // namespace tamblure::metadata
