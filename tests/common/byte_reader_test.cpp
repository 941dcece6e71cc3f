#include "common/byte_reader.h"

#include <gtest/gtest.h>

#include <span>
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

// Random access right at the end: the last whole value reads, one byte
// further fails and leaves the output alone. The reader covers the middle of
// a larger buffer, so that a read past its end finds a byte (0xEE) rather
// than a crash, and the check is the reader's own.
TEST(ByteReader, RandomAccessReadsUpToTheLastByteAndNoFurther)
{
    const std::vector<std::uint8_t> buffer{0xEE, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xEE, 0xEE, 0xEE, 0xEE};
    const std::span<const std::uint8_t> all(buffer);
    const ByteReader r(all.subspan(1, 5));
    std::uint8_t v8 = 0;
    EXPECT_TRUE(r.u8At(4, v8));
    EXPECT_EQ(v8, 0x9A);
    EXPECT_FALSE(r.u8At(5, v8));
    EXPECT_FALSE(r.u8At(6, v8));
    EXPECT_EQ(v8, 0x9A);
    std::uint16_t v16 = 0;
    EXPECT_TRUE(r.u16At(3, v16));
    EXPECT_EQ(v16, 0x789A);
    EXPECT_FALSE(r.u16At(4, v16));
    EXPECT_FALSE(r.u16At(5, v16));
    EXPECT_EQ(v16, 0x789A);
    std::uint32_t v32 = 0;
    EXPECT_TRUE(r.u32At(1, v32));
    EXPECT_EQ(v32, 0x3456789Au);
    EXPECT_FALSE(r.u32At(2, v32));
    EXPECT_FALSE(r.u32At(5, v32));
    EXPECT_EQ(v32, 0x3456789Au);
    const ByteReader empty(all.subspan(0, 0));
    EXPECT_FALSE(empty.u8At(0, v8));
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
