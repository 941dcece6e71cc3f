#include "jpeg/grey_quantizer.h"

#include "sample_files.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tamblure::jpeg {
namespace {

using test::GreyPicture;

// The quantizer over libjpeg's unquantised rows.
std::vector<std::uint8_t> quantized(const GreyPicture& plain)
{
    GreyQuantizer quantizer(plain.width);
    std::vector<std::uint8_t> greys = plain.greys;
    const auto width = static_cast<std::size_t>(plain.width);
    for (std::size_t y = 0; y < static_cast<std::size_t>(plain.height); ++y)
        quantizer.quantizeRow(greys.data() + y * width);
    return greys;
}

testing::AssertionResult sameGreys(const std::vector<std::uint8_t>& actual, const GreyPicture& oracle)
{
    if (actual.size() != oracle.greys.size())
        return testing::AssertionFailure() << actual.size() << " pixels instead of " << oracle.greys.size();
    for (std::size_t i = 0; i < actual.size(); ++i)
        if (actual[i] != oracle.greys[i])
            return testing::AssertionFailure() << "row " << i / static_cast<std::size_t>(oracle.width) << ", column "
                                               << i % static_cast<std::size_t>(oracle.width) << ": " << int{actual[i]}
                                               << " instead of libjpeg's " << int{oracle.greys[i]};
    return testing::AssertionSuccess();
}

TEST(GreyQuantizer, HasLibjpegsColourMapOf236Greys)
{
    std::mt19937 random(1);
    const auto file = test::encodeSamples(test::randomSamples(16, 16, 1, random), 16, 16, test::SampleLayout::Grey);
    const GreyPicture oracle = test::libjpegGreys(file, true);
    const auto& levels = GreyQuantizer::levels();
    EXPECT_EQ(oracle.palette, std::vector<std::uint8_t>(levels.begin(), levels.end()));
}

struct DitherCase {
    int width, height;
    int quality;
    bool progressive;
};

class GreyQuantizerRows : public testing::TestWithParam<DitherCase> {};

// libjpeg with its quantizer on is the oracle: the same file decoded without
// it and quantised here must give the same palette entry for every pixel.
TEST_P(GreyQuantizerRows, PickLibjpegsPaletteEntryForEveryPixel)
{
    const DitherCase c = GetParam();
    for (std::uint32_t seed = 1; seed <= 4; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed * 7919u + static_cast<std::uint32_t>(c.width));
        test::SampleOptions options;
        options.quality = c.quality;
        options.progressive = c.progressive;
        const auto file = test::encodeSamples(test::randomSamples(c.width, c.height, 1, random), c.width, c.height,
                                              test::SampleLayout::Grey, options);
        const GreyPicture oracle = test::libjpegGreys(file, true);
        const GreyPicture plain = test::libjpegGreys(file, false);
        EXPECT_TRUE(sameGreys(quantized(plain), oracle));
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, GreyQuantizerRows,
                         testing::Values(DitherCase{1, 1, 92, false}, DitherCase{1, 41, 92, false},
                                         DitherCase{41, 1, 92, false}, DitherCase{2, 2, 100, false},
                                         DitherCase{3, 5, 75, false}, DitherCase{7, 3, 100, false},
                                         DitherCase{17, 9, 92, true}, DitherCase{64, 31, 50, false},
                                         DitherCase{255, 3, 100, false}, DitherCase{333, 47, 92, false},
                                         DitherCase{1001, 13, 85, true}, DitherCase{65, 20, 100, false},
                                         DitherCase{128, 9, 92, false}, DitherCase{640, 480, 92, false}));

} // namespace
} // namespace tamblure::jpeg
