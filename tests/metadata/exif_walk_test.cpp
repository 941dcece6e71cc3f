#include "metadata/image_info.h"
#include "metadata/img_data.h"

#include "exif_fixtures.h"

#include <gtest/gtest.h>

#include <bit>
#include <string>

namespace tamblure::metadata {
namespace {
using namespace test;

constexpr std::uint16_t kWidth = 0x0100, kLength = 0x0101, kOrientation = 0x0112, kSubIfds = 0x014A, kExifIfd = 0x8769,
                        kGpsIfd = 0x8825, kExifWidth = 0xA002, kExifLength = 0xA003, kInterop = 0xA005, kMake = 0x010F;

// Scans a photograph made of SOI, the EXIF segment, and a scan.
void scanExif(TimgData& data, const ExifWriter& exif)
{
    ASSERT_TRUE(data.ScanSegments(jpegFile({exif.app1()})));
    ASSERT_NE(data.exifRef(), nullptr);
    ASSERT_NE(data.directory(), nullptr);
}

Bytes fieldAt(const TimgData& data, std::size_t pos)
{
    const Bytes& raw = data.exifRef()->raw;
    return Bytes(raw.begin() + static_cast<std::ptrdiff_t>(pos), raw.begin() + static_cast<std::ptrdiff_t>(pos) + 4);
}

TEST(ExifWalk, IntelShortDimensionsKeepTheLastTwoBytesOfTheirValueFields)
{
    // Written out by hand: "II", first directory at 8 with two entries,
    // A002 SHORT x1 = 3000 (B8 0B) with 11 22 in the unused half and
    // A003 SHORT x1 = 2000 (D0 07) with 33 44.
    const Bytes app1 = {0xFF, 0xE1, 0x00, 0x2E, 'E',  'x',  'i',  'f',  0,    0,    'I',  'I',  0x2A, 0x00, 0x08, 0x00,
                        0x00, 0x00, 0x02, 0x00, 0x02, 0xA0, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0xB8, 0x0B, 0x11, 0x22,
                        0x03, 0xA0, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0xD0, 0x07, 0x33, 0x44, 0x00, 0x00, 0x00, 0x00};
    TimgData photo;
    ASSERT_TRUE(photo.ScanSegments(jpegFile({app1})));
    ASSERT_EQ(photo.directory()->widthValue(), 3000);
    ASSERT_EQ(photo.directory()->heightValue(), 2000);

    photo.directory()->FitDimensions(133, 200);

    Bytes expected(app1.begin() + 2, app1.end());
    expected[26] = 0xC8;
    expected[27] = 0x00;
    expected[38] = 0x85;
    expected[39] = 0x00;
    EXPECT_EQ(photo.exifRef()->raw, expected);
}

struct FitCase {
    const char* name;
    bool bigEndian;
    std::uint16_t type;
    Bytes widthField; // after fitting 200 × 133
    Bytes heightField;
};

class FitDimensionsWrites : public ::testing::TestWithParam<FitCase> {};

TEST_P(FitDimensionsWrites, TheThumbnailSizeInTheByteOrderAndWidthOfTheEntry)
{
    const FitCase& c = GetParam();
    ExifWriter exif(c.bigEndian);
    const auto make = [&](std::uint16_t tag, std::uint32_t v) {
        return c.type == kShort ? exif.shortEntry(tag, static_cast<std::uint16_t>(v)) : exif.longEntry(tag, v);
    };
    const std::uint32_t dir = exif.directory({make(kExifWidth, 3000), make(kExifLength, 2000)});
    TimgData data;
    scanExif(data, exif);
    EXPECT_EQ(data.bigEndian(), c.bigEndian);
    EXPECT_EQ(data.directory()->widthType(), c.type);

    data.directory()->FitDimensions(133, 200);

    EXPECT_EQ(fieldAt(data, ExifWriter::fieldPos(dir, 0)), c.widthField);
    EXPECT_EQ(fieldAt(data, ExifWriter::fieldPos(dir, 1)), c.heightField);
    // The photograph's values are kept.
    EXPECT_EQ(data.directory()->widthValue(), 3000);
    EXPECT_EQ(data.directory()->heightValue(), 2000);
}

INSTANTIATE_TEST_SUITE_P(
    ByteOrderAndType, FitDimensionsWrites,
    ::testing::Values(FitCase{"IntelShort", false, kShort, {0xC8, 0x00, 0xAB, 0xCD}, {0x85, 0x00, 0xAB, 0xCD}},
                      FitCase{"IntelLong", false, kLong, {0xC8, 0, 0, 0}, {0x85, 0, 0, 0}},
                      FitCase{"MotorolaShort", true, kShort, {0x00, 0xC8, 0xCD, 0xAB}, {0x00, 0x85, 0xCD, 0xAB}},
                      FitCase{"MotorolaLong", true, kLong, {0, 0, 0, 0xC8}, {0, 0, 0, 0x85}}),
    [](const auto& row) { return std::string(row.param.name); });

struct NoRewriteCase {
    const char* name;
    std::vector<ExifWriter::Entry> (*entries)(const ExifWriter&);
    std::int32_t newHeight;
    std::int32_t newWidth;
};

class FitDimensionsLeavesTheSegmentAlone : public ::testing::TestWithParam<NoRewriteCase> {};

TEST_P(FitDimensionsLeavesTheSegmentAlone, WhenTheDimensionsAreUnknownOrAlreadyRight)
{
    const NoRewriteCase& c = GetParam();
    ExifWriter exif(false);
    exif.directory(c.entries(exif));
    TimgData data;
    scanExif(data, exif);
    const Bytes before = data.exifRef()->raw;
    data.directory()->FitDimensions(c.newHeight, c.newWidth);
    EXPECT_EQ(data.exifRef()->raw, before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FitDimensionsLeavesTheSegmentAlone,
    ::testing::Values(
        NoRewriteCase{"OnlyAWidth", [](const ExifWriter& w) { return std::vector{w.shortEntry(kExifWidth, 3000)}; },
                      133, 200},
        NoRewriteCase{"WidthOfZero",
                      [](const ExifWriter& w) {
                          return std::vector{w.shortEntry(kExifWidth, 0), w.shortEntry(kExifLength, 2000)};
                      },
                      133, 200},
        NoRewriteCase{
            "NegativeHeight",
            [](const ExifWriter& w) {
                return std::vector{w.longEntry(kExifWidth, 3000), w.entry(kExifLength, kSLong, 1, 0xFFFFFFF6u)};
            },
            133, 200},
        NoRewriteCase{"SameSizeAsTheThumbnail",
                      [](const ExifWriter& w) {
                          return std::vector{w.shortEntry(kExifWidth, 200), w.shortEntry(kExifLength, 133)};
                      },
                      133, 200},
        NoRewriteCase{"NoDimensionAtAll", [](const ExifWriter& w) { return std::vector{w.shortEntry(kMake, 1)}; }, 133,
                      200}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ExifWalk, RewritesOnlyTheExifDirectoryDimensionsWhenTheFirstDirectoryHasSomeToo)
{
    ExifWriter exif(true);
    // First directory at 8: width, length, EXIF pointer (patched below).
    const std::uint32_t first =
        exif.directory({exif.longEntry(kWidth, 3000), exif.longEntry(kLength, 2000), exif.longEntry(kExifIfd, 0)});
    const std::uint32_t sub = exif.directory({exif.shortEntry(kExifWidth, 3000), exif.shortEntry(kExifLength, 2000)});
    exif.setU32(static_cast<std::uint32_t>(first + 2 + 24 + 8), sub);
    TimgData data;
    scanExif(data, exif);
    const Bytes before = data.exifRef()->raw;
    EXPECT_EQ(data.directory()->widthPos(), static_cast<std::int32_t>(ExifWriter::fieldPos(sub, 0)));

    data.directory()->FitDimensions(133, 200);

    // The first directory keeps 3000 x 2000 (LONG 00 00 0B B8, 00 00 07 D0);
    // the EXIF directory's SHORTs become 200 and 133.
    Bytes expected = before;
    expected[ExifWriter::fieldPos(sub, 0)] = 0x00;
    expected[ExifWriter::fieldPos(sub, 0) + 1] = 0xC8;
    expected[ExifWriter::fieldPos(sub, 1)] = 0x00;
    expected[ExifWriter::fieldPos(sub, 1) + 1] = 0x85;
    EXPECT_EQ(data.exifRef()->raw, expected);
    EXPECT_EQ(fieldAt(data, ExifWriter::fieldPos(first, 0)), (Bytes{0, 0, 0x0B, 0xB8}));
}

TEST(ExifWalk, NeverWalksThePreviewDirectory)
{
    ExifWriter exif(false);
    const std::uint32_t first = exif.directory({exif.shortEntry(kExifWidth, 640), exif.shortEntry(kExifLength, 480)});
    const std::uint32_t preview =
        exif.directory({exif.shortEntry(kWidth, 160), exif.shortEntry(kLength, 120), exif.shortEntry(kOrientation, 6)});
    exif.setU32(first + 2 + 24, preview);
    TimgData data;
    scanExif(data, exif);
    EXPECT_EQ(data.directory()->widthValue(), 640);
    EXPECT_EQ(data.directory()->heightValue(), 480);
    EXPECT_EQ(data.directory()->orientation(), 0);
    EXPECT_EQ(data.directory()->walkedDirectories().size(), 1u);
}

TEST(ExifWalk, ReadsTheFirstDirectoryAtOffset16WhenItsOffsetIsZero)
{
    // Offset 16 of the segment is 8 past the base, right after the TIFF
    // header; read from the base itself, the "II" mark would be taken as an
    // entry count.
    ExifWriter exif(false, 0);
    ASSERT_EQ(ExifWriter::rawOffset(exif.here()), 16u);
    exif.directory({exif.shortEntry(kExifWidth, 800), exif.shortEntry(kExifLength, 600)});
    TimgData data;
    scanExif(data, exif);
    EXPECT_EQ(data.directory()->widthValue(), 800);
    EXPECT_EQ(data.directory()->heightValue(), 600);
    EXPECT_TRUE(data.directory()->walkedDirectories().contains({8, 16}));
}

TEST(ExifWalk, WalksTwoDirectoriesThatPointAtEachOtherOnceEach)
{
    ExifWriter exif(true);
    const std::uint32_t a = exif.directory({exif.longEntry(kExifIfd, 0), exif.shortEntry(kExifWidth, 1000)});
    const std::uint32_t b = exif.directory({exif.longEntry(kExifIfd, a), exif.shortEntry(kExifLength, 700),
                                            exif.longEntry(kGpsIfd, a), exif.longEntry(kInterop, 0)});
    exif.setU32(a + 2 + 8, b);
    exif.setU32(b + 2 + 36 + 8, b);
    TimgData data;
    scanExif(data, exif);
    EXPECT_EQ(data.directory()->walkedDirectories().size(), 2u);
    EXPECT_EQ(data.directory()->widthValue(), 1000);
    EXPECT_EQ(data.directory()->heightValue(), 700);
}

TEST(ExifWalk, WalksAChainOfThousandsOfNestedDirectoriesWithoutExhaustingTheStack)
{
    ExifWriter exif(false);
    // Each directory holds one sub-directory entry naming the next; the last
    // holds the dimensions. 14 bytes + 4 per directory.
    constexpr int kDepth = 3000;
    for (int i = 0; i < kDepth; ++i)
        exif.directory({exif.longEntry(i % 2 ? kSubIfds : kExifIfd, exif.here() + 18)});
    exif.directory({exif.shortEntry(kExifWidth, 321), exif.shortEntry(kExifLength, 123)});
    TimgData data;
    scanExif(data, exif);
    EXPECT_EQ(data.directory()->walkedDirectories().size(), static_cast<std::size_t>(kDepth + 1));
    EXPECT_EQ(data.directory()->widthValue(), 321);
    EXPECT_EQ(data.directory()->heightValue(), 123);
}

TEST(ExifWalk, AByteOrderMarkOfTwoZerosWalksNothingAndKeepsTheSegment)
{
    ExifWriter exif(false);
    exif.directory({exif.shortEntry(kExifWidth, 3000), exif.shortEntry(kExifLength, 2000)});
    Bytes app1 = exif.app1();
    app1[10] = 0; // the "II" after FF E1, the length and "Exif\0\0"
    app1[11] = 0;
    TimgData data;
    EXPECT_TRUE(data.ScanSegments(jpegFile({app1})));
    ASSERT_NE(data.exifRef(), nullptr);
    EXPECT_EQ(data.statusText(), "Invalid Exif alignment marker");
    EXPECT_TRUE(data.directory()->walkedDirectories().empty());
    data.directory()->FitDimensions(133, 200);
    EXPECT_EQ(data.exifRef()->raw, rawOf(app1));
}

TEST(ExifWalk, ASegmentTooShortForItsHeaderWalksNothing)
{
    // "Exif\0\0II*\0" and the first half of the directory offset.
    const Bytes app1 = segment(0xE1, {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 0x2A, 0, 0x08, 0});
    TimgData data;
    EXPECT_TRUE(data.ScanSegments(jpegFile({app1})));
    ASSERT_NE(data.directory(), nullptr);
    EXPECT_TRUE(data.directory()->walkedDirectories().empty());
}

TEST(ExifWalk, SkipsADirectoryOutsideTheSegmentAndWalksTheOthers)
{
    ExifWriter exif(false);
    const std::uint32_t first = exif.directory({exif.shortEntry(kExifWidth, 3000), exif.longEntry(kExifIfd, 0x7FFFFFF0),
                                                exif.longEntry(kGpsIfd, 0), exif.shortEntry(kExifLength, 2000)});
    const std::uint32_t gps = exif.here();
    // A directory claiming 500 entries where only 2 bytes follow.
    exif.u16(500);
    exif.setU32(first + 2 + 24 + 8, gps);
    TimgData data;
    scanExif(data, exif);
    EXPECT_EQ(data.statusText(), "Illegally sized directory");
    EXPECT_EQ(data.directory()->widthValue(), 3000);
    EXPECT_EQ(data.directory()->heightValue(), 2000);
}

TEST(ExifWalk, AFirstDirectoryOutsideTheSegmentIsSkipped)
{
    ExifWriter exif(true, 0xFFFFFFFF);
    exif.directory({exif.shortEntry(kExifWidth, 3000), exif.shortEntry(kExifLength, 2000)});
    TimgData data;
    scanExif(data, exif);
    EXPECT_EQ(data.statusText(), "Illegally sized directory");
    EXPECT_EQ(data.directory()->widthValue(), 0);
}

TEST(ExifWalk, AValueOffsetOutsideTheSegmentGivesNoValue)
{
    ExifWriter exif(false);
    const std::uint32_t dir =
        exif.directory({exif.entry(kExifWidth, kRational, 1, 0xFFFFFF00u), exif.shortEntry(kExifLength, 2000)});
    TimgData data;
    scanExif(data, exif);
    EXPECT_EQ(data.directory()->widthPos(), static_cast<std::int32_t>(ExifWriter::fieldPos(dir, 0)));
    EXPECT_EQ(data.directory()->widthValue(), 0);
}

TEST(ExifWalk, ComputesValueSizesIn64BitsSoAHugeCountCannotWrapToAnInlineValue)
{
    // 4 × 0x40000001 wraps to 4 in 32 bits, which would read the field as a
    // LONG 3000; the real size points far outside the segment.
    ExifWriter exif(false);
    exif.directory({exif.entry(kExifWidth, kLong, 0x40000001u, 3000), exif.shortEntry(kExifLength, 2000)});
    TimgData data;
    scanExif(data, exif);
    EXPECT_EQ(data.directory()->widthValue(), 0);
    EXPECT_EQ(data.directory()->heightValue(), 2000);
}

TEST(ExifWalk, PassesOverTypeCodesAbove12)
{
    ExifWriter exif(false);
    exif.directory({exif.shortEntry(kExifWidth, 640), exif.entry(kExifWidth, 13, 1, 999),
                    exif.entry(kExifIfd, 0xFFFF, 1, 8), exif.shortEntry(kExifLength, 480)});
    TimgData data;
    scanExif(data, exif);
    EXPECT_EQ(data.directory()->widthValue(), 640);
    EXPECT_EQ(data.directory()->widthType(), kShort);
    EXPECT_EQ(data.directory()->walkedDirectories().size(), 1u);
}

TEST(ExifWalk, RoundsRationalDimensionsHalfToEven)
{
    ExifWriter exif(true);
    const std::uint32_t dir =
        exif.directory({exif.entry(kExifWidth, kRational, 1, 0), exif.entry(kExifLength, kSRational, 1, 0)});
    const std::uint32_t widthValue = exif.here();
    exif.u32(401);
    exif.u32(2); // 200.5 -> 200
    const std::uint32_t heightValue = exif.here();
    exif.u32(403);
    exif.u32(2); // 201.5 -> 202
    exif.setU32(dir + 2 + 8, widthValue);
    exif.setU32(dir + 2 + 12 + 8, heightValue);
    TimgData data;
    scanExif(data, exif);
    EXPECT_EQ(data.directory()->widthValue(), 200);
    EXPECT_EQ(data.directory()->heightValue(), 202);
}

struct OrientationCase {
    const char* name;
    std::uint16_t type;
    std::uint16_t value;
    bool inSubDirectory;
    std::uint16_t expected;
};

class ExifOrientation : public ::testing::TestWithParam<OrientationCase> {};

TEST_P(ExifOrientation, IsKeptOnlyFromTheFirstDirectoryAsAShortFrom1To8)
{
    const OrientationCase& c = GetParam();
    ExifWriter exif(true);
    const auto orientation =
        c.type == kShort ? exif.shortEntry(kOrientation, c.value) : exif.entry(kOrientation, c.type, 1, c.value);
    if (c.inSubDirectory) {
        const std::uint32_t first = exif.directory({exif.longEntry(kExifIfd, 0)});
        const std::uint32_t sub = exif.directory({orientation});
        exif.setU32(first + 2 + 8, sub);
    } else {
        exif.directory({orientation});
    }
    TimgData data;
    scanExif(data, exif);
    EXPECT_EQ(data.directory()->orientation(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExifOrientation,
    ::testing::Values(OrientationCase{"One", kShort, 1, false, 1}, OrientationCase{"Six", kShort, 6, false, 6},
                      OrientationCase{"Eight", kShort, 8, false, 8}, OrientationCase{"Zero", kShort, 0, false, 0},
                      OrientationCase{"Nine", kShort, 9, false, 0}, OrientationCase{"NotAShort", kLong, 6, false, 0},
                      OrientationCase{"InTheExifDirectory", kShort, 6, true, 0}),
    [](const auto& row) { return std::string(row.param.name); });

struct NumberCase {
    const char* name;
    bool bigEndian;
    std::uint16_t type;
    Bytes value;
    long double expected;
};

class ValueAsNumber : public ::testing::TestWithParam<NumberCase> {};

TEST_P(ValueAsNumber, ReadsTheValueBytesInTheExifByteOrder)
{
    const NumberCase& c = GetParam();
    ExifWriter exif(c.bigEndian);
    exif.directory({});
    TimgData data;
    scanExif(data, exif);
    EXPECT_EQ(data.directory()->ValueAsNumber(c.value, c.type), c.expected);
}

Bytes floatBytes(float f, bool bigEndian)
{
    const auto bits = std::bit_cast<std::uint32_t>(f);
    Bytes out(4);
    for (int i = 0; i < 4; ++i)
        out[static_cast<std::size_t>(bigEndian ? 3 - i : i)] = static_cast<std::uint8_t>(bits >> (8 * i));
    return out;
}

Bytes doubleBytes(double d, bool bigEndian)
{
    const auto bits = std::bit_cast<std::uint64_t>(d);
    Bytes out(8);
    for (int i = 0; i < 8; ++i)
        out[static_cast<std::size_t>(bigEndian ? 7 - i : i)] = static_cast<std::uint8_t>(bits >> (8 * i));
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Types, ValueAsNumber,
    ::testing::Values(NumberCase{"IntelShort", false, kShort, {0xB8, 0x0B}, 3000},
                      NumberCase{"MotorolaLong", true, kLong, {0x00, 0x00, 0x0B, 0xB8}, 3000},
                      NumberCase{"MotorolaLongAsSigned", true, kLong, {0xFF, 0xFF, 0xFF, 0xFE}, -2},
                      NumberCase{"SignedByteReadUnsigned", false, kSByte, {0xFF}, 255},
                      NumberCase{"TwoIntelShortsTakenTogether", false, kShort, {0x01, 0x00, 0x02, 0x00}, 0x00020001},
                      NumberCase{
                          "ThreeMotorolaLongsKeepTheLowest", true, kLong, {0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3}, 3},
                      NumberCase{"ThreeIntelLongsKeepTheFirst", false, kLong, {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0}, 1},
                      NumberCase{"Rational", true, kRational, {0, 0, 0x0B, 0xB8, 0, 0, 0, 2}, 1500},
                      NumberCase{"SignedRational", false, kSRational, {0xFA, 0xFF, 0xFF, 0xFF, 4, 0, 0, 0}, -1.5L},
                      NumberCase{"RationalOverZero", false, kRational, {5, 0, 0, 0, 0, 0, 0, 0}, 0},
                      NumberCase{"RationalCutShort", false, kRational, {5, 0, 0, 0, 1, 0}, 0},
                      NumberCase{"IntelFloat", false, kFloat, floatBytes(200.0f, false), 200},
                      NumberCase{"MotorolaFloat", true, kFloat, floatBytes(-3.5f, true), -3.5L},
                      NumberCase{"MotorolaDouble", true, kDouble, doubleBytes(133.25, true), 133.25L},
                      NumberCase{"IntelDouble", false, kDouble, doubleBytes(0.125, false), 0.125L},
                      NumberCase{"Ascii", false, kAscii, {'1', '2', 0}, 0},
                      NumberCase{"Undefined", false, kUndefined, {1, 2, 3, 4}, 0},
                      NumberCase{"TypeAbove12", false, 13, {1, 2, 3, 4}, 0},
                      NumberCase{"NoBytes", false, kLong, {}, 0}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace tamblure::metadata
