#include "jpeg/JPEG_IO.h"

#include "common/errors.h"
#include "jpeg/IJL.h"
#include "jpeg/jpeg_util.h"
#include "pattern_check.h"
#include "support/hostile_jpeg.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <jerror.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <sys/stat.h>

namespace tamblure::jpeg {
namespace {

using imaging::Bitmap24;
using imaging::PixelFormat;
using test::JpegSpec;
using test::sized;
using test::TempDir;
using Bytes = std::vector<std::uint8_t>;

// --- Output sizes ---------------------------------------------------------

struct SizeCase {
    int width, height;
    std::uint8_t scaleCode;
    int expectedWidth, expectedHeight;
};

class DecodeJpegFileSize : public testing::TestWithParam<SizeCase> {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new TempDir;
        test::writeJpeg(*dir_ / "3001.jpg", sized(3001, 2001));
        test::writeJpeg(*dir_ / "3000.jpg", sized(3000, 2000));
    }
    static void TearDownTestSuite()
    {
        delete dir_;
        dir_ = nullptr;
    }
    static TempDir* dir_;
};

TempDir* DecodeJpegFileSize::dir_ = nullptr;

TEST_P(DecodeJpegFileSize, IsEachSideDividedByThePowerOfTwoRoundedUp)
{
    const SizeCase& c = GetParam();
    Bitmap24 raster;
    ASSERT_TRUE(DecodeJpegFile(&raster, *dir_ / (std::to_string(c.width) + ".jpg"), true, c.scaleCode));
    EXPECT_EQ(raster.pixelFormat(), PixelFormat::Bits24);
    EXPECT_EQ(raster.width(), c.expectedWidth);
    EXPECT_EQ(raster.height(), c.expectedHeight);
}

INSTANTIATE_TEST_SUITE_P(Scales, DecodeJpegFileSize,
                         testing::Values(SizeCase{3001, 2001, 0, 3001, 2001}, SizeCase{3001, 2001, 1, 1501, 1001},
                                         SizeCase{3001, 2001, 2, 751, 501}, SizeCase{3001, 2001, 3, 376, 251},
                                         SizeCase{3001, 2001, 7, 3001, 2001}, SizeCase{3000, 2000, 0, 3000, 2000},
                                         SizeCase{3000, 2000, 1, 1500, 1000}, SizeCase{3000, 2000, 2, 750, 500},
                                         SizeCase{3000, 2000, 3, 375, 250}, SizeCase{3000, 2000, 7, 3000, 2000}));

// --- Pixels upright, rows padded ----------------------------------------

struct PictureCase {
    const char* name;
    JpegSpec spec;
    std::uint8_t scaleCode;
    int expectedWidth;
};

// Full chroma, so that pictures a few pixels wide keep their colours.
JpegSpec fullChroma(JpegSpec spec)
{
    spec.chromaSubsampling = 1;
    return spec;
}

JpegSpec progressive(JpegSpec spec)
{
    spec.progressive = true;
    return spec;
}

JpegSpec arithmetic(JpegSpec spec)
{
    spec.arithmetic = true;
    return spec;
}

class DecodeJpegFilePicture : public testing::TestWithParam<PictureCase> {};

TEST_P(DecodeJpegFilePicture, IsUprightUnshearedAndKeepsThePadBytesClear)
{
    const PictureCase& c = GetParam();
    TempDir dir;
    test::writeJpeg(dir / "p.jpg", c.spec);
    Bitmap24 raster;
    ASSERT_TRUE(DecodeJpegFile(&raster, dir / "p.jpg", true, c.scaleCode));
    ASSERT_EQ(raster.width(), c.expectedWidth);
    EXPECT_EQ(raster.pixelFormat(), c.spec.components == 1 ? PixelFormat::Bits8 : PixelFormat::Bits24);
    // The pattern's sides differ by about 190 from one edge to the other, so
    // a flipped, mirrored or sheared picture misses by far more than this.
    EXPECT_LE(test::largestDeviation(raster, c.spec, 1 << (c.scaleCode > 3 ? 0 : c.scaleCode)), 28);
    EXPECT_TRUE(test::rowPaddingIsClear(raster));

    // The same bytes in memory, under the frame the probe reads, give the
    // same block and no warning.
    const auto bytes = test::readFile(dir / "p.jpg");
    const auto frame = ProbeJpegFrame(bytes);
    ASSERT_TRUE(frame);
    const DecodedPicture fromMemory = DecodeJpegScaled(bytes, *frame, c.scaleCode);
    EXPECT_EQ(fromMemory.raster.pixelFormat(), raster.pixelFormat());
    ASSERT_EQ(fromMemory.raster.pixelBytes(), raster.pixelBytes());
    EXPECT_TRUE(std::equal(raster.pixels(), raster.pixels() + raster.pixelBytes(), fromMemory.raster.pixels()));
    EXPECT_FALSE(fromMemory.warnings.any());
}

INSTANTIATE_TEST_SUITE_P(Layouts, DecodeJpegFilePicture,
                         testing::Values(PictureCase{"Width4FullSize", fullChroma(sized(4, 6)), 0, 4},
                                         PictureCase{"Width5FullSize", fullChroma(sized(5, 6)), 0, 5},
                                         PictureCase{"Width7FullSize", fullChroma(sized(7, 6)), 0, 7},
                                         PictureCase{"Width4AtOneEighth", sized(32, 48), 3, 4},
                                         PictureCase{"Width5AtOneEighth", sized(40, 48), 3, 5},
                                         PictureCase{"Width7AtOneEighth", sized(56, 48), 3, 7},
                                         PictureCase{"Width5AtOneHalf", sized(10, 14), 1, 5},
                                         PictureCase{"Width7AtOneQuarter", sized(27, 30), 2, 7},
                                         PictureCase{"ProgressiveAtOneQuarter", progressive(sized(60, 44)), 2, 15},
                                         PictureCase{"ArithmeticAtOneHalf", arithmetic(sized(60, 44)), 1, 30},
                                         PictureCase{"GreyWidth5", sized(5, 9, 1), 0, 5},
                                         PictureCase{"GreyWidth7AtOneEighth", sized(56, 40, 1), 3, 7}),
                         [](const testing::TestParamInfo<PictureCase>& row) { return std::string(row.param.name); });

TEST(DecodeJpegFile, KeepsTheRastersFormatWhenAskedTo)
{
    TempDir dir;
    const JpegSpec colour = sized(24, 16);
    const JpegSpec grey = sized(24, 16, 1);
    test::writeJpeg(dir / "colour.jpg", colour);
    test::writeJpeg(dir / "grey.jpg", grey);

    // A grey file into a 24-bit raster: grey in all three channels.
    Bitmap24 wide;
    wide.setPixelFormat(PixelFormat::Bits24);
    ASSERT_TRUE(DecodeJpegFile(&wide, dir / "grey.jpg", false, 0));
    EXPECT_EQ(wide.pixelFormat(), PixelFormat::Bits24);
    EXPECT_LE(test::largestDeviation(wide, grey), 12);

    // A colour file into an 8-bit raster: its luminance, one byte a pixel.
    Bitmap24 narrow;
    narrow.setPixelFormat(PixelFormat::Bits8);
    ASSERT_TRUE(DecodeJpegFile(&narrow, dir / "colour.jpg", false, 1));
    EXPECT_EQ(narrow.pixelFormat(), PixelFormat::Bits8);
    EXPECT_EQ(narrow.width(), 12);
    EXPECT_EQ(narrow.stride(), 12);
    const std::uint32_t topLeft = narrow.pixel(0, 0), bottomRight = narrow.pixel(11, 7);
    EXPECT_LT(topLeft & 0xFF, bottomRight & 0xFF);
}

// --- False results and what the raster holds after them -------------------

// A 3 × 2 24-bit raster with known contents, to see whether it was touched.
Bitmap24 markedRaster()
{
    Bitmap24 raster = imaging::makeRaster24(3, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            raster.setPixel(x, y, 0x102030u + static_cast<std::uint32_t>(x * 16 + y));
    return raster;
}

bool isMarkedRaster(const Bitmap24& raster)
{
    if (raster.pixelFormat() != PixelFormat::Bits24 || raster.width() != 3 || raster.height() != 2)
        return false;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            if (raster.pixel(x, y) != 0x102030u + static_cast<std::uint32_t>(x * 16 + y))
                return false;
    return true;
}

TEST(DecodeJpegFile, GivesFalseWithoutARaster)
{
    TempDir dir;
    test::writeJpeg(dir / "p.jpg", sized(8, 8));
    EXPECT_FALSE(DecodeJpegFile(nullptr, dir / "p.jpg", true, 0));
}

struct UntouchedCase {
    const char* name;
    void (*prepare)(const std::filesystem::path& path); // makes the file at path, or not
    bool setFormat;
    PixelFormat format;
};

class DecodeJpegFileFailure : public testing::TestWithParam<UntouchedCase> {};

TEST_P(DecodeJpegFileFailure, GivesFalseAndLeavesTheRasterUntouched)
{
    const UntouchedCase& c = GetParam();
    TempDir dir;
    const auto path = dir / "photo.jpg";
    c.prepare(path);
    Bitmap24 raster = markedRaster();
    if (c.format != PixelFormat::Bits24) {
        raster = Bitmap24();
        raster.setSize(3, 2);
    }
    EXPECT_FALSE(DecodeJpegFile(&raster, path, c.setFormat, 0));
    if (c.format == PixelFormat::Bits24) {
        EXPECT_TRUE(isMarkedRaster(raster));
    } else {
        EXPECT_EQ(raster.pixelFormat(), PixelFormat::None);
        EXPECT_EQ(raster.width(), 3);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Causes, DecodeJpegFileFailure,
    testing::Values(
        UntouchedCase{"WhenNoFileIsThere", [](const std::filesystem::path&) {}, true, PixelFormat::Bits24},
        UntouchedCase{"ForARasterWithoutFormatAndNoFormatToSet",
                      [](const std::filesystem::path& p) { test::writeJpeg(p, sized(8, 8)); }, false,
                      PixelFormat::None},
        UntouchedCase{"ForAFileThatIsNoJpeg",
                      [](const std::filesystem::path& p) { test::writeFile(p, std::string("not a picture")); }, true,
                      PixelFormat::Bits24},
        UntouchedCase{"ForAnEmptyFile", [](const std::filesystem::path& p) { test::writeFile(p, Bytes{}); }, true,
                      PixelFormat::Bits24},
        UntouchedCase{"ForAFourChannelFile", [](const std::filesystem::path& p) { test::writeJpeg(p, sized(8, 8, 4)); },
                      true, PixelFormat::Bits24},
        UntouchedCase{"ForAFolder", [](const std::filesystem::path& p) { std::filesystem::create_directory(p); }, true,
                      PixelFormat::Bits24},
        UntouchedCase{"ForAFifo", [](const std::filesystem::path& p) { ::mkfifo(p.c_str(), 0600); }, true,
                      PixelFormat::Bits24}),
    [](const testing::TestParamInfo<UntouchedCase>& row) { return std::string(row.param.name); });

// A progressive file whose second scan asks for coefficients past the 64th:
// the headers read fine, the picture does not.
Bytes badSecondScan()
{
    JpegSpec spec = sized(40, 24);
    spec.progressive = true;
    Bytes bytes = test::makeJpeg(spec);
    int scans = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA && ++scans == 2) {
            const std::size_t components = bytes[i + 4];
            bytes[i + 5 + 2 * components + 1] = 0xFF; // Se
            break;
        }
    }
    return bytes;
}

TEST(DecodeJpegFile, LeavesTheRasterResizedWhenThePictureReadFails)
{
    TempDir dir;
    test::writeFile(dir / "bad.jpg", badSecondScan());
    Bitmap24 raster = markedRaster();
    EXPECT_FALSE(DecodeJpegFile(&raster, dir / "bad.jpg", true, 1));
    EXPECT_EQ(raster.pixelFormat(), PixelFormat::Bits24);
    EXPECT_EQ(raster.width(), 20);
    EXPECT_EQ(raster.height(), 12);
}

// The headers of a small progressive file, its frame claiming 65500 × 65500.
Bytes hugeProgressive()
{
    test::FlatSpec spec;
    spec.progressive = true;
    return test::withDeclaredSize(test::makeFlatJpeg(spec), 65500, 65500);
}

TEST(DecodeJpegFile, RefusesAFileDeclaringFarMorePictureThanItsBytesPayForBeforeSizingTheRaster)
{
    TempDir dir;
    test::writeFile(dir / "huge.jpg", hugeProgressive());
    for (const std::uint8_t scale : {std::uint8_t{0}, std::uint8_t{3}}) {
        Bitmap24 raster = markedRaster();
        std::int32_t code = 0;
        EXPECT_FALSE(DecodeJpegFile(&raster, dir / "huge.jpg", true, scale, &code));
        EXPECT_EQ(code, JERR_IMAGE_TOO_BIG);
        EXPECT_TRUE(isMarkedRaster(raster));
    }
}

TEST(DecodeJpegFile, RefusesAProgressiveFileWhoseCoefficientsPassTheDecodersMemory)
{
    // 3.7 million blocks, which ten megabytes pay for, but whose
    // coefficients would take 475 MB.
    test::FlatSpec spec;
    spec.width = 16000;
    spec.height = 9900;
    spec.progressive = true;
    spec.encodedRows = 16;
    spec.fileBytes = 10 << 20;
    TempDir dir;
    test::writeFile(dir / "large.jpg", test::makeFlatJpeg(spec));
    Bitmap24 raster;
    std::int32_t code = 0;
    EXPECT_FALSE(DecodeJpegFile(&raster, dir / "large.jpg", true, 3, &code));
    EXPECT_EQ(code, JERR_NO_BACKING_STORE);
}

// A progressive file with the last scan repeated past a thousand scans:
// libjpeg would only warn about each repeat and go on for ever.
Bytes endlessScans()
{
    JpegSpec spec = sized(16, 16);
    spec.progressive = true;
    Bytes bytes = test::makeJpeg(spec);
    std::size_t lastScan = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA)
            lastScan = i;
    const Bytes scan(bytes.begin() + static_cast<std::ptrdiff_t>(lastScan), bytes.end() - 2);
    Bytes out(bytes.begin(), bytes.end() - 2);
    for (int i = 0; i < 1100; ++i)
        out.insert(out.end(), scan.begin(), scan.end());
    out.push_back(0xFF);
    out.push_back(0xD9);
    return out;
}

TEST(DecodeJpegFile, RefusesAFileOfMoreThanAThousandScans)
{
    TempDir dir;
    test::writeFile(dir / "scans.jpg", endlessScans());
    Bitmap24 raster;
    EXPECT_FALSE(DecodeJpegFile(&raster, dir / "scans.jpg", true, 0));
}

// --- The throwing decode the step uses ---------------------------------------

struct ScaledFailureCase {
    const char* name;
    Bytes (*make)();
    int code; // libjpeg's, in the message
};

class DecodeJpegScaledFailure : public testing::TestWithParam<ScaledFailureCase> {};

TEST_P(DecodeJpegScaledFailure, RaisesLibjpegsError)
{
    const Bytes bytes = GetParam().make();
    const auto frame = ProbeJpegFrame(bytes);
    ASSERT_TRUE(frame);
    try {
        DecodeJpegScaled(bytes, *frame, 1);
        FAIL() << "no error raised";
    } catch (const EJPEG& error) {
        EXPECT_EQ(error.message().rfind("Erreur JPEG #" + std::to_string(GetParam().code) + " : ", 0), 0u)
            << error.message();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, DecodeJpegScaledFailure,
    testing::Values(ScaledFailureCase{"ForABadSecondScan", badSecondScan, JERR_BAD_PROGRESSION},
                    ScaledFailureCase{"ForMoreThanAThousandScans", endlessScans, JERR_BAD_PROGRESSION},
                    ScaledFailureCase{"ForAFourChannelFile", [] { return test::makeJpeg(sized(8, 8, 4)); },
                                      JERR_CONVERSION_NOTIMPL},
                    // A lossless frame, which the probe passes over, ahead of
                    // the one it reads: libjpeg stops at the first.
                    ScaledFailureCase{"ForAFrameOfAnotherKindFirst",
                                      [] {
                                          Bytes bytes = test::makeJpeg(sized(16, 16));
                                          const auto sof = test::findMarker(bytes, 0xC0);
                                          Bytes lossless(bytes.begin() + sof, bytes.begin() + sof + 19);
                                          lossless[1] = 0xC3;
                                          bytes.insert(bytes.begin() + sof, lossless.begin(), lossless.end());
                                          return bytes;
                                      },
                                      JERR_SOF_UNSUPPORTED}),
    [](const testing::TestParamInfo<ScaledFailureCase>& row) { return std::string(row.param.name); });

TEST(DecodeJpegScaled, DecodesAFileCutShortAndSaysItsDataRanOut)
{
    const Bytes whole = test::makeJpeg(sized(64, 48));
    const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() * 2 / 3));
    const auto frame = ProbeJpegFrame(cut);
    ASSERT_TRUE(frame);
    const DecodedPicture picture = DecodeJpegScaled(cut, *frame, 3);
    EXPECT_EQ(picture.raster.width(), 8);
    EXPECT_EQ(picture.raster.height(), 6);
    EXPECT_TRUE(picture.warnings.dataRanOut);
    EXPECT_EQ(picture.warnings.corruptData, 0);
}

// --- The IJL layer's own checks ------------------------------------------

TEST(IjlRead, WritesNothingIntoABlockOfAnotherSizeThanThePicture)
{
    TempDir dir;
    const std::string path = (dir / "p.jpg").string();
    test::writeJpeg(path, sized(16, 16));
    std::vector<unsigned char> block(15 * 16 * 3 + 64, 0x5A);
    JPEG_CORE_PROPERTIES props{};
    ASSERT_EQ(ijlInit(&props), 0);
    props.JPGFile = path.c_str();
    ASSERT_EQ(ijlRead(&props, IJL_JFILE_READPARAMS), 0);
    EXPECT_EQ(props.JPGWidth, 16);
    EXPECT_EQ(props.JPGChannels, 3);
    EXPECT_EQ(props.JPGColor, IJL_YCBCR);
    props.DIBWidth = 15;
    props.DIBHeight = -16;
    props.DIBChannels = 3;
    props.DIBColor = IJL_BGR;
    props.DIBPadBytes = 3;
    props.DIBBytes = block.data();
    EXPECT_LT(ijlRead(&props, IJL_JFILE_READWHOLEIMAGE), 0);
    ijlFree(&props);
    EXPECT_EQ(std::count(block.begin(), block.end(), 0x5A), static_cast<std::ptrdiff_t>(block.size()));
}

TEST(IjlRead, ReadsThePictureWithoutAParameterReadAndTopDownWhenAsked)
{
    TempDir dir;
    const std::string path = (dir / "p.jpg").string();
    const JpegSpec spec = sized(16, 16);
    test::writeJpeg(path, spec);
    std::vector<unsigned char> block(16 * 16 * 3);
    JPEG_CORE_PROPERTIES props{};
    ASSERT_EQ(ijlInit(&props), 0);
    props.JPGFile = path.c_str();
    props.DIBWidth = 16;
    props.DIBHeight = 16; // positive: top row first
    props.DIBBytes = block.data();
    ASSERT_EQ(ijlRead(&props, IJL_JFILE_READWHOLEIMAGE), 0);
    ijlFree(&props);
    std::uint8_t expected[3];
    test::fixturePixel(spec, 0, 0, expected);
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(block[static_cast<std::size_t>(c)], expected[c], 32);
    test::fixturePixel(spec, 15, 15, expected);
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(block[block.size() - 3 + static_cast<std::size_t>(c)], expected[c], 32);
}

} // namespace
} // namespace tamblure::jpeg
