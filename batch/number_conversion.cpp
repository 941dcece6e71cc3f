#include "batch/number_conversion.h"

#include "common/decimal.h"
#include "common/errors.h"
#include "common/translation.h"

#include <string>

namespace tamblure::batch {

std::optional<std::int32_t> parseInteger(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    std::string_view rest = text.substr(i);

    auto hexDigit = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };

    std::size_t prefix = 0;
    if (rest.starts_with('$') || rest.starts_with('x') || rest.starts_with('X'))
        prefix = 1;
    else if (rest.starts_with("0x") || rest.starts_with("0X"))
        prefix = 2;
    if (prefix > 0) {
        std::string_view digits = rest.substr(prefix);
        if (digits.empty())
            return std::nullopt;
        std::uint64_t value = 0;
        for (char c : digits) {
            const int d = hexDigit(c);
            if (d < 0)
                return std::nullopt;
            value = value << 4 | static_cast<std::uint64_t>(d);
            if (value > 0xFFFFFFFFu)
                return std::nullopt;
        }
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    }

    return parseDecimal(rest);
}

std::int32_t StrToInt(std::string_view text)
{
    if (const auto value = parseInteger(text))
        return *value;
    throw EConvertError(format(tr("'%1' n'est pas une valeur entière correcte"), {text}));
}

} // namespace tamblure::batch
