#include "batch/number_conversion.h"

#include "common/errors.h"

#include <gtest/gtest.h>

#include <optional>

namespace tamblure::batch {
namespace {

struct ConversionCase {
    const char* text;
    std::optional<std::int32_t> value;
};

class NumberConversion : public testing::TestWithParam<ConversionCase> {};

TEST_P(NumberConversion, FollowsTheFieldsIntegerRules)
{
    EXPECT_EQ(parseInteger(GetParam().text), GetParam().value) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Table, NumberConversion,
    testing::Values(ConversionCase{"200", 200}, ConversionCase{" 12", 12}, ConversionCase{"   7", 7},
                    ConversionCase{"+5", 5}, ConversionCase{"-3", -3}, ConversionCase{"$1F", 31},
                    ConversionCase{"$1f", 31}, ConversionCase{"0x1f", 31}, ConversionCase{"0X1F", 31},
                    ConversionCase{"x10", 16}, ConversionCase{"X10", 16}, ConversionCase{"$FFFFFFFF", -1},
                    ConversionCase{"2147483647", 2147483647}, ConversionCase{"-2147483648", INT32_MIN},
                    ConversionCase{"12 ", std::nullopt}, ConversionCase{"", std::nullopt},
                    ConversionCase{"   ", std::nullopt}, ConversionCase{"2147483648", std::nullopt},
                    ConversionCase{"-2147483649", std::nullopt}, ConversionCase{"$", std::nullopt},
                    ConversionCase{"0x", std::nullopt}, ConversionCase{"-$10", std::nullopt},
                    ConversionCase{"$100000000", std::nullopt}, ConversionCase{"1e3", std::nullopt},
                    ConversionCase{"abc", std::nullopt}, ConversionCase{"+", std::nullopt},
                    ConversionCase{"\t5", std::nullopt}, ConversionCase{"99999999999999999999", std::nullopt}));

TEST(StrToInt, RefusesWithTheFieldsTextInTheMessage)
{
    try {
        StrToInt("12 ");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.message(), "'12 ' n'est pas une valeur entière correcte");
    }
    EXPECT_EQ(StrToInt("0x1f"), 31);
}

} // namespace
} // namespace tamblure::batch
