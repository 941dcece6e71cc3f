#pragma once

// The EXIF directory reader: walks the TIFF directories inside a container's
// EXIF segment to find where the image width and height entries lie and what
// they say, keeps the first directory's orientation, and later overwrites the
// two dimension values in place with a thumbnail's size.
//
// The walk never reads outside the segment: a directory that does not fit is
// skipped, a value that runs past the end is cut, a sub-directory already
// walked is not walked again, and sizes are computed in 64 bits.

#include "common/byte_reader.h"

#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <utility>

namespace tamblure::metadata {

class TimgData;

enum class DirectoryKind {
    Main,
    Gps
};

class TImageInfo {
public:
    explicit TImageInfo(TimgData& owner);

    // Walks the directory at offset d of the EXIF segment (offsets in it count
    // from base), and the EXIF, sub-, interoperability and GPS directories it
    // names, each when its entry is met. Orientation is read only in the
    // directory given here (the first directory when the container starts the
    // walk). The next-directory offset is not followed.
    void WalkDirectory(std::uint64_t d, std::uint64_t base, DirectoryKind kind);

    // An entry's value bytes as a number. Integer types: the bytes as one
    // unsigned integer in the EXIF byte order, its low 32 bits read as signed;
    // rationals: numerator / denominator, 0 when that fails; FLOAT and DOUBLE:
    // their IEEE value; anything else 0.
    long double ValueAsNumber(std::span<const std::uint8_t> value, std::uint16_t type) const;

    // Writes newHeight and newWidth over the width and height entries found
    // by the walk (2 bytes at the start of the value field for a SHORT, 4
    // bytes otherwise), unless one of them was not found with a positive value
    // or both already match.
    void FitDimensions(std::int32_t newHeight, std::int32_t newWidth);

    // Bytes per value of a TIFF field type; 0 for type 0 and for codes above
    // 12, so that such entries are passed over.
    static std::uint32_t bytesPerValue(std::uint16_t type);

    bool bigEndian() const { return order_ == ByteOrder::BigEndian; }
    std::int32_t widthValue() const { return widthValue_; }
    std::int32_t heightValue() const { return heightValue_; }
    std::int32_t widthPos() const { return widthPos_; }
    std::int32_t heightPos() const { return heightPos_; }
    std::uint16_t widthType() const { return widthType_; }
    std::uint16_t heightType() const { return heightType_; }
    // Tag 0x0112 of the first directory, 1 to 8; 0 when absent or invalid.
    std::uint16_t orientation() const { return orientation_; }
    // The ASCII values of ImageDescription (0x010E), Make (0x010F) and Model
    // (0x0110) of the first directory, as stored (cut at the segment's end);
    // empty when absent.
    const std::string& description() const { return description_; }
    const std::string& make() const { return make_; }
    const std::string& model() const { return model_; }
    // The (base, offset) pairs of the directories walked so far.
    const std::set<std::pair<std::uint64_t, std::uint64_t>>& walkedDirectories() const { return walked_; }

private:
    friend class TimgData;

    // Takes the byte order of the segment the owner has just checked.
    void takeByteOrder(ByteOrder order) { order_ = order; }

    struct Entry;
    // What one directory entry says of the picture; the offset of the
    // directory it names, when it names one.
    std::optional<std::uint64_t> readEntry(const Entry& entry, bool firstDirectory);

    TimgData& owner_;
    ByteOrder order_ = ByteOrder::LittleEndian;
    std::int32_t widthValue_ = 0;
    std::int32_t heightValue_ = 0;
    std::int32_t widthPos_ = 0;
    std::int32_t heightPos_ = 0;
    std::uint16_t widthType_ = 0;
    std::uint16_t heightType_ = 0;
    std::uint16_t orientation_ = 0;
    std::string description_;
    std::string make_;
    std::string model_;
    std::set<std::pair<std::uint64_t, std::uint64_t>> walked_;
};

} // namespace tamblure::metadata
