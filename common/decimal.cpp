#include "common/decimal.h"

namespace tamblure {

std::optional<std::int32_t> parseDecimal(std::string_view text)
{
    bool negative = false;
    if (text.starts_with('+') || text.starts_with('-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        // One past the largest positive value is still -2^31.
        if (value > std::int64_t{INT32_MAX} + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

} // namespace tamblure
