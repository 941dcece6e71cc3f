#include "metadata/exif_edit.h"

#include "exif_fixtures.h"

#include <gtest/gtest.h>

#include <string>

namespace tamblure::metadata {
namespace {
using namespace test;

// A camera's EXIF data, laid out in the usual order: IFD0 and its values, the
// EXIF directory, the GPS directory and its values, the maker note, IFD1 and
// the embedded preview. Built with or without the GPS directory, the writer
// computing every offset itself, so that the segment without GPS is written
// out independently of the code that removes it.
struct Sample {
    bool bigEndian = false;
    bool gps = true;
    bool oddGpsValue = false;   // a 7-byte value and a padding byte
    bool nikonMakerNote = true; // self-contained; otherwise offsets from the mark
    bool stripPreview = false;  // IFD1 gives strips instead of a JPEG preview
    bool unknownType = false;   // an entry of type IFD (13) in the EXIF directory
    bool gpsInExifDirectory = false;
    bool exifNext = false;    // the EXIF directory names a next directory
    bool makeOutside = false; // the Make value lies past the end
    bool makeInGps = false;   // the Make value shares the GPS latitude's bytes
};

struct Built {
    Bytes raw;
    std::uint32_t ifd0 = 0, exif = 0, gpsDirectory = 0;
    std::size_t gpsStart = 0, gpsEnd = 0; // the GPS directory and its values, from the mark
};

Built build(const Sample& s)
{
    ExifWriter w(s.bigEndian);
    Built b;
    std::vector<ExifWriter::Entry> ifd0 = {w.entry(0x010F, kAscii, 6, 0), w.shortEntry(0x0112, 6),
                                           w.longEntry(0x8769, 0)};
    if (s.gps && !s.gpsInExifDirectory)
        ifd0.push_back(w.longEntry(0x8825, 0));
    b.ifd0 = w.directory(ifd0, 0);
    const std::uint32_t make = w.here();
    for (const char c : std::string("NIKON"))
        w.u8(static_cast<std::uint8_t>(c));
    w.u8(0);

    std::vector<ExifWriter::Entry> exif = {w.shortEntry(0xA002, 640), w.shortEntry(0xA003, 480),
                                           w.entry(0x927C, kUndefined, 24, 0)};
    if (s.unknownType)
        exif.push_back(w.entry(0xC000, 13, 1, 0));
    if (s.gps && s.gpsInExifDirectory)
        exif.push_back(w.longEntry(0x8825, 0));
    b.exif = w.directory(exif, s.exifNext ? 8 : 0);

    std::uint32_t latitude = 0;
    if (s.gps) {
        b.gpsStart = w.here();
        std::vector<ExifWriter::Entry> gps = {w.entry(0x0001, kAscii, 2, 0x4E000000), w.entry(0x0002, kRational, 3, 0)};
        if (s.oddGpsValue)
            gps.push_back(w.entry(0x0012, kAscii, 7, 0));
        b.gpsDirectory = w.directory(gps, 0);
        latitude = w.here();
        for (const std::uint32_t v : {43u, 1u, 28u, 1u, 281u, 100u})
            w.u32(v);
        w.setU32(b.gpsDirectory + 2 + 12 + 8, latitude);
        if (s.oddGpsValue) {
            w.setU32(b.gpsDirectory + 2 + 24 + 8, w.here());
            for (const char c : std::string("WGS-84"))
                w.u8(static_cast<std::uint8_t>(c));
            w.u8(0);
        }
        b.gpsEnd = w.here();
        if (s.oddGpsValue)
            w.pad(1);
    }

    const std::uint32_t note = w.here();
    const std::string nikon("Nikon\0\2\x10\0\0", 10);
    for (const char c : s.nikonMakerNote ? nikon : std::string("Canon\0\0\0\0\0", 10))
        w.u8(static_cast<std::uint8_t>(c));
    for (const int c : {0x49, 0x49, 42, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0})
        w.u8(static_cast<std::uint8_t>(c));

    const std::uint32_t ifd1 = w.directory({w.longEntry(s.stripPreview ? 0x0111 : 0x0201, 0), w.longEntry(0x0202, 6)});
    const std::uint32_t preview = w.here();
    for (const int c : {0xFF, 0xD8, 0x01, 0x02, 0xFF, 0xD9})
        w.u8(static_cast<std::uint8_t>(c));
    if (s.makeOutside)
        w.setU32(b.ifd0 + 2 + 8, 60000);
    else
        w.setU32(b.ifd0 + 2 + 8, s.makeInGps ? latitude : make);
    w.setU32(b.ifd0 + 2 + 24 + 8, b.exif);
    w.setU32(b.exif + 2 + 24 + 8, note);
    if (s.gps && s.gpsInExifDirectory)
        w.setU32(b.exif + 2 + 12 * static_cast<std::uint32_t>(exif.size() - 1) + 8, b.gpsDirectory);
    else if (s.gps)
        w.setU32(b.ifd0 + 2 + 36 + 8, b.gpsDirectory);
    w.setU32(b.ifd0 + 2 + 12 * static_cast<std::uint32_t>(ifd0.size()), ifd1);
    w.setU32(ifd1 + 2 + 8, preview);
    b.raw = w.raw();
    return b;
}

Sample withGps(bool gps, Sample s = {})
{
    s.gps = gps;
    return s;
}

TEST(WithoutGps, DropsTheDirectoryAndItsValuesAndMovesEveryLaterOffset)
{
    for (const bool bigEndian : {false, true}) {
        for (const bool odd : {false, true}) {
            SCOPED_TRACE(std::string(bigEndian ? "MM" : "II") + (odd ? ", odd value and padding" : ""));
            Sample s;
            s.bigEndian = bigEndian;
            s.oddGpsValue = odd;
            const GpsFreeSegment result = withoutGps(build(withGps(true, s)).raw);
            EXPECT_EQ(result.how, GpsRemoval::Dropped);
            EXPECT_EQ(result.raw, build(withGps(false, s)).raw);
        }
    }
}

TEST(WithoutGps, FixesTheFirstDirectoryOffsetWhenTheGpsBytesComeBeforeIt)
{
    // The mark, the GPS directory and its value, then IFD0 (which names it)
    // and its value; without GPS, IFD0 comes right after the header.
    const auto layout = [](bool gps) {
        ExifWriter w(false);
        std::uint32_t gpsDirectory = 0;
        if (gps) {
            gpsDirectory = w.directory({w.entry(0x0002, kRational, 1, 0)});
            w.setU32(gpsDirectory + 2 + 8, w.here());
            w.u32(7);
            w.u32(1);
        }
        std::vector<ExifWriter::Entry> entries = {w.entry(0x010F, kAscii, 6, 0)};
        if (gps)
            entries.push_back(w.longEntry(0x8825, gpsDirectory));
        const std::uint32_t ifd0 = w.directory(entries);
        w.setU32(ifd0 + 2 + 8, w.here());
        for (const char c : std::string("Nikon"))
            w.u8(static_cast<std::uint8_t>(c));
        w.u8(0);
        w.setU32(4, ifd0);
        return w.raw();
    };
    const GpsFreeSegment result = withoutGps(layout(true));
    EXPECT_EQ(result.how, GpsRemoval::Dropped);
    EXPECT_EQ(result.raw, layout(false));
}

TEST(WithoutGps, LeavesASegmentWithoutGpsByteForByte)
{
    const Bytes raw = build(withGps(false)).raw;
    const GpsFreeSegment result = withoutGps(raw);
    EXPECT_EQ(result.how, GpsRemoval::None);
    EXPECT_EQ(result.raw, raw);
}

TEST(WithoutGps, RefusesASegmentWhoseFirstDirectoryIsOutsideIt)
{
    ExifWriter w(false, 5000);
    w.pad(40);
    EXPECT_EQ(withoutGps(w.raw()).how, GpsRemoval::Refused);
    EXPECT_TRUE(withoutGps(w.raw()).raw.empty());
}

// A segment that cannot be safely shortened: each case changes one thing of
// the usual layout.
struct ClearCase {
    const char* name;
    Sample sample;
};

Sample changed(void (*change)(Sample&))
{
    Sample s;
    change(s);
    return s;
}

class WithoutGpsInPlace : public ::testing::TestWithParam<ClearCase> {};

TEST_P(WithoutGpsInPlace, RemovesTheEntryAndZeroesTheDirectoryWithoutMovingAByte)
{
    const Built before = build(GetParam().sample);
    const GpsFreeSegment result = withoutGps(before.raw);
    ASSERT_EQ(result.how, GpsRemoval::Cleared);
    ASSERT_EQ(result.raw.size(), before.raw.size());

    // The directory that named the GPS directory lost that entry, the last
    // one: one entry fewer, its next offset moved up, 12 zeros after it.
    const std::uint32_t named = GetParam().sample.gpsInExifDirectory ? before.exif : before.ifd0;
    const std::size_t at = ExifWriter::rawOffset(named);
    const std::size_t count = before.raw[at + (GetParam().sample.bigEndian ? 1 : 0)];
    const std::size_t lastEntry = at + 2 + 12 * (count - 1);
    EXPECT_EQ(result.raw[at + (GetParam().sample.bigEndian ? 1 : 0)], count - 1);
    EXPECT_EQ(Bytes(result.raw.begin() + static_cast<std::ptrdiff_t>(lastEntry),
                    result.raw.begin() + static_cast<std::ptrdiff_t>(lastEntry + 4)),
              Bytes(before.raw.begin() + static_cast<std::ptrdiff_t>(lastEntry + 12),
                    before.raw.begin() + static_cast<std::ptrdiff_t>(lastEntry + 16)));
    for (std::size_t i = lastEntry + 4; i < lastEntry + 16; ++i)
        EXPECT_EQ(result.raw[i], 0) << i;
    // The GPS directory and its values are zeros; every other byte is as it was.
    for (std::size_t i = 0; i < before.raw.size(); ++i) {
        if ((i >= lastEntry && i < lastEntry + 16) || i == at || i == at + 1)
            continue;
        const bool gps = i >= ExifWriter::rawOffset(static_cast<std::uint32_t>(before.gpsStart)) &&
                         i < ExifWriter::rawOffset(static_cast<std::uint32_t>(before.gpsEnd));
        EXPECT_EQ(result.raw[i], gps ? 0 : before.raw[i]) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, WithoutGpsInPlace,
    ::testing::Values(ClearCase{"MakerNoteWithOffsetsFromTheMark",
                                changed([](Sample& s) { s.nikonMakerNote = false; })},
                      ClearCase{"MakerNoteBigEndian", changed([](Sample& s) {
                                    s.nikonMakerNote = false;
                                    s.bigEndian = true;
                                })},
                      ClearCase{"StripsInThePreview", changed([](Sample& s) { s.stripPreview = true; })},
                      ClearCase{"UnknownType", changed([](Sample& s) { s.unknownType = true; })},
                      ClearCase{"GpsNamedByTheExifDirectory", changed([](Sample& s) { s.gpsInExifDirectory = true; })},
                      ClearCase{"ExifDirectoryWithANextOne", changed([](Sample& s) { s.exifNext = true; })},
                      ClearCase{"ValueOutsideTheSegment", changed([](Sample& s) { s.makeOutside = true; })},
                      ClearCase{"ValueSharedWithGps", changed([](Sample& s) { s.makeInGps = true; })}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(OrientationOnly, IsOneEntryInTheFirstDirectory)
{
    const Bytes intel = {0x00, 0x22, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 1,
                         0,    0x12, 1,   3,   0,   1,   0, 0, 0,   6,   0,  0, 0, 0, 0, 0, 0};
    const Bytes motorola = {0x00, 0x22, 'E',  'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0,
                            1,    1,    0x12, 0,   3,   0,   0, 0, 1,   0,   8, 0,  0, 0, 0, 0, 0};
    EXPECT_EQ(orientationOnly(6, ByteOrder::LittleEndian), intel);
    EXPECT_EQ(orientationOnly(8, ByteOrder::BigEndian), motorola);
}

} // namespace
} // namespace tamblure::metadata
