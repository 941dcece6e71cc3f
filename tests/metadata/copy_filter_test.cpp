#include "metadata/copy_filter.h"

#include "metadata/exif_edit.h"

#include "exif_fixtures.h"

#include <gtest/gtest.h>

#include <string>

namespace tamblure::metadata {
namespace {
using namespace test;

const Bytes kSoi = {0xFF, 0xD8};
const Bytes kDqt = segment(0xDB, Bytes(65, 1));
const Bytes kSof = segment(0xC0, {8, 0, 16, 0, 16, 1, 1, 0x11, 0});
const Bytes kSos = segment(0xDA, {1, 1, 0, 0, 0x3F, 0});
// Entropy-coded data with a stuffed FF, a restart marker, and, stuffed, the
// bytes of a comment marker, none of which ends the data.
const Bytes kData = {0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD0, 0x56, 0xFF, 0x00, 0xFE, 0x00, 0x04, 0x78};
const Bytes kEoi = {0xFF, 0xD9};

Bytes filtered(const Bytes& photograph, MetadataPolicy policy, std::uint64_t from = 0)
{
    ThumbnailLayout layout;
    SpanSource source(photograph);
    addFilteredCopy(layout, source, from, policy);
    return layout.bytes(photograph);
}

Bytes exifWithoutGps()
{
    ExifWriter w(false);
    w.directory({w.shortEntry(0x0112, 1)});
    return w.app1();
}

Bytes exifWithGps(bool gps)
{
    ExifWriter w(true);
    std::vector<ExifWriter::Entry> entries = {w.shortEntry(0x0112, 3)};
    if (gps)
        entries.push_back(w.longEntry(0x8825, 0));
    const std::uint32_t ifd0 = w.directory(entries);
    if (gps) {
        const std::uint32_t directory = w.directory({w.entry(0x0005, kByte, 1, 0)});
        w.setU32(ifd0 + 2 + 12 + 8, directory);
    }
    return w.app1();
}

const std::string kXmp = std::string("http://ns.adobe.com/xap/1.0/") + '\0';

// One segment of a photograph, and whether each policy keeps it.
struct SegmentCase {
    const char* name;
    Bytes segment;
    bool withoutGps;
    bool orientationOnly;
};

class FilteredCopyKeeps : public ::testing::TestWithParam<SegmentCase> {};

TEST_P(FilteredCopyKeeps, TheSegmentOrNotAsThePolicySays)
{
    const Bytes& s = GetParam().segment;
    const Bytes with = concat({kSoi, kDqt, s, kSof, kSos, kData, kEoi});
    const Bytes without = concat({kSoi, kDqt, kSof, kSos, kData, kEoi});
    EXPECT_EQ(filtered(with, MetadataPolicy::WithoutGps), GetParam().withoutGps ? with : without);
    EXPECT_EQ(filtered(with, MetadataPolicy::OrientationOnly), GetParam().orientationOnly ? with : without);
}

INSTANTIATE_TEST_SUITE_P(
    Segments, FilteredCopyKeeps,
    ::testing::Values(SegmentCase{"Jfif", text(0xE0, std::string("JFIF\0\1\2", 7)), true, true},
                      SegmentCase{"JfifThumbnail", text(0xE0, std::string("JFXX\0\x10", 6)), true, true},
                      SegmentCase{"CanonDataInApp0", text(0xE0, "II*\0HEAPCCDR"), true, false},
                      SegmentCase{"ExifWithoutGps", exifWithoutGps(), true, false},
                      SegmentCase{"ExifNotReadable", text(0xE1, std::string("Exif\0\0MM\0\x2A\xFF\0\0\0", 14)), false,
                                  false},
                      SegmentCase{"Xmp", text(0xE1, kXmp + "<x:xmpmeta/>"), true, false},
                      SegmentCase{"XmpWithAPosition", text(0xE1, kXmp + "<exif:GPSLatitude>43,28N"), false, false},
                      SegmentCase{"IccProfile", iccSegments(iccProfile("RGB ")).front(), true, true},
                      SegmentCase{"MultiPictureIndex", text(0xE2, std::string("MPF\0II*\0", 8)), false, false},
                      SegmentCase{"FlashPix", text(0xE2, std::string("FPXR\0", 5)), true, false},
                      SegmentCase{"Kodak", text(0xE3, "Meta"), true, false},
                      SegmentCase{"Ducky", text(0xEC, "Ducky"), true, false},
                      SegmentCase{"Iptc", text(0xED, "Photoshop 3.0"), true, false},
                      SegmentCase{"AdobeTransform", text(0xEE, "Adobe\0d\0\0\0\0\1"), true, true},
                      SegmentCase{"Comment", text(0xFE, "Vacances"), true, false},
                      SegmentCase{"RestartInterval", segment(0xDD, {0, 4}), true, true}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(FilteredCopy, ReplacesAnExifSegmentByItselfWithoutGps)
{
    const Bytes exif = exifWithGps(true);
    const Bytes photograph = concat({kSoi, exif, kDqt, kSof, kSos, kData, kEoi});
    const GpsFreeSegment edited = withoutGps(rawOf(exif));
    ASSERT_EQ(edited.how, GpsRemoval::Dropped);
    EXPECT_EQ(filtered(photograph, MetadataPolicy::WithoutGps),
              concat({kSoi, {0xFF, 0xE1}, edited.raw, kDqt, kSof, kSos, kData, kEoi}));
    EXPECT_EQ(filtered(photograph, MetadataPolicy::OrientationOnly), concat({kSoi, kDqt, kSof, kSos, kData, kEoi}));
}

TEST(FilteredCopy, LooksBetweenTheScansAndEndsWithTheImage)
{
    // A progressive file: a comment and tables between two scans, then a
    // second picture and a trailer after the end of image.
    const Bytes com = text(0xFE, "between");
    const Bytes dht = segment(0xC4, Bytes(20, 3));
    const Bytes after = concat({kSoi, text(0xE1, std::string("Exif\0\0", 6)), kEoi, {'t', 'r', 'a', 'i', 'l'}});
    const Bytes photograph = concat({kSoi, kSof, kSos, kData, com, dht, kSos, kData, kEoi, after});
    EXPECT_EQ(filtered(photograph, MetadataPolicy::WithoutGps),
              concat({kSoi, kSof, kSos, kData, com, dht, kSos, kData, kEoi}));
    EXPECT_EQ(filtered(photograph, MetadataPolicy::OrientationOnly),
              concat({kSoi, kSof, kSos, kData, dht, kSos, kData, kEoi}));
}

TEST(FilteredCopy, StartsWhereItIsToldAndTakesFillBytesWithTheirMarker)
{
    const Bytes com = text(0xFE, "c");
    const Bytes photograph = concat({kSoi, {0xFF, 0xFF}, com, {0x00, 0x01}, kDqt, kSos, kData, kEoi});
    EXPECT_EQ(filtered(photograph, MetadataPolicy::OrientationOnly, 2),
              concat({{0x00, 0x01}, kDqt, kSos, kData, kEoi}));
}

struct CutCase {
    const char* name;
    Bytes tail; // what follows SOI, DQT and a comment
};

class FilteredCopyOfACutFile : public ::testing::TestWithParam<CutCase> {};

TEST_P(FilteredCopyOfACutFile, KeepsWhatItCannotWalkAsItIs)
{
    const Bytes com = text(0xFE, "c");
    const Bytes photograph = concat({kSoi, kDqt, com, GetParam().tail});
    EXPECT_EQ(filtered(photograph, MetadataPolicy::OrientationOnly), concat({kSoi, kDqt, GetParam().tail}));
}

INSTANTIATE_TEST_SUITE_P(Files, FilteredCopyOfACutFile,
                         ::testing::Values(CutCase{"LengthPastTheEnd", {0xFF, 0xFE, 0x10, 0x00, 'x'}},
                                           CutCase{"LengthBelowTwo", {0xFF, 0xFE, 0x00, 0x01, 'x', 'y'}},
                                           CutCase{"LengthCut", {0xFF, 0xFE, 0x00}},
                                           CutCase{"DataWithoutEnd", concat({kSos, kData})}, CutCase{"Nothing", {}}),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace tamblure::metadata
