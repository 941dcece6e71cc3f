// The decoders' bound on work: a file's bytes pay for its picture's blocks,
// and the scans may pass over each block a few times (libjpeg_trap.h). Every
// decoder arms it, and refuses before it or its caller allocates anything of
// the picture's size.

#include "common/errors.h"
#include "imaging/reduction.h"
#include "jpeg/JPEG_IO.h"
#include "jpeg/decode_memory.h"
#include "jpeg/jpeg_util.h"
#include "jpeg/libjpeg_trap.h"
#include "jpeg/streamed_decode.h"
#include "support/hostile_jpeg.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <jerror.h>

#include <string>
#include <tuple>

namespace tamblure::jpeg {
namespace {

using imaging::Bitmap24;
using imaging::ReductionPlan;
using test::FlatSpec;
using Bytes = std::vector<std::uint8_t>;

// True when the message reports libjpeg's code, whatever words follow it.
bool reports(const std::string& message, int code)
{
    const std::string prefix = "Erreur JPEG #" + std::to_string(code);
    return message.rfind(prefix, 0) == 0 && (message.size() == prefix.size() || message[prefix.size()] == ' ');
}

// A 3 × 2 raster, to see that a refused decode never sized it.
Bitmap24 smallRaster()
{
    return imaging::makeRaster24(3, 2);
}

// The decoders of the program, as the step and its reference call them.
enum class Decoder {
    ScaledFromMemory, // DecodeJpegScaled at 1/8, the bytes in memory
    ScaledFromFile,   // DecodeJpegFile at 1/8, from the file
    Streamed,         // DecodeJpegFullSizeReduced, by a factor of 8
    Frame             // the probe's frame, within the bound or not
};

// True when the decoder made the picture; false, or the message it raised,
// when it refused. A scaled decoder's raster must be untouched then.
bool decodes(Decoder decoder, const std::filesystem::path& path, std::string& refusal)
{
    const Bytes bytes = test::readFile(path);
    try {
        switch (decoder) {
        case Decoder::ScaledFromMemory: {
            const std::optional<JpegFrame> frame = ProbeJpegFrame(bytes);
            if (!frame)
                return false;
            DecodeJpegScaled(bytes, *frame, 3);
            return true;
        }
        case Decoder::ScaledFromFile: {
            Bitmap24 raster = smallRaster();
            std::int32_t code = 0;
            const bool made = DecodeJpegFile(&raster, path, true, 3, &code);
            refusal = made ? "" : "Erreur JPEG #" + std::to_string(code);
            EXPECT_TRUE(made || raster.width() == 3) << "sized before the refusal";
            return made;
        }
        case Decoder::Streamed:
            DecodeJpegFullSizeReduced(bytes, ReductionPlan::byFactor(8));
            return true;
        case Decoder::Frame: {
            const std::optional<JpegFrame> frame = ProbeJpegFrame(bytes);
            return frame && withinWorkBound(*frame, bytes.size()); // which says no more than no
        }
        }
    } catch (const Exception& error) {
        refusal = error.message();
    }
    return false;
}

// --- The blocks a file pays for ------------------------------------------

// A greyscale picture of one colour, 96 × 5503 blocks: the free blocks and
// 4000 more, which ten kilobytes pay for.
FlatSpec paidByTenKilobytes(std::size_t fileBytes)
{
    FlatSpec spec;
    spec.width = 96 * 8;
    spec.height = 5503 * 8;
    spec.components = 1;
    spec.arithmetic = true;
    spec.fileBytes = fileBytes;
    return spec;
}

// Each decoder at the 10240 bytes that pay for the picture, and one byte short.
class PictureBlocks : public testing::TestWithParam<std::tuple<Decoder, std::size_t>> {};

TEST_P(PictureBlocks, AreMadeUpToWhatTheFilesBytesPayForAndRefusedPastIt)
{
    const auto [decoder, fileBytes] = GetParam();
    const bool paid = fileBytes == 10240;
    ASSERT_EQ(detail::affordableBlocks(10240), 96u * 5503);
    test::TempDir dir;
    const Bytes bytes = test::makeFlatJpeg(paidByTenKilobytes(fileBytes));
    ASSERT_EQ(bytes.size(), fileBytes);
    test::writeFile(dir / "flat.jpg", bytes);
    std::string refusal;
    EXPECT_EQ(decodes(decoder, dir / "flat.jpg", refusal), paid) << refusal;
    if (!paid && decoder != Decoder::Frame) {
        EXPECT_TRUE(reports(refusal, JERR_IMAGE_TOO_BIG)) << refusal;
    }
}

const char* const kDecoderNames[] = {"ScaledFromMemory", "ScaledFromFile", "Streamed", "Frame"};

INSTANTIATE_TEST_SUITE_P(TenKilobytes, PictureBlocks,
                         testing::Combine(testing::Values(Decoder::ScaledFromMemory, Decoder::ScaledFromFile,
                                                          Decoder::Streamed, Decoder::Frame),
                                          testing::Values(std::size_t{10240}, std::size_t{10239})),
                         [](const auto& row) {
                             return kDecoderNames[static_cast<int>(std::get<0>(row.param))] +
                                    std::string(std::get<1>(row.param) == 10240 ? "AtThem" : "OneByteShort");
                         });

// Files that declare far more picture than their bytes carry, each refused
// from its headers by the decoder the step gives it.
struct HostileCase {
    const char* name;
    FlatSpec spec;
};

FlatSpec hostile(int side, int components, bool arithmetic, bool progressive, int restartInterval = 0)
{
    FlatSpec spec;
    spec.width = spec.height = side;
    spec.components = components;
    spec.arithmetic = arithmetic;
    spec.progressive = progressive;
    spec.restartInterval = restartInterval;
    spec.encodedRows = 16;
    return spec;
}

class HostileFile : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileFile, IsRefusedBeforeAnyRasterIsMade)
{
    const FlatSpec& spec = GetParam().spec;
    test::TempDir dir;
    test::writeFile(dir / "h.jpg", test::makeFlatJpeg(spec));
    const Decoder decoder = spec.components == 3 ? Decoder::ScaledFromMemory : Decoder::Streamed;
    std::string refusal;
    EXPECT_FALSE(decodes(decoder, dir / "h.jpg", refusal));
    EXPECT_TRUE(reports(refusal, JERR_IMAGE_TOO_BIG)) << refusal;
    EXPECT_FALSE(decodes(Decoder::Frame, dir / "h.jpg", refusal));
}

INSTANTIATE_TEST_SUITE_P(Kinds, HostileFile,
                         testing::Values(HostileCase{"Arithmetic65500", hostile(65500, 3, true, false)},
                                         HostileCase{"ArithmeticRestartEveryMcu65500",
                                                     hostile(65500, 3, true, false, 1)},
                                         HostileCase{"ArithmeticProgressive65500", hostile(65500, 3, true, true)},
                                         HostileCase{"ArithmeticGrey18900", hostile(18900, 1, true, false)},
                                         HostileCase{"ArithmeticCmyk18900", hostile(18900, 4, true, false)},
                                         HostileCase{"ArithmeticProgressiveCmyk18900", hostile(18900, 4, true, true)},
                                         HostileCase{"Huffman18900", hostile(18900, 3, false, false)},
                                         HostileCase{"HuffmanGrey65500", hostile(65500, 1, false, false)},
                                         HostileCase{"HuffmanProgressive65500", hostile(65500, 3, false, true)}),
                         [](const testing::TestParamInfo<HostileCase>& row) { return std::string(row.param.name); });

TEST(PictureBlocks, PastTheFreeOnesArePaidByAPhotographsBytesButNotByAFlatPicture)
{
    // 24 megapixels in colour: 562 500 blocks, past the free 524 288.
    test::TempDir dir;
    test::writeJpeg(dir / "photograph.jpg", test::sized(6000, 4000));
    FlatSpec flat;
    flat.width = 6000;
    flat.height = 4000;
    flat.arithmetic = true;
    test::writeFile(dir / "flat.jpg", test::makeFlatJpeg(flat));
    std::string refusal;
    EXPECT_TRUE(decodes(Decoder::ScaledFromMemory, dir / "photograph.jpg", refusal)) << refusal;
    EXPECT_FALSE(decodes(Decoder::ScaledFromMemory, dir / "flat.jpg", refusal));
    EXPECT_TRUE(reports(refusal, JERR_IMAGE_TOO_BIG)) << refusal;
}

// --- The passes over each block ------------------------------------------

struct PassesCase {
    const char* name;
    int components;
    int refinements;      // the AC refined from this bit on: refinements + 2 passes
    int repeatedLastScan; // a refinement repeated: kUselessScanWeight passes each
    bool made;
};

class ScanPasses : public testing::TestWithParam<PassesCase> {};

TEST_P(ScanPasses, AreMadeUpToTwelveOverEveryBlock)
{
    const PassesCase& c = GetParam();
    FlatSpec spec;
    spec.width = spec.height = 256;
    spec.components = c.components;
    spec.progressive = true;
    spec.arithmetic = true;
    spec.refinements = c.refinements;
    spec.repeatedLastScan = c.repeatedLastScan;
    test::TempDir dir;
    test::writeFile(dir / "p.jpg", test::makeFlatJpeg(spec));
    std::string refusal;
    EXPECT_EQ(decodes(c.components == 3 ? Decoder::ScaledFromMemory : Decoder::Streamed, dir / "p.jpg", refusal),
              c.made)
        << refusal;
    if (!c.made) {
        EXPECT_TRUE(reports(refusal, JERR_BAD_PROGRESSION)) << refusal;
    }
}

INSTANTIATE_TEST_SUITE_P(Progressions, ScanPasses,
                         testing::Values(PassesCase{"LibjpegsOwn", 3, 0, 0, true},
                                         PassesCase{"ColourTwelve", 3, 10, 0, true},
                                         PassesCase{"GreyTwelve", 1, 10, 0, true},
                                         PassesCase{"GreyEightAndARepeat", 1, 6, 1, true},
                                         PassesCase{"GreyNineAndARepeat", 1, 7, 1, false}),
                         [](const testing::TestParamInfo<PassesCase>& row) { return std::string(row.param.name); });

} // namespace
} // namespace tamblure::jpeg
