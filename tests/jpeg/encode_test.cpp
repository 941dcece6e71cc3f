#include "jpeg/JPEG_IO.h"

#include "common/errors.h"
#include "jpeg/jpeg_util.h"
#include "jpeg/quant_tables.h"
#include "pattern_check.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace tamblure::jpeg {
namespace {

using imaging::Bitmap24;
using imaging::PixelFormat;
using test::JpegSpec;
using test::TempDir;
namespace fs = std::filesystem;

JpegSpec sized(int width, int height)
{
    JpegSpec spec;
    spec.width = width;
    spec.height = height;
    return spec;
}

std::vector<fs::path> folderEntries(const fs::path& folder)
{
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(folder))
        entries.push_back(entry.path().filename());
    std::sort(entries.begin(), entries.end());
    return entries;
}

void expectWriteError(const Bitmap24& raster, const fs::path& path)
{
    try {
        EncodeJpegFile(raster, path, 75);
        FAIL() << "no error raised";
    } catch (const EWriteError& error) {
        EXPECT_EQ(error.message().rfind("Error writing JPEG to file " + path.string(), 0), 0u) << error.message();
    }
}

class EncodeJpegFileWidth : public testing::TestWithParam<int> {};

TEST_P(EncodeJpegFileWidth, WritesAPictureThatDecodesBackUpright)
{
    // The encoder halves the chroma, which costs a few pixels wide picture
    // up to about 35; a shifted row or a flipped picture misses by over 100.
    const JpegSpec spec = sized(GetParam(), 10);
    const Bitmap24 raster = test::patternRaster(spec);
    TempDir dir;
    ASSERT_TRUE(EncodeJpegFile(raster, dir / "t.jpg", 100));

    std::uint16_t width = 0, height = 0;
    bool three = false;
    ASSERT_TRUE(ProbeJpegHeader(dir / "t.jpg", width, height, three));
    EXPECT_EQ(width, GetParam());
    EXPECT_EQ(height, 10);
    EXPECT_TRUE(three);

    Bitmap24 back;
    ASSERT_TRUE(DecodeJpegFile(&back, dir / "t.jpg", true, 0));
    EXPECT_LE(test::largestDeviation(back, spec), 40);
}

INSTANTIATE_TEST_SUITE_P(PadBytes, EncodeJpegFileWidth, testing::Values(5, 6, 8));

TEST(EncodeJpegFile, LeavesTheRasterAsItWas)
{
    const JpegSpec spec = sized(9, 7);
    const Bitmap24 raster = test::patternRaster(spec);
    TempDir dir;
    EncodeJpegFile(raster, dir / "t.jpg", 75);
    EXPECT_EQ(test::largestDeviation(raster, spec), 0);
}

TEST(EncodeJpegFile, WritesAGreyRasterAsAThreeComponentFile)
{
    Bitmap24 grey;
    grey.setPixelFormat(PixelFormat::Bits8);
    grey.setSize(6, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            grey.scanLine(y)[x] = static_cast<std::uint8_t>(40 * x);
    TempDir dir;
    ASSERT_TRUE(EncodeJpegFile(grey, dir / "g.jpg", 95));
    std::uint16_t width = 0, height = 0;
    bool three = false;
    ASSERT_TRUE(ProbeJpegHeader(dir / "g.jpg", width, height, three));
    EXPECT_TRUE(three);
    Bitmap24 back;
    ASSERT_TRUE(DecodeJpegFile(&back, dir / "g.jpg", true, 0));
    for (int x = 0; x < 6; ++x) {
        const std::uint32_t colour = back.pixel(x, 2);
        EXPECT_NEAR(static_cast<int>(colour & 0xFF), 40 * x, 6) << "x = " << x;
        EXPECT_NEAR(static_cast<int>(colour >> 16 & 0xFF), 40 * x, 6) << "x = " << x;
    }
}

TEST(EncodeJpegFile, GivesEachQualityToTheEncoder)
{
    const Bitmap24 raster = test::patternRaster(sized(64, 64));
    TempDir dir;
    std::uintmax_t previous = 0;
    for (int quality : {1, 75, 100}) {
        const auto path = dir / ("q" + std::to_string(quality) + ".jpg");
        EncodeJpegFile(raster, path, quality);
        EXPECT_GT(fs::file_size(path), previous) << "quality " << quality;
        previous = fs::file_size(path);
    }
}

TEST(EncodeJpegFile, ReplacesAnExistingFile)
{
    TempDir dir;
    test::writeFile(dir / "t.jpg", std::string(100000, 'x'));
    EncodeJpegFile(test::patternRaster(sized(12, 8)), dir / "t.jpg", 75);
    std::uint16_t width = 0, height = 0;
    bool three = false;
    EXPECT_TRUE(ProbeJpegHeader(dir / "t.jpg", width, height, three));
    EXPECT_EQ(width, 12);
    EXPECT_LT(fs::file_size(dir / "t.jpg"), 100000u);
    EXPECT_EQ(folderEntries(dir.path()), std::vector<fs::path>{"t.jpg"});
}

TEST(EncodeJpegFile, FailsForAFolderThatDoesNotExistAndCreatesNothing)
{
    TempDir dir;
    expectWriteError(test::patternRaster(sized(8, 8)), dir / "missing" / "t.jpg");
    EXPECT_TRUE(folderEntries(dir.path()).empty());
}

TEST(EncodeJpegFile, FailsForARasterWithoutFormatOrPixels)
{
    TempDir dir;
    expectWriteError(Bitmap24(), dir / "t.jpg");
    Bitmap24 empty;
    empty.setPixelFormat(PixelFormat::Bits24);
    expectWriteError(empty, dir / "t.jpg");
    EXPECT_TRUE(folderEntries(dir.path()).empty());
}

TEST(EncodeJpegFile, KeepsTheOldFileAndNoTemporaryOneWhenTheEncoderRefusesThePicture)
{
    // Wider than a JPEG frame can be: libjpeg refuses it once the output
    // file is already open.
    TempDir dir;
    const std::string old = "old thumbnail";
    test::writeFile(dir / "t.jpg", old);
    Bitmap24 tooWide = imaging::makeRaster24(65501, 1);
    expectWriteError(tooWide, dir / "t.jpg");
    EXPECT_EQ(test::readFile(dir / "t.jpg"), std::vector<std::uint8_t>(old.begin(), old.end()));
    EXPECT_EQ(folderEntries(dir.path()), std::vector<fs::path>{"t.jpg"});
}

// The first value of quantisation table `table` in a file libjpeg wrote:
// one DQT segment a table, of 8-bit values.
std::size_t quantValues(const std::vector<std::uint8_t>& jpeg, int table)
{
    const std::ptrdiff_t first = test::findMarker(jpeg, 0xDB);
    if (first < 0)
        return 0;
    for (auto pos = static_cast<std::size_t>(first); jpeg.at(pos + 1) == 0xDB;
         pos += 2 + (std::size_t{jpeg.at(pos + 2)} << 8 | jpeg.at(pos + 3)))
        if ((jpeg.at(pos + 4) & 15) == table)
            return pos + 5;
    return 0;
}

struct TablesCase {
    const char* name;
    int components;
    int writtenAt, askedAt;
    int changedTable; // one of its values changed, or -1
    bool same;
};

class EncoderTables : public testing::TestWithParam<TablesCase> {};

TEST_P(EncoderTables, AreTheEncodersBothTablesAtTheQualityAskedFor)
{
    const TablesCase& c = GetParam();
    JpegSpec spec = sized(32, 32);
    spec.components = c.components;
    spec.quality = c.writtenAt;
    std::vector<std::uint8_t> bytes = test::makeJpeg(spec);
    if (c.changedTable >= 0) {
        const std::size_t at = quantValues(bytes, c.changedTable);
        ASSERT_NE(at, 0u);
        bytes[at + 10] ^= 1;
    }
    EXPECT_EQ(HasEncoderTables(bytes, c.askedAt), c.same);
}

INSTANTIATE_TEST_SUITE_P(Table, EncoderTables,
                         testing::Values(TablesCase{"Same", 3, 75, 75, -1, true},
                                         TablesCase{"OtherQuality", 3, 90, 75, -1, false},
                                         TablesCase{"LuminanceChanged", 3, 75, 75, 0, false},
                                         TablesCase{"ChrominanceChanged", 3, 75, 75, 1, false},
                                         TablesCase{"GreyWithoutChrominance", 1, 75, 75, -1, false}),
                         [](const testing::TestParamInfo<TablesCase>& row) { return std::string(row.param.name); });

} // namespace
} // namespace tamblure::jpeg
