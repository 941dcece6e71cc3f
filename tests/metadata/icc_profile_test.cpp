#include "metadata/icc_profile.h"

#include "exif_fixtures.h"

#include <gtest/gtest.h>

#include <string>

namespace tamblure::metadata {
namespace {
using namespace test;

Bytes rawOf(const Bytes& segment)
{
    return Bytes(segment.begin() + 2, segment.end());
}

Bytes withSize(Bytes profile, std::uint32_t size)
{
    for (int i = 0; i < 4; ++i)
        profile[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(size >> (8 * (3 - i)));
    return profile;
}

Bytes part(const Bytes& profile, std::size_t from, std::size_t to)
{
    return Bytes(profile.begin() + static_cast<std::ptrdiff_t>(from),
                 profile.begin() + static_cast<std::ptrdiff_t>(to));
}

const Bytes kRgb = iccProfile("RGB ", 600);

struct ChunksCase {
    const char* name;
    std::vector<Bytes> segments;
    bool whole;
    ProfileSpace space;
};

class IccChunksTaken : public ::testing::TestWithParam<ChunksCase> {};

TEST_P(IccChunksTaken, MakeOneWholeProfileOrNone)
{
    IccChunks chunks;
    for (const Bytes& s : GetParam().segments)
        chunks.take(rawOf(s));
    EXPECT_EQ(chunks.whole(), GetParam().whole);
    EXPECT_EQ(chunks.space(), GetParam().space);
    EXPECT_EQ(chunks.segments().empty(), !GetParam().whole);
}

INSTANTIATE_TEST_SUITE_P(
    Chunks, IccChunksTaken,
    ::
        testing::
            Values(
                ChunksCase{"OneChunk", iccSegments(kRgb), true, ProfileSpace::Rgb},
                ChunksCase{"ThreeChunks", iccSegments(kRgb, 250), true, ProfileSpace::Rgb},
                ChunksCase{"ThreeChunksOutOfOrder",
                           {iccSegment(3, 3, part(kRgb, 500, 600)), iccSegment(1, 3, part(kRgb, 0, 250)),
                            iccSegment(2, 3, part(kRgb, 250, 500))},
                           true,
                           ProfileSpace::Rgb},
                ChunksCase{"Grey", iccSegments(iccProfile("GRAY")), true, ProfileSpace::Grey},
                ChunksCase{"Cmyk", iccSegments(iccProfile("CMYK")), true, ProfileSpace::Cmyk},
                ChunksCase{"Lab", iccSegments(iccProfile("Lab ")), true, ProfileSpace::Other},
                ChunksCase{"OtherApp2Passed",
                           {segment(0xE2, {'F', 'P', 'X', 'R', 0}), iccSegments(kRgb).front()},
                           true,
                           ProfileSpace::Rgb},
                ChunksCase{"PaddingAfterTheProfile", iccSegments(withSize(kRgb, 590)), true, ProfileSpace::Rgb},
                ChunksCase{"None", {}, false, ProfileSpace::Other},
                ChunksCase{"ChunkMissing",
                           {iccSegment(1, 3, part(kRgb, 0, 250)), iccSegment(3, 3, part(kRgb, 500, 600))},
                           false,
                           ProfileSpace::Other},
                ChunksCase{
                    "NumberTwice",
                    {iccSegment(1, 2, part(kRgb, 0, 300)), iccSegment(1, 2, part(kRgb, 0, 300)),
                     iccSegment(2, 2, part(kRgb, 300, 600))},
                    false,
                    ProfileSpace::Other},
                ChunksCase{"CountsDisagree",
                           {iccSegment(1, 2, part(kRgb, 0, 300)), iccSegment(2, 3, part(kRgb, 300, 600))},
                           false,
                           ProfileSpace::Other},
                ChunksCase{"NumberZero", {iccSegment(0, 1, kRgb)}, false, ProfileSpace::Other},
                ChunksCase{"NumberAboveCount", {iccSegment(2, 1, kRgb)}, false, ProfileSpace::Other},
                ChunksCase{"SizeAboveTheChunks", iccSegments(withSize(kRgb, 601)), false, ProfileSpace::Other},
                ChunksCase{"SizeBelowAHeader", iccSegments(withSize(kRgb, 127)), false, ProfileSpace::Other},
                ChunksCase{"ShorterThanAHeader", iccSegments(iccProfile("RGB ", 128)), true, ProfileSpace::Rgb},
                ChunksCase{
                    "NoSignature",
                    [] {
                        Bytes p = kRgb;
                        p[36] = 'x';
                        return iccSegments(p);
                    }(),
                    false, ProfileSpace::Other},
                ChunksCase{"SignatureCutShort", {iccSegment(1, 1, part(kRgb, 0, 100))}, false, ProfileSpace::Other}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(IccChunks, GivesTheSegmentsByteForByteInTheOrderOfTheirNumbers)
{
    const std::vector<Bytes> inOrder = iccSegments(kRgb, 250);
    IccChunks chunks;
    for (const std::size_t i : {1u, 2u, 0u})
        chunks.take(rawOf(inOrder[i]));
    Bytes expected;
    for (const Bytes& s : inOrder)
        expected.insert(expected.end(), s.begin(), s.end());
    EXPECT_EQ(chunks.segments(), expected);
    chunks.clear();
    EXPECT_FALSE(chunks.whole());
}

TEST(IccChunks, RecognisesAChunkByItsSignatureAlone)
{
    EXPECT_TRUE(IccChunks::isChunk(rawOf(iccSegments(kRgb).front())));
    EXPECT_FALSE(IccChunks::isChunk(rawOf(segment(0xE2, {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0}))));
    EXPECT_FALSE(IccChunks::isChunk(rawOf(segment(0xE2, {'M', 'P', 'F', 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}))));
}

} // namespace
} // namespace tamblure::metadata
