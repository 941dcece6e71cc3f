#pragma once

// The TIFF tags and field types that the EXIF walk and the EXIF edit read,
// and the size of a directory entry: one list for both.

#include <cstddef>
#include <cstdint>

namespace tamblure::metadata::exif {

inline constexpr std::uint16_t kTagImageWidth = 0x0100;
inline constexpr std::uint16_t kTagImageLength = 0x0101;
inline constexpr std::uint16_t kTagImageDescription = 0x010E;
inline constexpr std::uint16_t kTagMake = 0x010F;
inline constexpr std::uint16_t kTagModel = 0x0110;
inline constexpr std::uint16_t kTagStripOffsets = 0x0111;
inline constexpr std::uint16_t kTagOrientation = 0x0112;
inline constexpr std::uint16_t kTagTileOffsets = 0x0144;
inline constexpr std::uint16_t kTagSubDirectories = 0x014A;
inline constexpr std::uint16_t kTagPreviewOffset = 0x0201;
inline constexpr std::uint16_t kTagPreviewLength = 0x0202;
inline constexpr std::uint16_t kTagExifDirectory = 0x8769;
inline constexpr std::uint16_t kTagGpsDirectory = 0x8825;
inline constexpr std::uint16_t kTagMakerNote = 0x927C;
inline constexpr std::uint16_t kTagExifImageWidth = 0xA002;
inline constexpr std::uint16_t kTagExifImageLength = 0xA003;
inline constexpr std::uint16_t kTagInteroperability = 0xA005;

// TIFF field types.
inline constexpr std::uint16_t kTypeByte = 1;
inline constexpr std::uint16_t kTypeAscii = 2;
inline constexpr std::uint16_t kTypeShort = 3;
inline constexpr std::uint16_t kTypeLong = 4;
inline constexpr std::uint16_t kTypeRational = 5;
inline constexpr std::uint16_t kTypeSignedByte = 6;
inline constexpr std::uint16_t kTypeUndefined = 7;
inline constexpr std::uint16_t kTypeSignedShort = 8;
inline constexpr std::uint16_t kTypeSignedLong = 9;
inline constexpr std::uint16_t kTypeSignedRational = 10;
inline constexpr std::uint16_t kTypeFloat = 11;
inline constexpr std::uint16_t kTypeDouble = 12;

// A directory entry: tag (2), type (2), count (4), value or offset (4).
inline constexpr std::size_t kEntrySize = 12;

} // namespace tamblure::metadata::exif
