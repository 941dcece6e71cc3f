#include "common/byte_reader.h"

#include <gtest/gtest.h>

#include <vector>

namespace tamblure {
namespace {

const std::vector<std::uint8_t> kBytes{0x12, 0x34, 0x56, 0x78, 0x9A};

TEST(ByteReader, ReadsBothByteOrders)
{
    ByteReader big(kBytes);
    std::uint32_t v32 = 0;
    ASSERT_TRUE(big.readU32(v32));
    EXPECT_EQ(v32, 0x12345678u);
    ByteReader little(kBytes, ByteOrder::LittleEndian);
    std::uint16_t v16 = 0;
    ASSERT_TRUE(little.readU16(v16));
    EXPECT_EQ(v16, 0x3412);
    ASSERT_TRUE(little.u32At(1, v32));
    EXPECT_EQ(v32, 0x9A785634u);
}

TEST(ByteReader, AFailedReadLeavesThePositionAndOutputAlone)
{
    ByteReader r(kBytes);
    ASSERT_TRUE(r.skip(3));
    std::uint32_t v = 7;
    EXPECT_FALSE(r.readU32(v));
    EXPECT_EQ(v, 7u);
    EXPECT_EQ(r.position(), 3u);
    EXPECT_EQ(r.remaining(), 2u);
    EXPECT_FALSE(r.skip(3));
    EXPECT_FALSE(r.readBytes(3).has_value());
    EXPECT_TRUE(r.readBytes(2).has_value());
    EXPECT_TRUE(r.atEnd());
    std::uint8_t b = 0;
    EXPECT_FALSE(r.readU8(b));
}

TEST(ByteReader, RangesThatWrapAroundAreRefused)
{
    ByteReader r(kBytes);
    EXPECT_FALSE(r.fits(SIZE_MAX, 2));
    EXPECT_FALSE(r.fits(2, SIZE_MAX - 1));
    EXPECT_FALSE(r.sub(4, 2).has_value());
    EXPECT_TRUE(r.fits(5, 0));
    std::uint16_t v = 0;
    EXPECT_FALSE(r.u16At(SIZE_MAX, v));
    EXPECT_FALSE(r.seek(6));
    EXPECT_TRUE(r.seek(5));
}

TEST(ByteReader, SubReaderSeesOnlyItsRangeInTheSameOrder)
{
    ByteReader r(kBytes, ByteOrder::LittleEndian);
    auto sub = r.sub(1, 3);
    ASSERT_TRUE(sub.has_value());
    std::uint16_t v = 0;
    ASSERT_TRUE(sub->u16At(0, v));
    EXPECT_EQ(v, 0x5634);
    EXPECT_FALSE(sub->u16At(2, v));
}

} // namespace
} // namespace tamblure
