#include "metadata/exif.h"
#include "metadata/image_info.h"
#include "metadata/img_data.h"

#include "common/errors.h"
#include "jpeg/jpeg_image.h"

#include "exif_fixtures.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace tamblure::metadata {
namespace {
using namespace test;
namespace fs = std::filesystem;
namespace support = tamblure::test;

constexpr int kAPP0 = 0xE0, kAPP1 = 0xE1, kAPP2 = 0xE2, kAPP13 = 0xED, kCOM = 0xFE, kDQT = 0xDB;

Bytes text(int marker, const std::string& s)
{
    return segment(marker, Bytes(s.begin(), s.end()));
}

Bytes payloadOf(const Bytes& seg)
{
    return Bytes(seg.begin() + 4, seg.end());
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

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

class CopyStep : public ::testing::Test {
protected:
    fs::path photo() const { return dir_ / "IMG_0042.jpg"; }
    fs::path thumb() const { return dir_ / "thumb.jpg"; }

    // A real JPEG thumbnail made by libjpeg, as the encoder would write it.
    Bytes writeThumbnail(int width, int height)
    {
        support::JpegSpec spec;
        spec.width = width;
        spec.height = height;
        const Bytes bytes = support::makeJpeg(spec);
        support::writeFile(thumb(), bytes);
        return bytes;
    }

    support::TempDir dir_;
};

TEST_F(CopyStep, RebuildsTheThumbnailWithThePhotographsExifIptcAndComment)
{
    for (const bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian ? "MM" : "II");
        const ExifSample exif = exifSample(bigEndian, 3000, 2000, 6);
        const Bytes iptc = text(kAPP13, "Photoshop 3.0\0IPTC"), com = text(kCOM, "Vacances");
        support::writeFile(photo(), jpegFile({text(kAPP0, "JFIF photo"), exif.app1, iptc, com}));
        const Bytes thumbnail = writeThumbnail(40, 27);
        const std::ptrdiff_t dqt = support::findMarker(thumbnail, kDQT);
        ASSERT_GT(dqt, 2);
        const Bytes photoBefore = support::readFile(photo());

        const ExifTransfer result = TransfereExif(photo(), thumb());

        Bytes expectedExif = exif.app1;
        putShort(expectedExif, exif.widthAt, 40, bigEndian);
        putShort(expectedExif, exif.heightAt, 27, bigEndian);
        EXPECT_EQ(support::readFile(thumb()), concat({kSoi, expectedExif, iptc, com, tail(thumbnail, dqt)}));
        EXPECT_EQ(result.orientation, 6);
        EXPECT_EQ(support::readFile(photo()), photoBefore);
    }
}

TEST_F(CopyStep, ReturnsTheOrientationOfEachPhotograph)
{
    writeThumbnail(8, 8);
    for (std::uint16_t orientation = 1; orientation <= 8; ++orientation) {
        support::writeFile(photo(), jpegFile({exifSample(true, 8, 8, orientation).app1}));
        EXPECT_EQ(TransfereExif(photo(), thumb()).orientation, orientation);
    }
}

struct UntouchedCase {
    const char* name;
    Bytes photo; // empty: no photograph at all
};

class CopyStepLeavesTheThumbnail : public ::testing::TestWithParam<UntouchedCase> {};

TEST_P(CopyStepLeavesTheThumbnail, ByteForByteWhenThePhotographHasNoExif)
{
    support::TempDir dir;
    const fs::path photo = dir / "p.jpg", thumb = dir / "t.jpg";
    if (!GetParam().photo.empty())
        support::writeFile(photo, GetParam().photo);
    support::JpegSpec spec;
    spec.width = 12;
    spec.height = 9;
    const Bytes thumbnail = support::makeJpeg(spec);
    support::writeFile(thumb, thumbnail);
    EXPECT_EQ(TransfereExif(photo, thumb).orientation, 0);
    EXPECT_EQ(support::readFile(thumb), thumbnail);
}

INSTANTIATE_TEST_SUITE_P(
    Photographs, CopyStepLeavesTheThumbnail,
    ::testing::Values(UntouchedCase{"CommentAndIptcOnly", jpegFile({text(kCOM, "c"), text(kAPP13, "i")})},
                      UntouchedCase{"Missing", {}}, UntouchedCase{"NotAJpeg", Bytes{'G', 'I', 'F', '8', '9', 'a'}},
                      UntouchedCase{"ExifOnlyAfterTheFifthSegment",
                                    jpegFile({text(kAPP2, "1"), text(kAPP2, "2"), text(kAPP2, "3"), text(kAPP2, "4"),
                                              exifSample(false, 9, 9).app1})}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(CopyStep, ForAPhotographCopiedUnchangedCarriesItsIptcBlockTwice)
{
    // SOI, APP1 (EXIF saying the frame's own size), APP2, APP13, then the
    // image: copied as it is, the photograph is its own thumbnail.
    const ExifSample exif = exifSample(false, 24, 16);
    const Bytes app2 = text(kAPP2, "ICC_PROFILE"), iptc = text(kAPP13, "Photoshop 3.0");
    support::JpegSpec spec;
    spec.width = 24;
    spec.height = 16;
    spec.jfifHeader = false;
    spec.segments = {{kAPP1, payloadOf(exif.app1)}, {kAPP2, payloadOf(app2)}, {kAPP13, payloadOf(iptc)}};
    const Bytes photograph = support::makeJpeg(spec);
    support::writeFile(photo(), photograph);
    support::writeFile(thumb(), photograph);

    TransfereExif(photo(), thumb());

    const std::ptrdiff_t afterApp1 = 2 + static_cast<std::ptrdiff_t>(exif.app1.size());
    EXPECT_EQ(support::readFile(thumb()), concat({kSoi, exif.app1, iptc, tail(photograph, afterApp1)}));
}

TEST_F(CopyStep, CarriesAnXmpPacketInTheExifPlaceWithoutRewritingIt)
{
    const Bytes xmp = text(kAPP1, std::string("http://ns.adobe.com/xap/1.0/") + '\0' + "<x:xmpmeta/>");
    support::writeFile(photo(), jpegFile({xmp, exifSample(false, 3000, 2000).app1}));
    const Bytes thumbnail = writeThumbnail(16, 16);
    TransfereExif(photo(), thumb());
    EXPECT_EQ(support::readFile(thumb()), concat({kSoi, xmp, tail(thumbnail, support::findMarker(thumbnail, kDQT))}));
}

TEST_F(CopyStep, RaisesTheLoadErrorOfAMissingThumbnail)
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

TEST_F(CopyStep, RaisesAJpegErrorForAThumbnailThatIsNotOneAndLeavesIt)
{
    support::writeFile(photo(), jpegFile({exifSample(false, 10, 10).app1}));
    const Bytes junk = {0xFF, 0xD8, 0xFF, 0x01, 0x02, 0x03};
    support::writeFile(thumb(), junk);
    EXPECT_THROW(TransfereExif(photo(), thumb()), EJPEG);
    EXPECT_EQ(support::readFile(thumb()), junk);
}

TEST_F(CopyStep, ReplacesALinkAtTheThumbnailsNameInsteadOfWritingThroughIt)
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

class RewriteThumbnail : public CopyStep {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(data_.ScanSegments(jpegFile({exifSample(false, 300, 200).app1})));
        support::JpegSpec spec;
        spec.width = 30;
        spec.height = 20;
        image_.loadFromBytes(support::makeJpeg(spec));
    }

    TimgData data_;
    jpeg::TJPEGImage image_;
};

TEST_F(RewriteThumbnail, RaisesACreateErrorWhenTheFolderIsMissing)
{
    const fs::path target = dir_ / "missing" / "t.jpg";
    try {
        data_.RewriteThumbnail(image_.bytes(), image_.width(), image_.height(), target, true);
        FAIL() << "no error";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.message(),
                  "Impossible de créer le fichier " + target.string() + " : fichier ou dossier inexistant");
    }
}

TEST_F(RewriteThumbnail, RaisesAWriteErrorWhenTheResultCannotTakeTheNameAndLeavesNothingBehind)
{
    // A folder that is not empty cannot be replaced by a file.
    const fs::path target = dir_ / "t.jpg";
    fs::create_directory(target);
    support::writeFile(target / "inside", std::string("x"));
    try {
        data_.RewriteThumbnail(image_.bytes(), image_.width(), image_.height(), target, true);
        FAIL() << "no error";
    } catch (const EWriteError& e) {
        EXPECT_EQ(e.message(), "Impossible d'écrire le fichier " + target.string() + " : est un dossier");
    }
    EXPECT_TRUE(fs::is_directory(target));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 1);
}

} // namespace
} // namespace tamblure::metadata
