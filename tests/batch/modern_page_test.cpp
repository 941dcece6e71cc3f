// The modern page's own pieces: the sizes of its captions and the addresses
// of its srcset lists. The page as a whole is checked by parsing it
// (tests/cli/modern_page_test.cpp).

#include "batch/modern_page.h"

#include "common/translation.h"

#include <gtest/gtest.h>

namespace tamblure::batch {
namespace {

struct SizeCase {
    std::int64_t bytes;
    const char* text; // "_" for the no-break space
};

class SizeText : public testing::TestWithParam<SizeCase> {};

TEST_P(SizeText, RoundsToTheNearestInTheLargestUnitItReaches)
{
    std::string expected = GetParam().text;
    expected.replace(expected.find('_'), 1, "\u00A0");
    EXPECT_EQ(sizeText(GetParam().bytes), expected);
}

constexpr std::int64_t kMebi = 1 << 20;

INSTANTIATE_TEST_SUITE_P(
    Table, SizeText,
    testing::Values(SizeCase{0, "0_octet"}, SizeCase{1, "1_octet"}, SizeCase{2, "2_octets"},
                    SizeCase{1023, "1023_octets"}, SizeCase{1024, "1_ko"}, SizeCase{1535, "1_ko"},
                    SizeCase{1536, "2_ko"}, SizeCase{850 * 1024, "850_ko"},
                    // 1023,5 ko rounds up to 1024 ko: one Mo.
                    SizeCase{1024 * 1024 - 513, "1023_ko"}, SizeCase{1024 * 1024 - 512, "1,0_Mo"},
                    SizeCase{2992 * 1024, "2,9_Mo"}, SizeCase{3 * kMebi - kMebi / 20 - 1, "2,9_Mo"},
                    SizeCase{3 * kMebi - kMebi / 20, "3,0_Mo"}, SizeCase{123 * kMebi + kMebi / 2, "123,5_Mo"},
                    SizeCase{1024 * kMebi - kMebi / 20 - 1, "1023,9_Mo"}, SizeCase{1024 * kMebi - kMebi / 20, "1,0_Go"},
                    SizeCase{5 * 1024 * kMebi + 300 * kMebi, "5,3_Go"}, SizeCase{INT64_MAX, "8589934592,0_Go"},
                    SizeCase{-5, "0_octet"}));

// The page speaks the reader's language: its units, its decimal point and
// its plurals with it.
TEST(SizeText, FollowsTheReadersLanguage)
{
    useLanguage(Language::English, TAMBLURE_LOCALE_DIR);
    const std::string english[] = {sizeText(0), sizeText(1), sizeText(850 * 1024), sizeText(2992 * 1024)};
    useLanguage(Language::French, TAMBLURE_LOCALE_DIR);
    EXPECT_EQ(english[0], "0\u00A0bytes");
    EXPECT_EQ(english[1], "1\u00A0byte");
    EXPECT_EQ(english[2], "850\u00A0kB");
    EXPECT_EQ(english[3], "2.9\u00A0MB");
}

TEST(SrcsetAddress, EncodesTheCommaThatSeparatesCandidates)
{
    EXPECT_EQ(srcsetAddress("a,b c.jpg"), "a%2Cb%20c.jpg");
    EXPECT_EQ(srcsetAddress("R&D.jpg"), "R&amp;D.jpg");
    EXPECT_EQ(htmlAddress("a,b.jpg"), "a,b.jpg");
}

} // namespace
} // namespace tamblure::batch
