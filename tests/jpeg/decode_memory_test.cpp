// What the memory count reads from a file's headers, through the header
// probe. The count itself is held against the peaks of real runs
// (tests/cli/hostile_files_test.cpp).

#include "jpeg/decode_memory.h"
#include "jpeg/jpeg_util.h"

#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace tamblure::jpeg {
namespace {

using test::JpegSpec;

struct FrameCase {
    const char* name;
    JpegSpec spec;
    int components;
    int lumaSampling; // the first component's, both ways
    bool multiScan;
    std::uint64_t blocks;
};

JpegSpec layout(int components, int chromaSubsampling, bool progressive, bool arithmetic)
{
    JpegSpec spec = test::sized(40, 24, components);
    spec.chromaSubsampling = chromaSubsampling;
    spec.progressive = progressive;
    spec.arithmetic = arithmetic;
    return spec;
}

class FrameOfAFile : public testing::TestWithParam<FrameCase> {};

TEST_P(FrameOfAFile, IsWhatTheDecoderWillHold)
{
    const FrameCase& c = GetParam();
    const std::optional<JpegFrame> frame = ProbeJpegFrame(test::makeJpeg(c.spec));
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->width, 40);
    EXPECT_EQ(frame->height, 24);
    EXPECT_EQ(frame->components, c.components);
    EXPECT_EQ(frame->hSampling[0], c.lumaSampling);
    EXPECT_EQ(frame->vSampling[0], c.lumaSampling);
    EXPECT_EQ(frame->multiScan, c.multiScan);
    EXPECT_EQ(frame->blocks(), c.blocks);
}

// 40 × 24 pixels: 5 × 3 blocks at full resolution, 3 × 2 at half.
INSTANTIATE_TEST_SUITE_P(Layouts, FrameOfAFile,
                         testing::Values(FrameCase{"ColourHalvedChroma", layout(3, 2, false, false), 3, 2, false, 27},
                                         FrameCase{"ColourFullChromaProgressive", layout(3, 1, true, false), 3, 1, true,
                                                   45},
                                         FrameCase{"GreyArithmetic", layout(1, 2, false, true), 1, 1, false, 15},
                                         FrameCase{"CmykProgressive", layout(4, 2, true, false), 4, 1, true, 60}),
                         [](const testing::TestParamInfo<FrameCase>& row) { return std::string(row.param.name); });

} // namespace
} // namespace tamblure::jpeg
