// The colour profile and the policies on the step's route: what an encoded
// thumbnail and a copied photograph carry, byte for byte.

#include "metadata/exif.h"
#include "metadata/exif_edit.h"

#include "exif_fixtures.h"
#include "support/jpeg_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace tamblure::metadata {
namespace {
using namespace test;
namespace support = tamblure::test;

constexpr int kAPP0 = 0xE0, kAPP2 = 0xE2, kAPP13 = 0xED, kCOM = 0xFE, kDQT = 0xDB;
const Bytes kSoi = {0xFF, 0xD8};

Bytes from(const Bytes& bytes, std::ptrdiff_t at)
{
    return Bytes(bytes.begin() + at, bytes.end());
}

// An EXIF segment whose size already says width × height (so that nothing is
// rewritten), with an orientation and, when asked, a GPS directory.
Bytes exifApp1(std::uint16_t width, std::uint16_t height, std::uint16_t orientation, bool gps = false)
{
    ExifWriter w(false);
    std::vector<ExifWriter::Entry> entries = {w.shortEntry(0x0112, orientation), w.longEntry(0x8769, 0)};
    if (gps)
        entries.push_back(w.longEntry(0x8825, 0));
    const std::uint32_t ifd0 = w.directory(entries);
    w.setU32(ifd0 + 2 + 12 + 8, w.directory({w.shortEntry(0xA002, width), w.shortEntry(0xA003, height)}));
    if (gps)
        w.setU32(ifd0 + 2 + 24 + 8, w.directory({w.entry(0x0005, kByte, 1, 0)}));
    return w.app1();
}

Bytes encoder(int width = 40, int height = 30)
{
    return support::makeJpeg(support::sized(width, height));
}

std::ptrdiff_t dataOf(const Bytes& thumbnail)
{
    return support::findMarker(thumbnail, kDQT);
}

std::ptrdiff_t afterJfif(const Bytes& thumbnail)
{
    return 4 + thumbnail[4] * 256 + thumbnail[5];
}

Bytes encodedWith(const Bytes& photograph, const Bytes& thumbnail, MetadataPolicy policy = MetadataPolicy::Everything)
{
    CarriedMetadata metadata(photograph, "p.jpg", policy);
    return metadata.encoded(thumbnail, 40, 30).bytes(thumbnail);
}

Bytes copiedWith(const Bytes& photograph, int width, int height, MetadataPolicy policy = MetadataPolicy::Everything)
{
    CarriedMetadata metadata(photograph, "p.jpg", policy);
    return metadata.copied(photograph, width, height).bytes(photograph);
}

std::size_t profilesIn(const Bytes& file)
{
    static const std::string kSignature("ICC_PROFILE\0\1", 13);
    std::size_t n = 0;
    for (auto at = file.begin(); (at = std::search(at, file.end(), kSignature.begin(), kSignature.end())) != file.end();
         ++at)
        ++n;
    return n;
}

const std::vector<Bytes> kRgb = iccSegments(iccProfile("RGB ", 900), 400);

// Each policy's EXIF segment first, then the profile, then (but for
// OrientationOnly) the IPTC block and the comment, then the encoder's data.
struct ExifCase {
    const char* name;
    Bytes exif; // the photograph's
    MetadataPolicy policy;
    Bytes carried; // the EXIF segment the thumbnail gets
    bool companions;
};

class CarriedProfileOnAThumbnailWithExif : public ::testing::TestWithParam<ExifCase> {};

TEST_P(CarriedProfileOnAThumbnailWithExif, FollowsItsExifSegment)
{
    const ExifCase& c = GetParam();
    const Bytes iptc = text(kAPP13, "Photoshop 3.0"), com = text(kCOM, "c");
    const Bytes photograph = jpegFile({c.exif, kRgb[0], kRgb[1], kRgb[2], iptc, com});
    const Bytes thumbnail = encoder();
    EXPECT_EQ(encodedWith(photograph, thumbnail, c.policy),
              concat({kSoi, c.carried, concat(kRgb), c.companions ? concat({iptc, com}) : Bytes{},
                      from(thumbnail, dataOf(thumbnail))}));
}

const Bytes kExifWithGps = exifApp1(40, 30, 6, true);

INSTANTIATE_TEST_SUITE_P(
    Policies, CarriedProfileOnAThumbnailWithExif,
    ::testing::Values(
        ExifCase{"Everything", exifApp1(40, 30, 1), MetadataPolicy::Everything, exifApp1(40, 30, 1), true},
        ExifCase{"WithoutGps", kExifWithGps, MetadataPolicy::WithoutGps,
                 [] {
                     // Nothing at all when the fixture had no GPS to drop.
                     const GpsFreeSegment edited = withoutGps(rawOf(kExifWithGps));
                     return edited.how == GpsRemoval::Dropped ? concat({{0xFF, 0xE1}, edited.raw}) : Bytes{};
                 }(),
                 true},
        ExifCase{"OrientationOnly", kExifWithGps, MetadataPolicy::OrientationOnly,
                 concat({{0xFF, 0xE1}, orientationOnly(6, ByteOrder::LittleEndian)}), false}),
    [](const auto& row) { return std::string(row.param.name); });

struct ProfileCase {
    const char* name;
    Bytes photograph;
    bool carried;
};

class CarriedProfileOnAnEncodedThumbnail : public ::testing::TestWithParam<ProfileCase> {};

TEST_P(CarriedProfileOnAnEncodedThumbnail, OnlyWhenItIsAWholeRgbProfile)
{
    const Bytes thumbnail = encoder();
    const Bytes result = encodedWith(GetParam().photograph, thumbnail);
    EXPECT_EQ(profilesIn(result), GetParam().carried ? 1u : 0u);
    if (!GetParam().carried) {
        EXPECT_EQ(result, thumbnail);
    }
}

// The profile after n filler segments and what comes first.
Bytes afterFillers(std::vector<Bytes> segments, int n)
{
    for (int i = 0; i < n; ++i)
        segments.push_back(text(0xE5, "filler" + std::to_string(i)));
    segments.insert(segments.end(), kRgb.begin(), kRgb.end());
    return jpegFile(segments);
}

INSTANTIATE_TEST_SUITE_P(
    Photographs, CarriedProfileOnAnEncodedThumbnail,
    ::testing::Values(ProfileCase{"Rgb", jpegFile({kRgb[0], kRgb[1], kRgb[2]}), true},
                      ProfileCase{"Grey", jpegFile({iccSegments(iccProfile("GRAY")).front()}), false},
                      ProfileCase{"Cmyk", jpegFile({iccSegments(iccProfile("CMYK")).front()}), false},
                      ProfileCase{"ChunkMissing", jpegFile({kRgb[0], kRgb[2]}), false},
                      // Past where the table of segments stops looking.
                      ProfileCase{"AfterTheFifthSegment", afterFillers({}, 5), true},
                      ProfileCase{"AfterTheTwentiethSegment", afterFillers({text(kCOM, "c")}, 25), true}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(CarriedProfile, StaysWhereItIsInACopiedPhotographAndIsNotWrittenTwice)
{
    // SOI, APP1 (EXIF), APP2 (the profile), then the image: the copy begins
    // with the carried EXIF and keeps the photograph's own profile.
    const Bytes exif = exifApp1(24, 16, 1);
    support::JpegSpec spec = support::sized(24, 16);
    spec.jfifHeader = false;
    spec.segments = {
        {0xE1, payloadOf(exif)}, {kAPP2, payloadOf(kRgb[0])}, {kAPP2, payloadOf(kRgb[1])}, {kAPP2, payloadOf(kRgb[2])}};
    const Bytes photograph = support::makeJpeg(spec);
    const Bytes copy = copiedWith(photograph, 24, 16);
    EXPECT_EQ(copy, photograph);
    EXPECT_EQ(profilesIn(copy), 1u);
    for (const MetadataPolicy policy : {MetadataPolicy::WithoutGps, MetadataPolicy::OrientationOnly})
        EXPECT_EQ(profilesIn(copiedWith(photograph, 24, 16, policy)), 1u);
}

struct PolicyCase {
    const char* name;
    Bytes photograph;
    MetadataPolicy policy;
    Bytes carriedAfterTheHeader; // what follows the encoder's own JFIF header
};

class PoliciesLeaveTheEncodersHeader : public ::testing::TestWithParam<PolicyCase> {};

TEST_P(PoliciesLeaveTheEncodersHeader, WhenNoExifSegmentGoes)
{
    const Bytes thumbnail = encoder();
    const std::ptrdiff_t header = afterJfif(thumbnail);
    EXPECT_EQ(encodedWith(GetParam().photograph, thumbnail, GetParam().policy),
              concat({Bytes(thumbnail.begin(), thumbnail.begin() + header), GetParam().carriedAfterTheHeader,
                      from(thumbnail, header)}));
}

const Bytes kXmpWithGps = text(0xE1, std::string("http://ns.adobe.com/xap/1.0/\0<exif:GPSLatitude>", 46));

INSTANTIATE_TEST_SUITE_P(
    Photographs, PoliciesLeaveTheEncodersHeader,
    ::testing::Values(PolicyCase{"NoExif", jpegFile({text(kAPP0, "JFIF"), kRgb[0], kRgb[1], kRgb[2], text(kCOM, "c")}),
                                 MetadataPolicy::Everything, concat(kRgb)},
                      PolicyCase{"UprightPhotograph",
                                 jpegFile({exifApp1(40, 30, 1), text(kAPP13, "i"), text(kCOM, "c")}),
                                 MetadataPolicy::OrientationOnly,
                                 {}},
                      PolicyCase{"OrientationUnknown",
                                 jpegFile({text(0xE1, std::string("Exif\0\0II", 8))}),
                                 MetadataPolicy::OrientationOnly,
                                 {}},
                      PolicyCase{"UprightWithAProfile", jpegFile({exifApp1(40, 30, 1), kRgb[0], kRgb[1], kRgb[2]}),
                                 MetadataPolicy::OrientationOnly, concat(kRgb)},
                      PolicyCase{"XmpWithAPositionInTheExifPlace", jpegFile({kXmpWithGps, text(kCOM, "c")}),
                                 MetadataPolicy::WithoutGps, text(kCOM, "c")},
                      PolicyCase{
                          "UnreadableExif",
                          jpegFile({text(0xE1, std::string("Exif\0\0II\x2A\0\xFF\xFF\0\0", 14)), text(kCOM, "c")}),
                          MetadataPolicy::WithoutGps, text(kCOM, "c")}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(Policies, ACopiedPhotographLosesTheSameAsAnEncodedThumbnail)
{
    const Bytes exif = exifApp1(24, 16, 6, true), com = text(kCOM, "c");
    const GpsFreeSegment edited = withoutGps(rawOf(exif));
    support::JpegSpec spec = support::sized(24, 16);
    spec.jfifHeader = false;
    spec.segments = {{0xE1, payloadOf(exif)}, {kCOM, payloadOf(com)}};
    const Bytes photograph = support::makeJpeg(spec);
    const std::ptrdiff_t image = 2 + static_cast<std::ptrdiff_t>(exif.size() + com.size());
    EXPECT_EQ(copiedWith(photograph, 24, 16, MetadataPolicy::WithoutGps),
              concat({kSoi, {0xFF, 0xE1}, edited.raw, com, from(photograph, image)}));
    EXPECT_EQ(copiedWith(photograph, 24, 16, MetadataPolicy::OrientationOnly),
              concat({kSoi, {0xFF, 0xE1}, orientationOnly(6, ByteOrder::LittleEndian), from(photograph, image)}));
}

} // namespace
} // namespace tamblure::metadata
