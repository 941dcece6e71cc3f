#include "common/translation.h"

#include <atomic>
#include <charconv>
#include <clocale>
#include <cstdlib>
#include <libintl.h>
#include <optional>
#include <system_error>
#include <unistd.h>

namespace tamblure {

namespace {

constexpr const char* kDomain = "tamblure";

// Set once at the start, before the threads that translate their errors.
std::atomic<Language> current{Language::French};

// "fr_FR.UTF-8" -> "fr", "C.UTF-8" -> "C", "en@quot" -> "en".
std::string_view languagePart(std::string_view name)
{
    return name.substr(0, name.find_first_of("_.@"));
}

bool isCLocale(std::string_view name)
{
    const std::string_view language = languagePart(name);
    return language == "C" || language == "POSIX";
}

// The language that a locale or LANGUAGE entry names, when it is one the
// program speaks.
std::optional<Language> spokenIn(std::string_view name)
{
    const std::string_view language = languagePart(name);
    if (language == "fr" || isCLocale(name))
        return Language::French;
    if (language == "en")
        return Language::English;
    return std::nullopt;
}

std::filesystem::path executableFolder()
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : self.parent_path();
}

std::filesystem::path catalogueFolder()
{
    const std::filesystem::path besideProgram = executableFolder() / "locale";
    std::error_code error;
    if (std::filesystem::is_regular_file(besideProgram / "en" / "LC_MESSAGES" / "tamblure.mo", error))
        return besideProgram;
    return TAMBLURE_INSTALLED_LOCALEDIR;
}

} // namespace

Language languageOf(const std::function<const char*(const char*)>& variable)
{
    std::string_view messages;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = variable(name);
        if (value != nullptr && *value != '\0') {
            messages = value;
            break;
        }
    }
    if (messages.empty() || isCLocale(messages))
        return Language::French;
    const char* list = variable("LANGUAGE");
    std::string_view languages = list != nullptr ? list : "";
    while (!languages.empty()) {
        const std::size_t colon = languages.find(':');
        if (const auto spoken = spokenIn(languages.substr(0, colon)))
            return *spoken;
        languages = colon == std::string_view::npos ? std::string_view() : languages.substr(colon + 1);
    }
    return spokenIn(messages).value_or(Language::English);
}

void chooseLanguage()
{
    useLanguage(languageOf([](const char* name) { return std::getenv(name); }), catalogueFolder());
}

void useLanguage(Language language, const std::filesystem::path& catalogues)
{
    if (language == Language::English) {
        // The reader's own locale when it is installed; C.UTF-8 otherwise,
        // which glibc always has and gettext does not take for C.
        const char* messages = std::setlocale(LC_MESSAGES, "");
        if (messages == nullptr || std::string_view(messages) == "C" || std::string_view(messages) == "POSIX")
            std::setlocale(LC_MESSAGES, "C.UTF-8");
        ::setenv("LANGUAGE", "en", 1);
        ::bindtextdomain(kDomain, catalogues.c_str());
        // The texts stay UTF-8 whatever the character set of LC_CTYPE, which
        // tamblure-batch leaves at C.
        ::bind_textdomain_codeset(kDomain, "UTF-8");
    }
    current = language;
}

Language currentLanguage()
{
    return current;
}

const char* tr(const char* french)
{
    // gettext answers "" with the catalogue's header.
    if (current == Language::French || *french == '\0')
        return french;
    return ::dgettext(kDomain, french);
}

const char* trn(const char* singular, const char* plural, unsigned long count)
{
    if (current == Language::French)
        return count == 1 ? singular : plural;
    return ::dngettext(kDomain, singular, plural, count);
}

std::string format(std::string_view pattern, std::initializer_list<TextArgument> arguments)
{
    std::string result;
    result.reserve(pattern.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
            const auto rank = static_cast<std::size_t>(pattern[i + 1] - '1');
            if (rank < arguments.size()) {
                result += std::data(arguments)[rank].text;
                ++i;
                continue;
            }
        }
        result += c;
    }
    return result;
}

std::string decimalText(double value, int digits)
{
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, digits);
    std::string result(text, written.ec == std::errc() ? written.ptr : text);
    if (current == Language::French)
        for (char& c : result)
            if (c == '.')
                c = ',';
    return result;
}

} // namespace tamblure
