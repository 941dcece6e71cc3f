#pragma once

// The metadata container: the leading segments of one photograph, kept as the
// exact bytes of the file, with references to the four kinds that carry
// metadata (EXIF APP1, IPTC APP13, comment COM, APP0 header), and the chunks
// of its ICC profile. The copy step (exif.h) puts them in front of a
// thumbnail's compressed data, the EXIF image width and height rewritten to
// the thumbnail's size.
//
// Nothing here trusts the photograph: every read goes through a ByteReader,
// and a cut or oversized file ends the scan with what was recorded before it.

#include "common/byte_reader.h"
#include "metadata/icc_profile.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tamblure::metadata {

class SegmentSource;
class TImageInfo;

// One segment as read.
struct tSection {
    std::vector<std::uint8_t> raw; // the two length bytes and the payload; not the FF and marker bytes
    std::int32_t marker = 0;       // the byte after FF
    std::int32_t length = 0;       // the big-endian length field, counting itself: raw.size()
};

// The IPTC block. It is carried over whole; nothing is parsed into it.
class TIPTCdata {};

class TimgData {
public:
    // Entries 1 to kMaxSegments of the table are used; entry 0 never is.
    static constexpr int kMaxSegments = 20;
    // A scan reads at most this many bytes of a photograph (fill bytes and
    // dropped segments included) and stops there, keeping what it recorded.
    static constexpr std::uint64_t kMaxScanBytes = std::uint64_t{64} << 20;

    // listMode only matters to a display list of the EXIF entries, which this
    // program does not build; the copy step gives 255.
    explicit TimgData(int listMode = 255);
    ~TimgData();
    TimgData(const TimgData&) = delete;
    TimgData& operator=(const TimgData&) = delete;

    // Forgets the segments, references, directory reader, IPTC block, status
    // and byte order.
    void ResetState();

    // ScanFile, then whether any metadata segment was recorded. Never raises.
    bool ReadPhoto(const std::filesystem::path& path);

    // Resets, then scans the file when its extension is ".jpg", ".jpeg" or
    // ".jpe" in any case. True when metadata was found. The file is opened
    // read-only and without blocking; anything but a regular file gives
    // nothing. Never raises: a file that cannot be opened sets statusText to
    // "Illegal Exif construction".
    bool ScanFile(const std::filesystem::path& path);

    // The same on the file's bytes, already in memory; path gives the name
    // whose extension is checked.
    bool ScanFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

    // Records segments from the start of a JPEG file up to the start of scan,
    // the end of image, the 20th kept segment, or the 5th when the first four
    // carry no metadata; ICC chunks are taken up to the start of scan. True
    // when an EXIF, IPTC or comment segment was recorded. Call it on a reset
    // container (ScanFile does).
    bool ScanSegments(SegmentSource& source);
    bool ScanSegments(std::span<const std::uint8_t> bytes);

    bool HasAnyMetadata() const;
    bool HasExifSegment() const;

    // Checks the EXIF segment's signature and byte order and walks its
    // directories (the scan calls it right after taking the segment).
    void CheckExifHeader();

    // Appends FF D8, then the EXIF segment (or the APP0 segment, or a fixed
    // JFIF APP0 when there is neither), the IPTC block and the comment, each
    // as FF, marker, raw. Returns the bytes appended after FF D8.
    std::int32_t EmitSegments(std::vector<std::uint8_t>& out) const;

    int listMode() const { return listMode_; }
    int segmentCount() const { return segmentCount_; }
    // Entry n of the table, 1 <= n <= kMaxSegments.
    const tSection& segment(int n) const;
    const tSection* exifRef() const { return entry(exifRef_); }
    const tSection* iptcRef() const { return entry(iptcRef_); }
    const tSection* commentRef() const { return entry(commentRef_); }
    const tSection* app0Ref() const { return entry(app0Ref_); }
    bool bigEndian() const { return order_ == ByteOrder::BigEndian; }
    TImageInfo* directory() { return directory_.get(); }
    const TImageInfo* directory() const { return directory_.get(); }
    const TIPTCdata* iptcBlock() const { return iptcBlock_.get(); }
    // The ICC profile's chunks among the segments before the start of scan,
    // wherever they stand (the table's limits do not apply to them).
    const IccChunks& iccChunks() const { return icc_; }
    const std::string& statusText() const { return statusText_; }

private:
    friend class TImageInfo;

    const tSection* entry(int n) const { return n > 0 ? &segments_[static_cast<std::size_t>(n)] : nullptr; }
    std::vector<std::uint8_t>* exifBytes();
    bool scan(SegmentSource& source);

    int listMode_;
    std::array<tSection, kMaxSegments + 1> segments_;
    int segmentCount_ = 0;
    int exifRef_ = 0; // indices into segments_, 0 for none
    int iptcRef_ = 0;
    int commentRef_ = 0;
    int app0Ref_ = 0;
    ByteOrder order_ = ByteOrder::LittleEndian;
    std::unique_ptr<TImageInfo> directory_;
    std::unique_ptr<TIPTCdata> iptcBlock_;
    IccChunks icc_;
    std::string statusText_;
};

// Where a thumbnail's compressed data starts once its own leading APP0, APP1,
// APP13 and COM segments are passed over: from 2 (after SOI), each of the
// four marker codes in that order is looked for once, at the current place
// only. A segment whose length would reach past the end stops the skipping,
// so the bytes from there on are kept whole.
std::size_t thumbnailDataStart(std::span<const std::uint8_t> thumbnail);

// The same for a file of fileSize bytes of which only the first bytes are at
// hand: head must hold at least the first kThumbnailHeadBytes bytes (or the
// whole file), which is as far as the four segments can reach.
inline constexpr std::size_t kThumbnailHeadBytes = 2 + 4 * (2 + 65535) + 4;
std::uint64_t thumbnailDataStart(std::span<const std::uint8_t> head, std::uint64_t fileSize);

} // namespace tamblure::metadata
