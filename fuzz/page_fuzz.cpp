// The page's escaping of file names on arbitrary bytes: every address must
// decode back to the very name, and no text may carry markup.

#include "batch/page_writer.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string name(reinterpret_cast<const char*>(data), size);

    // The address: only characters a browser takes literally, "&amp;", and
    // %XX escapes; decoded, it gives back every byte of the name.
    const std::string address = tamblure::batch::htmlAddress(name);
    std::string decoded;
    for (std::size_t i = 0; i < address.size(); ++i) {
        const char c = address[i];
        if (c == '&') {
            if (address.compare(i, 5, "&amp;") != 0)
                std::abort();
            decoded += '&';
            i += 4;
        } else if (c == '%') {
            if (i + 2 >= address.size() || hexValue(address[i + 1]) < 0 || hexValue(address[i + 2]) < 0)
                std::abort();
            decoded += static_cast<char>(hexValue(address[i + 1]) * 16 + hexValue(address[i + 2]));
            i += 2;
        } else {
            const auto u = static_cast<unsigned char>(c);
            if (u <= 0x20 || u >= 0x7F || std::string_view("\"#<>?\\:`{}|^").find(c) != std::string_view::npos)
                std::abort();
            decoded += c;
        }
    }
    if (decoded != name)
        std::abort();

    // The text: no raw markup character survives.
    const std::string text = tamblure::batch::htmlText(name);
    if (text.find_first_of("<>\"") != std::string::npos)
        std::abort();
    return 0;
}
