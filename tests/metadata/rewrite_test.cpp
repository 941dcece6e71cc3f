#include "metadata/exif.h"
#include "metadata/image_info.h"
#include "metadata/img_data.h"

#include "common/atomic_file.h"
#include "common/errors.h"
#include "jpeg/jpeg_image.h"

#include "exif_fixtures.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace tamblure::metadata {
namespace {
using namespace test;
namespace fs = std::filesystem;
namespace support = tamblure::test;

constexpr int kAPP0 = 0xE0, kAPP1 = 0xE1, kAPP2 = 0xE2, kAPP13 = 0xED, kCOM = 0xFE, kDQT = 0xDB;

Bytes tail(const Bytes& bytes, std::ptrdiff_t from)
{
    return Bytes(bytes.begin() + from, bytes.end());
}

// An EXIF segment with the dimensions in the EXIF directory and the given
// orientation in the first; fieldPos() tells where the values lie in the
// segment as written to a file (from its FF).
struct ExifSample {
    Bytes app1;
    std::size_t widthAt, heightAt; // offsets in app1 of the two value fields
};

ExifSample exifSample(bool bigEndian, std::uint16_t width, std::uint16_t height, std::uint16_t orientation = 1)
{
    ExifWriter exif(bigEndian);
    const std::uint32_t first = exif.directory({exif.shortEntry(0x0112, orientation), exif.longEntry(0x8769, 0)});
    const std::uint32_t sub = exif.directory({exif.shortEntry(0xA002, width), exif.shortEntry(0xA003, height)});
    exif.setU32(first + 2 + 12 + 8, sub);
    return {exif.app1(), ExifWriter::fieldPos(sub, 0) + 2, ExifWriter::fieldPos(sub, 1) + 2};
}

void putShort(Bytes& bytes, std::size_t at, std::uint16_t v, bool bigEndian)
{
    bytes[at + (bigEndian ? 0 : 1)] = static_cast<std::uint8_t>(v >> 8);
    bytes[at + (bigEndian ? 1 : 0)] = static_cast<std::uint8_t>(v);
}

TEST(EmitSegments, WritesSoiThenExifIptcAndCommentAsStored)
{
    const Bytes app0 = text(kAPP0, "JFIF"), app1 = exifSample(false, 640, 480).app1,
                iptc = text(kAPP13, "Photoshop 3.0"), com = text(kCOM, "hello");
    TimgData data;
    ASSERT_TRUE(data.ScanSegments(jpegFile({app0, app1, text(kAPP2, "icc"), iptc, com})));
    Bytes out{0x42};
    const std::int32_t written = data.EmitSegments(out);
    EXPECT_EQ(out, concat({{0x42, 0xFF, 0xD8}, app1, iptc, com}));
    EXPECT_EQ(written, static_cast<std::int32_t>(app1.size() + iptc.size() + com.size()));
}

TEST(EmitSegments, WritesThePhotographsApp0WhenThereIsNoExif)
{
    const Bytes app0 = text(kAPP0, "JFIF\0custom"), com = text(kCOM, "c");
    TimgData data;
    ASSERT_TRUE(data.ScanSegments(jpegFile({app0, com})));
    Bytes out;
    data.EmitSegments(out);
    EXPECT_EQ(out, concat({{0xFF, 0xD8}, app0, com}));
}

TEST(EmitSegments, WritesTheFixedJfifSegmentWhenThereIsNeitherExifNorApp0)
{
    TimgData data;
    ASSERT_TRUE(data.ScanSegments(jpegFile({text(kCOM, "c")})));
    Bytes out;
    const std::int32_t written = data.EmitSegments(out);
    const Bytes jfif = {0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46, 0x00,
                        0x01, 0x02, 0x01, 0x01, 0x2C, 0x01, 0x2C, 0x00, 0x00};
    EXPECT_EQ(out, concat({{0xFF, 0xD8}, jfif, text(kCOM, "c")}));
    EXPECT_EQ(written, 18 + 5);
}

struct SkipCase {
    const char* name;
    Bytes thumbnail;
    std::size_t start;
};

class ThumbnailDataStart : public ::testing::TestWithParam<SkipCase> {};

TEST_P(ThumbnailDataStart, PassesOverTheLeadingApp0App1App13AndCommentInThatOrder)
{
    EXPECT_EQ(thumbnailDataStart(GetParam().thumbnail), GetParam().start);
}

const Bytes kSoi = {0xFF, 0xD8};
const Bytes kDqt = {0xFF, 0xDB, 0x00, 0x03, 0x00, 0xFF, 0xD9};

INSTANTIATE_TEST_SUITE_P(
    Layouts, ThumbnailDataStart,
    ::testing::Values(
        SkipCase{"NothingToPass", concat({kSoi, kDqt}), 2},
        SkipCase{"EncodersJfif", concat({kSoi, text(kAPP0, "JFIF"), kDqt}), 2 + 8},
        SkipCase{"AllFourInOrder",
                 concat({kSoi, text(kAPP0, "J"), text(kAPP1, "E"), text(kAPP13, "I"), text(kCOM, "C"), kDqt}),
                 2 + 4 * 5},
        SkipCase{"SomeMissing", concat({kSoi, text(kAPP1, "E"), text(kCOM, "C"), kDqt}), 2 + 2 * 5},
        SkipCase{"OutOfOrderStopsAtTheFirstThatIsNotLookedForAgain",
                 concat({kSoi, text(kAPP1, "E"), text(kAPP0, "J"), kDqt}), 2 + 5},
        SkipCase{"EachOnlyOnce", concat({kSoi, text(kCOM, "1"), text(kCOM, "2"), kDqt}), 2 + 5},
        SkipCase{"FfNotRequired", concat({kSoi, {0x00, 0xE0, 0x00, 0x02}, kDqt}), 2 + 4},
        SkipCase{"LengthPastTheEndKeepsTheRestWhole", concat({kSoi, {0xFF, 0xE0, 0xFF, 0xF0, 0x01}}), 2},
        SkipCase{"LaterLengthPastTheEnd", concat({kSoi, text(kAPP0, "J"), {0xFF, 0xE1, 0x00, 0x09, 0x01}}), 2 + 5},
        SkipCase{"LengthCutOff", concat({kSoi, {0xFF, 0xE0, 0x00}}), 2},
        SkipCase{"EndsExactly", concat({kSoi, text(kAPP0, "J")}), 2 + 5}, SkipCase{"SoiOnly", kSoi, 2},
        SkipCase{"Empty", {}, 0}),
    [](const auto& row) { return std::string(row.param.name); });

// The route the step takes: the photograph's metadata read from its bytes in
// memory, laid out in front of an encoded thumbnail, or of the photograph
// itself when it is its own thumbnail.
Bytes encodedWith(const Bytes& photograph, const Bytes& thumbnail, int width, int height)
{
    CarriedMetadata metadata(photograph, "IMG_0042.jpg");
    return metadata.encoded(thumbnail, width, height).bytes(thumbnail);
}

Bytes copiedWith(const Bytes& photograph, int width, int height)
{
    CarriedMetadata metadata(photograph, "IMG_0042.jpg");
    return metadata.copied(photograph, width, height).bytes(photograph);
}

// A real JPEG thumbnail made by libjpeg, as the encoder would write it.
Bytes encoderThumbnail(int width, int height)
{
    support::JpegSpec spec;
    spec.width = width;
    spec.height = height;
    return support::makeJpeg(spec);
}

TEST(EncodedThumbnail, BeginsWithThePhotographsExifIptcAndCommentThenItsOwnData)
{
    for (const bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian ? "MM" : "II");
        const ExifSample exif = exifSample(bigEndian, 3000, 2000, 6);
        const Bytes iptc = text(kAPP13, "Photoshop 3.0\0IPTC"), com = text(kCOM, "Vacances");
        const Bytes photograph = jpegFile({text(kAPP0, "JFIF photo"), exif.app1, iptc, com});
        const Bytes thumbnail = encoderThumbnail(40, 27);
        const std::ptrdiff_t dqt = support::findMarker(thumbnail, kDQT);
        ASSERT_GT(dqt, 2);

        Bytes expectedExif = exif.app1;
        putShort(expectedExif, exif.widthAt, 40, bigEndian);
        putShort(expectedExif, exif.heightAt, 27, bigEndian);
        EXPECT_EQ(encodedWith(photograph, thumbnail, 40, 27),
                  concat({kSoi, expectedExif, iptc, com, tail(thumbnail, dqt)}));
    }
}

TEST(EncodedThumbnail, LearnsTheOrientationOfEachPhotograph)
{
    for (std::uint16_t orientation = 1; orientation <= 8; ++orientation) {
        const auto photograph = jpegFile({exifSample(true, 8, 8, orientation).app1});
        CarriedMetadata metadata(photograph, "p.jpg");
        EXPECT_EQ(metadata.transfer().orientation, orientation);
    }
}

struct UntouchedCase {
    const char* name;
    Bytes photo; // empty: no photograph at all
};

class EncodedThumbnailUntouched : public ::testing::TestWithParam<UntouchedCase> {};

TEST_P(EncodedThumbnailUntouched, ByteForByteWhenThePhotographHasNoExif)
{
    support::TempDir dir;
    const fs::path photo = dir / "p.jpg";
    if (!GetParam().photo.empty())
        support::writeFile(photo, GetParam().photo);
    const Bytes thumbnail = encoderThumbnail(12, 9);
    CarriedMetadata metadata(photo);
    EXPECT_EQ(metadata.transfer().orientation, 0);
    EXPECT_EQ(metadata.encoded(thumbnail, 12, 9).bytes(thumbnail), thumbnail);
}

INSTANTIATE_TEST_SUITE_P(
    Photographs, EncodedThumbnailUntouched,
    ::testing::Values(UntouchedCase{"CommentAndIptcOnly", jpegFile({text(kCOM, "c"), text(kAPP13, "i")})},
                      UntouchedCase{"Missing", {}}, UntouchedCase{"NotAJpeg", Bytes{'G', 'I', 'F', '8', '9', 'a'}},
                      UntouchedCase{"ExifOnlyAfterTheFifthSegment",
                                    jpegFile({text(kAPP2, "1"), text(kAPP2, "2"), text(kAPP2, "3"), text(kAPP2, "4"),
                                              exifSample(false, 9, 9).app1})}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(CopiedPhotograph, CarriesItsIptcBlockTwiceWhenItDoesNotFollowTheExifSegment)
{
    // SOI, APP1 (EXIF saying the frame's own size), APP2, APP13, then the
    // image: copied as it is, the photograph is its own thumbnail.
    const ExifSample exif = exifSample(false, 24, 16);
    const Bytes app2 = text(kAPP2, "FPXR"), iptc = text(kAPP13, "Photoshop 3.0");
    support::JpegSpec spec;
    spec.width = 24;
    spec.height = 16;
    spec.jfifHeader = false;
    spec.segments = {{kAPP1, payloadOf(exif.app1)}, {kAPP2, payloadOf(app2)}, {kAPP13, payloadOf(iptc)}};
    const Bytes photograph = support::makeJpeg(spec);

    const std::ptrdiff_t afterApp1 = 2 + static_cast<std::ptrdiff_t>(exif.app1.size());
    EXPECT_EQ(copiedWith(photograph, 24, 16), concat({kSoi, exif.app1, iptc, tail(photograph, afterApp1)}));
}

TEST(CopiedPhotograph, IsTheWholePhotographWhenItHasNoExif)
{
    support::JpegSpec spec;
    spec.segments = {{kCOM, {'c'}}, {kAPP13, {'i'}}};
    const Bytes photograph = support::makeJpeg(spec);
    EXPECT_EQ(copiedWith(photograph, 16, 16), photograph);
}

TEST(EncodedThumbnail, CarriesAnXmpPacketInTheExifPlaceWithoutRewritingIt)
{
    const Bytes xmp = text(kAPP1, std::string("http://ns.adobe.com/xap/1.0/") + '\0' + "<x:xmpmeta/>");
    const Bytes thumbnail = encoderThumbnail(16, 16);
    EXPECT_EQ(encodedWith(jpegFile({xmp, exifSample(false, 3000, 2000).app1}), thumbnail, 16, 16),
              concat({kSoi, xmp, tail(thumbnail, support::findMarker(thumbnail, kDQT))}));
}

// TransfereExif: the same route applied to a thumbnail file.
class TransfereExifFile : public ::testing::Test {
protected:
    fs::path photo() const { return dir_ / "IMG_0042.jpg"; }
    fs::path thumb() const { return dir_ / "thumb.jpg"; }

    support::TempDir dir_;
};

TEST_F(TransfereExifFile, RebuildsTheThumbnailFileAndLeavesThePhotograph)
{
    const ExifSample exif = exifSample(true, 3000, 2000, 8);
    const Bytes com = text(kCOM, "Vacances");
    support::writeFile(photo(), jpegFile({exif.app1, com}));
    const Bytes thumbnail = encoderThumbnail(40, 27);
    support::writeFile(thumb(), thumbnail);
    const Bytes photoBefore = support::readFile(photo());

    EXPECT_EQ(TransfereExif(photo(), thumb()).orientation, 8);

    Bytes expectedExif = exif.app1;
    putShort(expectedExif, exif.widthAt, 40, true);
    putShort(expectedExif, exif.heightAt, 27, true);
    EXPECT_EQ(support::readFile(thumb()),
              concat({kSoi, expectedExif, com, tail(thumbnail, support::findMarker(thumbnail, kDQT))}));
    EXPECT_EQ(support::readFile(photo()), photoBefore);
}

TEST_F(TransfereExifFile, LeavesTheThumbnailFileWhenThePhotographHasNoExif)
{
    support::writeFile(photo(), jpegFile({text(kCOM, "c")}));
    const Bytes thumbnail = encoderThumbnail(12, 9);
    support::writeFile(thumb(), thumbnail);
    EXPECT_EQ(TransfereExif(photo(), thumb()).orientation, 0);
    EXPECT_EQ(support::readFile(thumb()), thumbnail);
}

TEST_F(TransfereExifFile, RaisesTheLoadErrorOfAMissingThumbnail)
{
    support::writeFile(photo(), jpegFile({exifSample(false, 10, 10).app1}));
    try {
        TransfereExif(photo(), thumb());
        FAIL() << "no error";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.message(),
                  "Impossible d'ouvrir le fichier " + thumb().string() + " : fichier ou dossier inexistant");
    }
    EXPECT_FALSE(fs::exists(thumb()));
}

TEST_F(TransfereExifFile, RaisesAJpegErrorForAThumbnailThatIsNotOneAndLeavesIt)
{
    support::writeFile(photo(), jpegFile({exifSample(false, 10, 10).app1}));
    const Bytes junk = {0xFF, 0xD8, 0xFF, 0x01, 0x02, 0x03};
    support::writeFile(thumb(), junk);
    EXPECT_THROW(TransfereExif(photo(), thumb()), EJPEG);
    EXPECT_EQ(support::readFile(thumb()), junk);
}

TEST_F(TransfereExifFile, ReplacesALinkAtTheThumbnailsNameInsteadOfWritingThroughIt)
{
    support::writeFile(photo(), jpegFile({exifSample(false, 10, 10).app1}));
    const fs::path elsewhere = dir_ / "elsewhere.jpg";
    support::JpegSpec spec;
    const Bytes original = support::makeJpeg(spec);
    support::writeFile(elsewhere, original);
    fs::create_symlink(elsewhere, thumb());
    TransfereExif(photo(), thumb());
    EXPECT_FALSE(fs::is_symlink(thumb()));
    EXPECT_EQ(support::readFile(elsewhere), original);
}

TEST(ThumbnailLayoutWrite, FailsAndLeavesTheTargetWhenAStretchCannotBeRead)
{
    // The thumbnail's errors while it is written (the rewrite's, the copy's)
    // come from here: a source that cannot be read fails the write.
    support::TempDir dir;
    const fs::path target = dir / "t.jpg";
    support::writeFile(target, std::string("old"));
    const int writeOnly = ::open(target.c_str(), O_WRONLY);
    ASSERT_GE(writeOnly, 0);
    ThumbnailLayout layout;
    layout.add(kSoi);
    layout.add(Stretch{2});
    AtomicFile out(target);
    ASSERT_TRUE(out.open());
    EXPECT_FALSE(layout.writeTo(out, writeOnly));
    EXPECT_NE(out.error(), 0);
    EXPECT_FALSE(out.commit());
    ::close(writeOnly);
    EXPECT_EQ(support::readFile(target), (Bytes{'o', 'l', 'd'}));
}

TEST(ThumbnailLayoutWrite, WritesMadePiecesAndStretchesInOrderFromAFileOrMemory)
{
    support::TempDir dir;
    const Bytes source = {10, 11, 12, 13, 14, 15, 16, 17};
    support::writeFile(dir / "src.jpg", source);
    ThumbnailLayout layout;
    layout.add(Bytes{1, 2});
    layout.add(Stretch{1, 2});
    layout.add(Stretch{3, 1}); // joined to the one before
    layout.add(Bytes{});
    layout.add(Bytes{3});
    layout.add(Stretch{6});
    EXPECT_EQ(layout.pieces().size(), 4u);
    const Bytes expected = {1, 2, 11, 12, 13, 3, 16, 17};
    EXPECT_EQ(layout.bytes(source), expected);

    const int fd = ::open((dir / "src.jpg").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    for (const bool fromFile : {true, false}) {
        AtomicFile out(dir / "t.jpg");
        ASSERT_TRUE(out.open());
        ASSERT_TRUE(fromFile ? layout.writeTo(out, fd) : layout.writeTo(out, source));
        ASSERT_TRUE(out.commit());
        EXPECT_EQ(support::readFile(dir / "t.jpg"), expected);
    }
    ::close(fd);
}

} // namespace
} // namespace tamblure::metadata
