#include "metadata/icc_profile.h"

#include "exif_fixtures.h"

#include <gtest/gtest.h>

#include <string>

namespace tamblure::metadata {
namespace {
using namespace test;

Bytes withSize(Bytes profile, std::uint32_t size)
{
    for (int i = 0; i < 4; ++i)
        profile[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(size >> (8 * (3 - i)));
    return profile;
}

// The profile with its "acsp" signature broken.
Bytes withoutSignature(Bytes profile)
{
    profile[36] = 'x';
    return profile;
}

Bytes part(const Bytes& profile, std::size_t from, std::size_t to)
{
    return Bytes(profile.begin() + static_cast<std::ptrdiff_t>(from),
                 profile.begin() + static_cast<std::ptrdiff_t>(to));
}

const Bytes kRgb = iccProfile("RGB ", 600);

// Bytes from to to of kRgb as chunk number of count.
Bytes chunk(std::uint8_t number, std::uint8_t count, std::size_t from, std::size_t to)
{
    return iccSegment(number, count, part(kRgb, from, to));
}

struct ChunksCase {
    const char* name;
    bool whole;
    ProfileSpace space;
    std::vector<Bytes> segments;
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
    ::testing::Values(
        ChunksCase{"OneChunk", true, ProfileSpace::Rgb, iccSegments(kRgb)},
        ChunksCase{"ThreeChunks", true, ProfileSpace::Rgb, iccSegments(kRgb, 250)},
        ChunksCase{"ThreeChunksOutOfOrder",
                   true,
                   ProfileSpace::Rgb,
                   {chunk(3, 3, 500, 600), chunk(1, 3, 0, 250), chunk(2, 3, 250, 500)}},
        ChunksCase{"Grey", true, ProfileSpace::Grey, iccSegments(iccProfile("GRAY"))},
        ChunksCase{"Cmyk", true, ProfileSpace::Cmyk, iccSegments(iccProfile("CMYK"))},
        ChunksCase{"Lab", true, ProfileSpace::Other, iccSegments(iccProfile("Lab "))},
        ChunksCase{"OtherApp2Passed",
                   true,
                   ProfileSpace::Rgb,
                   {segment(0xE2, {'F', 'P', 'X', 'R', 0}), iccSegments(kRgb).front()}},
        ChunksCase{"PaddingAfterTheProfile", true, ProfileSpace::Rgb, iccSegments(withSize(kRgb, 590))},
        ChunksCase{"None", false, ProfileSpace::Other, {}},
        ChunksCase{"ChunkMissing", false, ProfileSpace::Other, {chunk(1, 3, 0, 250), chunk(3, 3, 500, 600)}},
        ChunksCase{"NumberTwice",
                   false,
                   ProfileSpace::Other,
                   {chunk(1, 2, 0, 300), chunk(1, 2, 0, 300), chunk(2, 2, 300, 600)}},
        ChunksCase{"CountsDisagree", false, ProfileSpace::Other, {chunk(1, 2, 0, 300), chunk(2, 3, 300, 600)}},
        ChunksCase{"NumberZero", false, ProfileSpace::Other, {iccSegment(0, 1, kRgb)}},
        ChunksCase{"NumberAboveCount", false, ProfileSpace::Other, {iccSegment(2, 1, kRgb)}},
        ChunksCase{"SizeAboveTheChunks", false, ProfileSpace::Other, iccSegments(withSize(kRgb, 601))},
        ChunksCase{"SizeBelowAHeader", false, ProfileSpace::Other, iccSegments(withSize(kRgb, 127))},
        ChunksCase{"ShorterThanAHeader", true, ProfileSpace::Rgb, iccSegments(iccProfile("RGB ", 128))},
        ChunksCase{"NoSignature", false, ProfileSpace::Other, iccSegments(withoutSignature(kRgb))},
        ChunksCase{"SignatureCutShort", false, ProfileSpace::Other, {chunk(1, 1, 0, 100)}}),
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
