#include "imaging/bitmap24.h"

#include "common/errors.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tamblure::imaging {
namespace {

Bitmap24 make24(std::int32_t w, std::int32_t h)
{
    Bitmap24 b;
    b.setPixelFormat(PixelFormat::Bits24);
    b.setSize(w, h);
    return b;
}

class Stride : public testing::TestWithParam<std::pair<int, int>> {};

TEST_P(Stride, PadsEachRowToFourBytesAndRowsRunBottomUp)
{
    const auto [width, stride] = GetParam();
    Bitmap24 b = make24(width, 3);
    EXPECT_EQ(b.stride(), stride);
    EXPECT_EQ(b.pixelBytes(), static_cast<std::size_t>(3 * stride));
    EXPECT_EQ(b.scanLine(0), b.pixels() + 2 * stride);
    EXPECT_EQ(b.scanLine(1), b.pixels() + stride);
    EXPECT_EQ(b.scanLine(2), b.pixels());
}

INSTANTIATE_TEST_SUITE_P(Widths, Stride,
                         testing::Values(std::pair{1, 4}, std::pair{2, 8}, std::pair{3, 12}, std::pair{4, 12},
                                         std::pair{5, 16}, std::pair{100, 300}));

TEST(Bitmap24, EightBitRowsFollowTheSameRule)
{
    Bitmap24 b;
    b.setPixelFormat(PixelFormat::Bits8);
    b.setSize(5, 2);
    EXPECT_EQ(b.stride(), 8);
    EXPECT_EQ(Bitmap24::strideFor(3, 8), 4);
}

TEST(Bitmap24, RowAccessOutsideTheRasterFails)
{
    Bitmap24 b = make24(4, 3);
    for (int row : {-1, 3, 1000}) {
        try {
            (void)b.scanLine(row);
            FAIL() << "row " << row;
        } catch (const EInvalidGraphicOperation& e) {
            EXPECT_EQ(e.message(), "Indice ligne hors limites");
        }
    }
    Bitmap24 empty;
    EXPECT_THROW((void)empty.scanLine(0), EInvalidGraphicOperation);
    Bitmap24 noRows = make24(10, 0);
    EXPECT_THROW((void)noRows.scanLine(0), EInvalidGraphicOperation);
}

TEST(Bitmap24, NewBlocksAreZeroFilled)
{
    Bitmap24 b = make24(7, 5);
    std::fill_n(b.pixels(), b.pixelBytes(), 0xAB);
    b.setSize(9, 6);
    EXPECT_TRUE(std::all_of(b.pixels(), b.pixels() + b.pixelBytes(), [](std::uint8_t v) { return v == 0; }));
}

TEST(Bitmap24, PixelAccessorUsesBlueGreenRedBytesAndReadsWhiteOutside)
{
    Bitmap24 b = make24(3, 2);
    b.setPixel(1, 0, 0x00332211); // red 0x11, green 0x22, blue 0x33
    const std::uint8_t* row = b.scanLine(0);
    EXPECT_EQ(row[3], 0x33);
    EXPECT_EQ(row[4], 0x22);
    EXPECT_EQ(row[5], 0x11);
    EXPECT_EQ(b.pixel(1, 0), 0x00332211u);
    EXPECT_EQ(b.pixel(3, 0), 0xFFFFFFFFu);
    EXPECT_EQ(b.pixel(0, 2), 0xFFFFFFFFu);
    EXPECT_EQ(b.pixel(-1, 0), 0xFFFFFFFFu);
    b.setPixel(5, 5, 0); // outside: nothing happens
}

TEST(Bitmap24, EightBitAndDeviceFormatsReadAndWriteColours)
{
    Bitmap24 grey;
    grey.setPixelFormat(PixelFormat::Bits8);
    grey.setSize(2, 2);
    grey.setPixel(0, 0, 0x00808080);
    EXPECT_EQ(grey.scanLine(0)[0], 0x80);
    EXPECT_EQ(grey.pixel(0, 0), 0x00808080u);
    grey.setPixel(1, 1, 0x00000010); // nearest grey to (16, 0, 0)
    EXPECT_EQ(grey.scanLine(1)[1], 5);

    Bitmap24 device;
    device.setSize(2, 2);
    EXPECT_EQ(device.pixelFormat(), PixelFormat::None);
    device.setPixel(1, 1, 0x00123456);
    EXPECT_EQ(device.pixel(1, 1), 0x00123456u);
    EXPECT_EQ(device.pixel(2, 1), 0xFFFFFFFFu);
}

TEST(Bitmap24, RefusesABlockOverOneGibibyteBeforeAllocating)
{
    Bitmap24 b;
    b.setPixelFormat(PixelFormat::Bits24);
    EXPECT_THROW(b.setSize(65500, 65500), EOutOfMemory);
    EXPECT_EQ(b.width(), 0);
    EXPECT_EQ(b.pixels(), nullptr);
    // 1 GiB exactly is still allowed in principle; just below it is tested cheaply.
    EXPECT_NO_THROW(b.setSize(4096, 4096));
    EXPECT_THROW(b.setSize(-1, 4), EInvalidGraphicOperation);
}

} // namespace
} // namespace tamblure::imaging
