#pragma once

// The language the program speaks to its reader. French is the program's own
// language: its texts are written in French in the code, and those French
// texts are the keys of the message catalogue (GNU gettext, domain
// "tamblure"), which gives them in English. French, C and POSIX readers get
// the texts of the code themselves, byte for byte, without any catalogue;
// every other reader gets English, the one other language the catalogue has.
//
// What is part of a file (the classic page's lines, the records' header, the
// settings file) never goes through here: those bytes are read by programs
// and by other people, whatever the language of who made them.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace tamblure {

enum class Language {
    French,
    English
};

// The language of a reader whose environment variable NAME has the value
// variable(NAME) (nullptr when unset), as gettext reads it: the messages
// locale is the first non-empty one of LC_ALL, LC_MESSAGES and LANG. Unset,
// C or POSIX (with or without a codeset, "C.UTF-8" too) means the program's
// own texts, French, and LANGUAGE is then ignored as gettext ignores it
// under C. Otherwise the first entry of the LANGUAGE list (colon-separated)
// that names French, C, POSIX or English decides, then the messages locale;
// a language without a catalogue of its own gets English.
Language languageOf(const std::function<const char*(const char*)>& variable);

// Chooses the language from this process's environment and prepares the
// catalogue for it: the folder "locale" beside the executable (the build
// tree), else the installed share/locale. Called first thing in main, before
// any thread starts; until then every text is French.
void chooseLanguage();

// Speaks `language` from now on, with the catalogues under `catalogues`
// (a folder holding en/LC_MESSAGES/tamblure.mo). For English this sets the
// messages locale (C.UTF-8 when the reader's own is not installed) and
// LANGUAGE=en, because gettext consults LANGUAGE only outside the C locale;
// the locale's other categories (numbers, characters) are left as they are.
void useLanguage(Language language, const std::filesystem::path& catalogues);

Language currentLanguage();

// The text in the current language; `french` itself in French, and when the
// catalogue lacks it.
const char* tr(const char* french);

// The text for `count` things: singular for exactly one in French (so "0
// vignettes"), the catalogue's plural rule in English.
const char* trn(const char* singular, const char* plural, unsigned long count);

// Marks a French text for the catalogue where it cannot be translated yet (a
// constant table); tr() translates it where it is shown.
constexpr const char* trLater(const char* french)
{
    return french;
}

// The same for a pair of texts whose choice depends on a count (trn).
struct PluralText {
    const char* singular;
    const char* plural;
};
constexpr PluralText trnLater(const char* singular, const char* plural)
{
    return {singular, plural};
}

// One value put into a text: a string as it is, an integer in decimal.
struct TextArgument {
    TextArgument(std::string_view value) : text(value) {}
    TextArgument(const std::string& value) : text(value) {}
    TextArgument(const char* value) : text(value) {}
    template <typename Integer>
    requires std::is_integral_v<Integer> TextArgument(Integer value) : text(std::to_string(value)) {}
    std::string text;
};

// `pattern` with "%1" to "%9" replaced by the arguments of those ranks, in
// one pass: a file name that holds "%2" stays as it is. The placeholders let
// a translation put the values in another order. A "%" followed by anything
// else, or a rank without an argument, stays as it is.
std::string format(std::string_view pattern, std::initializer_list<TextArgument> arguments);

// `value` with `digits` decimals and the language's decimal separator:
// "14,2" in French, "14.2" in English, whatever the locale's LC_NUMERIC.
std::string decimalText(double value, int digits);

} // namespace tamblure
