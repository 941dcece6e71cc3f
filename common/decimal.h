#pragma once

// The one reading of a decimal integer that every number field and option
// shares.

#include <cstdint>
#include <optional>
#include <string_view>

namespace tamblure {

// An optional sign ("+" or "-") followed by decimal digits, and nothing else
// (no blank, no other digit than 0 to 9), within the 32-bit signed range.
std::optional<std::int32_t> parseDecimal(std::string_view text);

} // namespace tamblure
