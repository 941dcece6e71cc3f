#include "common/decimal.h"

#include <gtest/gtest.h>

namespace tamblure {
namespace {

struct DecimalCase {
    const char* text;
    std::optional<std::int32_t> value;
};

class Decimal : public testing::TestWithParam<DecimalCase> {};

TEST_P(Decimal, TakesASignAndDigitsAndNothingElseWithin32Bits)
{
    EXPECT_EQ(parseDecimal(GetParam().text), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Table, Decimal,
                         testing::Values(DecimalCase{"0", 0}, DecimalCase{"+75", 75}, DecimalCase{"-3", -3},
                                         DecimalCase{"007", 7}, DecimalCase{"2147483647", 2147483647},
                                         DecimalCase{"-2147483648", INT32_MIN}, DecimalCase{"2147483648", std::nullopt},
                                         DecimalCase{"-2147483649", std::nullopt},
                                         DecimalCase{"99999999999999999999", std::nullopt},
                                         DecimalCase{"", std::nullopt}, DecimalCase{"-", std::nullopt},
                                         DecimalCase{"+-1", std::nullopt}, DecimalCase{" 5", std::nullopt},
                                         DecimalCase{"5 ", std::nullopt}, DecimalCase{"1e3", std::nullopt},
                                         DecimalCase{"\xd9\xa3", std::nullopt})); // an Arabic-Indic three

} // namespace
} // namespace tamblure
