#pragma once

// The conversion of the number field ("Largeur") to an integer.

#include <cstdint>
#include <optional>
#include <string_view>

namespace tamblure::batch {

// Skips leading spaces, then takes either an optional sign followed by
// decimal digits, or hexadecimal digits (either case) after a "$", "x" or
// "0x" prefix without a sign. Nothing may follow the digits. An empty text, a
// decimal value outside the 32-bit signed range and more than 32 bits of
// hexadecimal are refused; hexadecimal values wrap to 32 bits ("$FFFFFFFF" is
// -1).
std::optional<std::int32_t> parseInteger(std::string_view text);

// parseInteger, raising EConvertError "'<text>' n'est pas une valeur entière
// correcte" when the text is refused.
std::int32_t StrToInt(std::string_view text);

} // namespace tamblure::batch
