#pragma once

// The one reading of a UTF-8 character that the page's texts and the
// captions share.

#include <cstddef>
#include <string_view>

namespace tamblure {

struct Utf8Character {
    char32_t codePoint = 0;
    std::size_t length = 0; // in bytes; 0 when no character starts there
};

// The character at text[i] (i < text.size()). A byte that starts no valid
// sequence, a sequence cut short or overlong, a surrogate or a code point
// past U+10FFFF is no character.
Utf8Character utf8CharacterAt(std::string_view text, std::size_t i);

} // namespace tamblure
