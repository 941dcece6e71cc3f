#include "metadata/image_info.h"
#include "metadata/img_data.h"
#include "metadata/segment_source.h"

#include "exif_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

namespace tamblure::metadata {
namespace {
using namespace test;
namespace fs = std::filesystem;

constexpr int kAPP0 = 0xE0, kAPP1 = 0xE1, kAPP2 = 0xE2, kAPP13 = 0xED, kCOM = 0xFE, kDQT = 0xDB, kSOS = 0xDA;

Bytes exifApp1(std::uint16_t width = 3000, std::uint16_t height = 2000)
{
    ExifWriter exif(false);
    exif.directory({exif.shortEntry(0xA002, width), exif.shortEntry(0xA003, height)});
    return exif.app1();
}

// The stored bytes of a segment: everything after FF and the marker.
TEST(SegmentScan, RecordsApp0AndExifAndStopsAtTheStartOfScan)
{
    const Bytes app0 = text(kAPP0, "JFIF");
    const Bytes app1 = exifApp1();
    const Bytes dqt = segment(kDQT, Bytes(65, 1));
    TimgData data;
    EXPECT_TRUE(data.ScanSegments(jpegFile({app0, app1, dqt})));
    EXPECT_EQ(data.segmentCount(), 4);
    EXPECT_EQ(data.app0Ref(), &data.segment(1));
    EXPECT_EQ(data.exifRef(), &data.segment(2));
    EXPECT_EQ(data.segment(2).raw, rawOf(app1));
    EXPECT_EQ(data.segment(2).marker, kAPP1);
    EXPECT_EQ(data.segment(2).length, static_cast<std::int32_t>(app1.size() - 2));
    EXPECT_EQ(data.segment(3).raw, rawOf(dqt));
    EXPECT_EQ(data.segment(4).marker, kSOS);
    // The COM marker inside the scan data was never read.
    EXPECT_EQ(data.commentRef(), nullptr);
    EXPECT_EQ(data.iptcRef(), nullptr);
    EXPECT_EQ(data.iptcBlock(), nullptr);
}

TEST(SegmentScan, RecordsNothingWhenTheFileDoesNotStartWithSoi)
{
    Bytes file = jpegFile({text(kCOM, "hello")});
    file[1] = 0xD9;
    TimgData data;
    EXPECT_FALSE(data.ScanSegments(file));
    EXPECT_EQ(data.segmentCount(), 0);
    EXPECT_FALSE(data.HasAnyMetadata());
}

TEST(SegmentScan, StopsAtTheFifthSegmentWhenTheFirstFourCarryNoMetadata)
{
    TimgData data;
    EXPECT_FALSE(data.ScanSegments(jpegFile(
        {text(kAPP0, "JFIF"), text(kAPP2, "a"), text(kAPP2, "b"), text(kAPP2, "c"), exifApp1(), text(kCOM, "late")})));
    EXPECT_EQ(data.segmentCount(), 5);
    EXPECT_EQ(data.exifRef(), nullptr);
    EXPECT_EQ(data.directory(), nullptr);
    EXPECT_EQ(data.commentRef(), nullptr);
}

TEST(SegmentScan, DropsAnApp1InSixthPlaceAndReusesItsEntry)
{
    const Bytes dqt = segment(kDQT, Bytes(65, 2));
    TimgData data;
    EXPECT_TRUE(data.ScanSegments(jpegFile({text(kCOM, "early"), text(kAPP2, "a"), text(kAPP2, "b"), text(kAPP2, "c"),
                                            text(kAPP2, "d"), exifApp1(), dqt})));
    EXPECT_EQ(data.exifRef(), nullptr);
    EXPECT_EQ(data.segment(6).raw, rawOf(dqt));
    EXPECT_EQ(data.segmentCount(), 7); // COM, 4 APP2, DQT, SOS
}

TEST(SegmentScan, TakesTheFirstApp1AsExifWhateverItHoldsAndDropsTheSecond)
{
    const Bytes xmp = text(kAPP1, std::string("http://ns.adobe.com/xap/1.0/") + '\0' + "<x:xmpmeta/>");
    const Bytes dqt = segment(kDQT, Bytes(65, 3));
    TimgData data;
    EXPECT_TRUE(data.ScanSegments(jpegFile({xmp, exifApp1(), dqt})));
    ASSERT_NE(data.exifRef(), nullptr);
    EXPECT_EQ(data.exifRef()->raw, rawOf(xmp));
    EXPECT_EQ(data.statusText(), "Incorrect Exif header");
    EXPECT_EQ(data.segment(2).raw, rawOf(dqt));
    EXPECT_EQ(data.directory()->widthValue(), 0);
}

TEST(SegmentScan, KeepsTheLastCommentAndTheFirstIptcBlock)
{
    const Bytes com1 = text(kCOM, "first"), com2 = text(kCOM, "second");
    const Bytes iptc1 = text(kAPP13, "Photoshop 3.0 one"), iptc2 = text(kAPP13, "Photoshop 3.0 two");
    TimgData data;
    EXPECT_TRUE(data.ScanSegments(jpegFile({com1, iptc1, com2, iptc2})));
    ASSERT_NE(data.commentRef(), nullptr);
    ASSERT_NE(data.iptcRef(), nullptr);
    EXPECT_EQ(data.commentRef()->raw, rawOf(com2));
    EXPECT_EQ(data.iptcRef()->raw, rawOf(iptc1));
    EXPECT_NE(data.iptcBlock(), nullptr);
    EXPECT_EQ(data.segment(4).raw, rawOf(iptc2)); // in the table, unreferenced
}

TEST(SegmentScan, KeepsTheLastApp0)
{
    const Bytes a = text(kAPP0, "JFIF one"), b = text(kAPP0, "JFIF two");
    TimgData data;
    EXPECT_TRUE(data.ScanSegments(jpegFile({a, text(kCOM, "c"), b})));
    EXPECT_EQ(data.app0Ref()->raw, rawOf(b));
}

TEST(SegmentScan, ACommentWithoutApp1IsMetadataButNotExif)
{
    TimgData data;
    EXPECT_TRUE(data.ScanSegments(jpegFile({text(kCOM, "only a comment")})));
    EXPECT_TRUE(data.HasAnyMetadata());
    EXPECT_FALSE(data.HasExifSegment());
}

TEST(SegmentScan, SkipsFillBytesAndTakesAMarkerWithoutItsFf)
{
    // SOI, three fill bytes before a COM, then an APP13 whose FF is missing.
    Bytes file{0xFF, 0xD8, 0xFF, 0xFF, 0xFF};
    const Bytes com = text(kCOM, "fill");
    file.insert(file.end(), com.begin(), com.end());
    const Bytes iptc = text(kAPP13, "bare");
    file.insert(file.end(), iptc.begin() + 1, iptc.end());
    TimgData data;
    EXPECT_TRUE(data.ScanSegments(file));
    ASSERT_NE(data.commentRef(), nullptr);
    EXPECT_EQ(data.commentRef()->raw, rawOf(com));
    ASSERT_NE(data.iptcRef(), nullptr);
    EXPECT_EQ(data.iptcRef()->raw, rawOf(iptc));
    EXPECT_EQ(data.segmentCount(), 2);
}

TEST(SegmentScan, EndsAtALengthBelowTwoKeepingWhatCameBefore)
{
    Bytes file = jpegFile({text(kCOM, "kept")});
    const Bytes tail = {0xFF, 0xED, 0x00, 0x01, 'x', 'y'};
    file.insert(file.begin() + 2 + 8, tail.begin(), tail.end());
    TimgData data;
    EXPECT_TRUE(data.ScanSegments(file));
    EXPECT_EQ(data.segmentCount(), 1);
    EXPECT_EQ(data.iptcRef(), nullptr);
}

TEST(SegmentScan, KeepsAtMostTwentySegments)
{
    Bytes file{0xFF, 0xD8};
    const Bytes com = text(kCOM, "x");
    for (int i = 0; i < 30; ++i)
        file.insert(file.end(), com.begin(), com.end());
    TimgData data;
    EXPECT_TRUE(data.ScanSegments(file));
    EXPECT_EQ(data.segmentCount(), TimgData::kMaxSegments);
    EXPECT_EQ(data.commentRef(), &data.segment(20));
}

// Every prefix of a photograph: what the scan keeps is exactly the segments
// that lie wholly inside it, byte for byte; a cut segment is never kept.
TEST(SegmentScan, KeepsOnlyWholeSegmentsOfAFileCutAnywhere)
{
    const Bytes app0 = text(kAPP0, "JFIF"), app1 = exifApp1(), iptc = text(kAPP13, "Photoshop 3.0"),
                com = text(kCOM, "a comment");
    const Bytes file = jpegFile({app0, app1, iptc, com});
    const std::vector<Bytes> parts = {app0, app1, iptc, com};
    for (std::size_t cut = 0; cut <= file.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        const Bytes prefix(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut));
        TimgData data;
        data.ScanSegments(prefix);
        std::size_t end = 2;
        int whole = 0;
        for (const Bytes& p : parts) {
            if (end + p.size() > cut)
                break;
            end += p.size();
            ++whole;
        }
        ASSERT_LE(data.segmentCount(), whole + 1); // + the SOS when it is whole too
        ASSERT_GE(data.segmentCount(), whole);
        for (int n = 1; n <= std::min(whole, 4); ++n)
            ASSERT_EQ(data.segment(n).raw, rawOf(parts[static_cast<std::size_t>(n - 1)]));
        EXPECT_EQ(data.exifRef() != nullptr, whole >= 2);
        EXPECT_EQ(data.commentRef() != nullptr, whole >= 4);
    }
}

// A source that never ends: after SOI and a comment, the same bytes again and
// again, one chunk at a time.
class EndlessSource : public SegmentSource {
public:
    EndlessSource(Bytes head, Bytes repeated) : head_(std::move(head)), repeated_(std::move(repeated)) {}
    std::span<const std::uint8_t> nextChunk() override
    {
        ++chunks_;
        if (chunks_ == 1)
            return head_;
        return repeated_;
    }
    std::uint64_t chunks() const { return chunks_; }

private:
    Bytes head_, repeated_;
    std::uint64_t chunks_ = 0;
};

TEST(SegmentScan, GivesUpAfterReading64MiBOfDroppedSegments)
{
    Bytes head{0xFF, 0xD8};
    const Bytes com = text(kCOM, "kept");
    head.insert(head.end(), com.begin(), com.end());
    for (const Bytes& s : {text(kAPP2, "a"), text(kAPP2, "b"), text(kAPP2, "c"), exifApp1()})
        head.insert(head.end(), s.begin(), s.end());
    // APP1 after the fifth place: dropped each time, its entry reused.
    EndlessSource source(head, segment(kAPP1, Bytes(65533, 0x55)));
    TimgData data;
    EXPECT_TRUE(data.ScanSegments(source));
    EXPECT_EQ(data.commentRef()->raw, rawOf(com));
    EXPECT_EQ(data.exifRef(), &data.segment(5));
    EXPECT_EQ(data.segmentCount(), 5);
    EXPECT_LE(source.chunks() * 65537, TimgData::kMaxScanBytes + 2 * 65537);
}

TEST(SegmentScan, GivesUpAfterReading64MiBOfFillBytes)
{
    Bytes head{0xFF, 0xD8};
    const Bytes com = text(kCOM, "kept");
    head.insert(head.end(), com.begin(), com.end());
    EndlessSource source(head, Bytes(1 << 20, 0xFF));
    TimgData data;
    EXPECT_TRUE(data.ScanSegments(source));
    EXPECT_EQ(data.segmentCount(), 1);
    EXPECT_LE(source.chunks(), 66u);
}

TEST(SegmentScan, ResetStateForgetsEverything)
{
    TimgData data;
    ASSERT_TRUE(data.ScanSegments(jpegFile({text(kAPP0, "JFIF"), exifApp1(), text(kAPP13, "i"), text(kCOM, "c")})));
    ASSERT_TRUE(data.bigEndian() == false && data.directory() != nullptr);
    data.ResetState();
    EXPECT_EQ(data.segmentCount(), 0);
    EXPECT_FALSE(data.HasAnyMetadata());
    EXPECT_EQ(data.app0Ref(), nullptr);
    EXPECT_EQ(data.directory(), nullptr);
    EXPECT_EQ(data.iptcBlock(), nullptr);
    EXPECT_EQ(data.statusText(), "");
}

struct ExtensionCase {
    const char* name;
    bool scanned;
};

class ScanFileExtension : public ::testing::TestWithParam<ExtensionCase> {};

TEST_P(ScanFileExtension, IsComparedInLowerCase)
{
    tamblure::test::TempDir dir;
    const fs::path path = dir / GetParam().name;
    const Bytes file = jpegFile({exifApp1()});
    tamblure::test::writeFile(path, file);
    TimgData data;
    EXPECT_EQ(data.ScanFile(path), GetParam().scanned);
    EXPECT_EQ(data.HasExifSegment(), GetParam().scanned);
    EXPECT_EQ(data.statusText(), GetParam().scanned ? "<none>" : "Not an EXIF file");
}

INSTANTIATE_TEST_SUITE_P(Names, ScanFileExtension,
                         ::testing::Values(ExtensionCase{"a.jpg", true}, ExtensionCase{"b.JPG", true},
                                           ExtensionCase{"c.jpeg", true}, ExtensionCase{"d.JpE", true},
                                           ExtensionCase{"e.jpeg.bak", false}, ExtensionCase{"f.png", false},
                                           ExtensionCase{"jpg", false}, ExtensionCase{"g.tif", false}),
                         [](const auto& row) {
                             std::string n = row.param.name;
                             for (char& c : n)
                                 if (c == '.')
                                     c = '_';
                             return n;
                         });

TEST(ScanFile, AMissingFileGivesNothingAndNoStatus)
{
    tamblure::test::TempDir dir;
    TimgData data;
    EXPECT_FALSE(data.ReadPhoto(dir / "absent.jpg"));
    EXPECT_EQ(data.statusText(), "");
}

TEST(ScanFile, AFileWithoutMetadataSaysSo)
{
    tamblure::test::TempDir dir;
    tamblure::test::writeFile(dir / "plain.jpg", jpegFile({text(kAPP0, "JFIF")}));
    TimgData data;
    EXPECT_FALSE(data.ReadPhoto(dir / "plain.jpg"));
    EXPECT_EQ(data.statusText(), "Not an EXIF file");
    EXPECT_NE(data.app0Ref(), nullptr);
}

TEST(ScanFile, NeitherBlocksOnNorReadsAFifo)
{
    tamblure::test::TempDir dir;
    const fs::path fifo = dir / "pipe.jpg";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    TimgData data;
    EXPECT_FALSE(data.ReadPhoto(fifo));
    EXPECT_FALSE(data.HasAnyMetadata());
}

TEST(ScanFile, GivesNothingForAFolder)
{
    tamblure::test::TempDir dir;
    fs::create_directory(dir / "folder.jpg");
    TimgData data;
    EXPECT_FALSE(data.ReadPhoto(dir / "folder.jpg"));
}

TEST(ScanFile, ReadsSegmentsThatStraddleItsReadChunksAsInMemory)
{
    // Segments of nearly 64 KiB each, so that several cross the boundaries
    // of the file reader's chunks.
    const Bytes big1 = segment(kAPP2, Bytes(65533, 0x11)), big2 = segment(kAPP2, Bytes(40000, 0x22));
    const Bytes file = jpegFile({text(kAPP0, "JFIF"), exifApp1(), big1, big2, big1, text(kCOM, "end")});
    tamblure::test::TempDir dir;
    tamblure::test::writeFile(dir / "big.jpg", file);
    TimgData fromFile, fromMemory;
    ASSERT_TRUE(fromFile.ScanFile(dir / "big.jpg"));
    ASSERT_TRUE(fromMemory.ScanSegments(file));
    ASSERT_EQ(fromFile.segmentCount(), fromMemory.segmentCount());
    for (int n = 1; n <= fromFile.segmentCount(); ++n)
        EXPECT_EQ(fromFile.segment(n).raw, fromMemory.segment(n).raw) << "segment " << n;
    EXPECT_EQ(fromFile.commentRef()->raw, rawOf(text(kCOM, "end")));
}

} // namespace
} // namespace tamblure::metadata
