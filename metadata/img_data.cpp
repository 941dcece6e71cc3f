#include "metadata/img_data.h"

#include "common/byte_reader.h"
#include "common/file_io.h"
#include "metadata/image_info.h"
#include "metadata/segment_source.h"

#include <algorithm>
#include <cassert>
#include <cctype>

namespace tamblure::metadata {
namespace fs = std::filesystem;

namespace {

constexpr int kMarkerSOS = 0xDA;
constexpr int kMarkerEOI = 0xD9;
constexpr int kMarkerAPP0 = 0xE0;
constexpr int kMarkerAPP1 = 0xE1;
constexpr int kMarkerAPP2 = 0xE2;
constexpr int kMarkerAPP13 = 0xED;
constexpr int kMarkerCOM = 0xFE;

// The segment every file gets when the photograph has neither an EXIF nor an
// APP0 segment: JFIF 1.02, 300 dots per inch, no embedded preview.
constexpr std::uint8_t kFixedApp0[] = {
    0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x02, 0x01, 0x01, 0x2C, 0x01, 0x2C, 0x00, 0x00,
};

bool hasJpegExtension(const fs::path& path)
{
    // The part of the name from its last dot: "photo.JPG" gives ".jpg",
    // "photo.jpeg.bak" gives ".bak".
    const std::string name = path.filename().string();
    const auto dot = name.rfind('.');
    if (dot == std::string::npos)
        return false;
    std::string extension = name.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".jpg" || extension == ".jpeg" || extension == ".jpe";
}

} // namespace

TimgData::TimgData(int listMode) : listMode_(listMode)
{
    ResetState();
}

TimgData::~TimgData() = default;

void TimgData::ResetState()
{
    segmentCount_ = 0;
    exifRef_ = iptcRef_ = commentRef_ = app0Ref_ = 0;
    statusText_.clear();
    directory_.reset();
    iptcBlock_.reset();
    icc_.clear();
    order_ = ByteOrder::LittleEndian;
}

const tSection& TimgData::segment(int n) const
{
    assert(n >= 1 && n <= kMaxSegments);
    return segments_[static_cast<std::size_t>(n)];
}

std::vector<std::uint8_t>* TimgData::exifBytes()
{
    return exifRef_ > 0 ? &segments_[static_cast<std::size_t>(exifRef_)].raw : nullptr;
}

bool TimgData::HasAnyMetadata() const
{
    return exifRef_ > 0 || commentRef_ > 0 || iptcRef_ > 0;
}

bool TimgData::HasExifSegment() const
{
    return exifRef_ > 0;
}

bool TimgData::ReadPhoto(const fs::path& path)
{
    ScanFile(path);
    return HasAnyMetadata();
}

bool TimgData::ScanFile(const fs::path& path)
{
    ResetState();
    std::error_code ec;
    if (!fs::exists(path, ec))
        return false;
    statusText_ = "Not an EXIF file";
    if (!hasJpegExtension(path))
        return false;
    try {
        // Read as the step reads photographs: never blocking, only a
        // regular file.
        const PhotographBytes file(path);
        if (!file.file().opened()) {
            statusText_ = "Illegal Exif construction";
            return false;
        }
        if (!file.readable())
            return false;
        return ScanFile(path, file.bytes());
    } catch (const std::exception&) {
        statusText_ = "Illegal Exif construction";
        return false;
    }
}

bool TimgData::ScanFile(const fs::path& path, std::span<const std::uint8_t> bytes)
{
    ResetState();
    statusText_ = "Not an EXIF file";
    if (!hasJpegExtension(path) || !ScanSegments(bytes))
        return false;
    statusText_ = "<none>";
    return true;
}

bool TimgData::ScanSegments(std::span<const std::uint8_t> bytes)
{
    SpanSource source(bytes);
    return ScanSegments(source);
}

bool TimgData::ScanSegments(SegmentSource& source)
{
    try {
        if (!scan(source))
            return false;
    } catch (const std::exception&) {
        // What was recorded before the failing segment stays recorded.
        return false;
    }
    return HasAnyMetadata();
}

namespace {

// A segment after the table closed, from its length field on: only an APP2
// is read, for its ICC chunk. False when the file ends within it or when it
// ends the scan.
bool passOver(SegmentStream& in, std::uint8_t marker, IccChunks& icc)
{
    std::uint8_t hi = 0, lo = 0;
    if (marker == kMarkerEOI || marker == kMarkerSOS || !in.readByte(hi) || !in.readByte(lo) || hi * 256 + lo < 2)
        return false;
    const auto payload = static_cast<std::size_t>(hi * 256 + lo - 2);
    if (marker != kMarkerAPP2)
        return in.skip(payload);
    std::vector<std::uint8_t> raw{hi, lo};
    if (!in.readBytes(payload, raw))
        return false;
    icc.take(raw);
    return true;
}

} // namespace

// False when the file does not start with SOI; true otherwise, however the
// scan ended.
bool TimgData::scan(SegmentSource& source)
{
    SegmentStream in(source, kMaxScanBytes);
    std::uint8_t soi0 = 0, soi1 = 0;
    if (!in.readByte(soi0) || !in.readByte(soi1) || soi0 != 0xFF || soi1 != 0xD8)
        return false;

    // A segment that the end of the file (or the read limit) cuts short, or
    // whose length is below 2, is not kept, and the scan ends there with what
    // it recorded before.
    const auto dropLast = [this] {
        segments_[static_cast<std::size_t>(segmentCount_)] = tSection{};
        --segmentCount_;
    };

    // The table is filled until its own rules close it; the segments after
    // that, up to the start of scan, are only looked at for the chunks of an
    // ICC profile, which may stand anywhere among them.
    bool tableOpen = true;
    segmentCount_ = 0;
    for (;;) {
        // Any number of FF fill bytes; the first other byte is the marker,
        // whether or not an FF came before it.
        std::uint8_t marker = 0xFF;
        while (marker == 0xFF) {
            if (!in.readByte(marker))
                return true;
        }
        if (!tableOpen) {
            if (!passOver(in, marker, icc_))
                return true;
            continue;
        }
        const int n = ++segmentCount_;
        tSection& section = segments_[static_cast<std::size_t>(n)];

        std::uint8_t hi = 0, lo = 0;
        if (!in.readByte(hi) || !in.readByte(lo)) {
            dropLast();
            return true;
        }
        const int length = hi * 256 + lo;
        if (length < 2) {
            dropLast();
            return true;
        }
        section.raw.clear();
        section.raw.reserve(static_cast<std::size_t>(length));
        section.raw.push_back(hi);
        section.raw.push_back(lo);
        if (!in.readBytes(static_cast<std::size_t>(length - 2), section.raw)) {
            dropLast();
            return true;
        }
        section.marker = marker;
        section.length = length;
        if (marker == kMarkerAPP2)
            icc_.take(section.raw);

        switch (marker) {
        case kMarkerEOI:
        case kMarkerSOS:
            return true;
        default:
            break;
        }
        // Metadata is looked for further only if one of the first four
        // segments carries some.
        if (n == 5 && !HasAnyMetadata()) {
            tableOpen = false;
            continue;
        }

        switch (marker) {
        case kMarkerAPP0:
            app0Ref_ = n;
            break;
        case kMarkerAPP1:
            // The first APP1 among the first five is the EXIF segment, whatever
            // it holds. Any other APP1 is dropped and its entry reused, so it
            // does not count toward the 20.
            if (n <= 5 && exifRef_ == 0) {
                exifRef_ = n;
                directory_ = std::make_unique<TImageInfo>(*this);
                CheckExifHeader();
            } else {
                dropLast();
            }
            break;
        case kMarkerAPP13:
            if (iptcRef_ == 0) {
                iptcRef_ = n;
                iptcBlock_ = std::make_unique<TIPTCdata>();
            }
            break;
        case kMarkerCOM:
            commentRef_ = n;
            break;
        default:
            break;
        }
        if (segmentCount_ == kMaxSegments)
            tableOpen = false;
    }
}

void TimgData::CheckExifHeader()
{
    if (!directory_)
        directory_ = std::make_unique<TImageInfo>(*this);
    const tSection* exif = exifRef();
    if (exif == nullptr)
        return;

    // The EXIF segment as stored (offsets from the first length byte):
    //   0   length field (2)
    //   2   "Exif" (4)
    //   6   two bytes, normally zero
    //   8   byte-order mark "II" or "MM" (2)   <- base of every offset below
    //   10  42 (2)
    //   12  offset of the first directory (4)
    ByteReader reader(exif->raw);
    static constexpr std::uint8_t kSignature[] = {'E', 'x', 'i', 'f'};
    const auto signature = reader.sub(2, 4);
    if (!signature || !std::equal(signature->bytes().begin(), signature->bytes().end(), std::begin(kSignature))) {
        statusText_ = "Incorrect Exif header";
        return;
    }
    std::uint8_t mark0 = 0, mark1 = 0;
    const bool marked = reader.u8At(8, mark0) && reader.u8At(9, mark1);
    if (marked && mark0 == 'I' && mark1 == 'I') {
        order_ = ByteOrder::LittleEndian;
    } else if (marked && mark0 == 'M' && mark1 == 'M') {
        order_ = ByteOrder::BigEndian;
    } else {
        statusText_ = "Invalid Exif alignment marker";
        return;
    }
    directory_->takeByteOrder(order_);

    reader.setOrder(order_);
    std::uint32_t first = 0;
    if (!reader.u32At(12, first))
        return; // too short for its own header: nothing to walk
    constexpr std::uint64_t kBase = 8;
    directory_->WalkDirectory(first == 0 ? 16 : kBase + first, kBase, DirectoryKind::Main);
}

std::int32_t TimgData::EmitSegments(std::vector<std::uint8_t>& out) const
{
    out.push_back(0xFF);
    out.push_back(0xD8);
    const std::size_t start = out.size();
    const auto emit = [&out](const tSection& section) {
        out.push_back(0xFF);
        out.push_back(static_cast<std::uint8_t>(section.marker));
        out.insert(out.end(), section.raw.begin(), section.raw.end());
    };
    if (const tSection* exif = exifRef())
        emit(*exif);
    else if (const tSection* app0 = app0Ref())
        emit(*app0);
    else
        out.insert(out.end(), std::begin(kFixedApp0), std::end(kFixedApp0));
    if (const tSection* iptc = iptcRef())
        emit(*iptc);
    if (const tSection* comment = commentRef())
        emit(*comment);
    return static_cast<std::int32_t>(out.size() - start);
}

std::size_t thumbnailDataStart(std::span<const std::uint8_t> thumbnail)
{
    return static_cast<std::size_t>(thumbnailDataStart(thumbnail, thumbnail.size()));
}

std::uint64_t thumbnailDataStart(std::span<const std::uint8_t> head, std::uint64_t fileSize)
{
    const ByteReader reader(head);
    std::uint64_t p = std::min<std::uint64_t>(2, fileSize);
    for (const int code : {kMarkerAPP0, kMarkerAPP1, kMarkerAPP13, kMarkerCOM}) {
        // At p: any byte, the marker code, a big-endian length counting itself.
        std::uint8_t marker = 0;
        if (!reader.u8At(static_cast<std::size_t>(p + 1), marker) || marker != code)
            continue;
        std::uint16_t length = 0;
        if (!reader.u16At(static_cast<std::size_t>(p + 2), length))
            break;
        const std::uint64_t next = p + 2 + length;
        if (next > fileSize)
            break;
        p = next;
    }
    return p;
}

} // namespace tamblure::metadata
