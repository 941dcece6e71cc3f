#include "common/translation.h"

#include "common/errors.h"
#include "common/system_reason.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <map>

namespace tamblure {
namespace {

struct Environment {
    std::map<std::string, std::string> variables;
    Language expected;
};

void PrintTo(const Environment& environment, std::ostream* out)
{
    for (const auto& [name, value] : environment.variables)
        *out << name << "=" << value << " ";
}

class LanguageOf : public testing::TestWithParam<Environment> {};

TEST_P(LanguageOf, FollowsTheMessagesLocaleAndTheLanguageList)
{
    const auto& variables = GetParam().variables;
    const Language chosen = languageOf([&](const char* name) -> const char* {
        const auto found = variables.find(name);
        return found == variables.end() ? nullptr : found->second.c_str();
    });
    EXPECT_EQ(chosen, GetParam().expected);
}

constexpr Language F = Language::French;
constexpr Language E = Language::English;

// One row per decision, each changing one condition of the one above it.
INSTANTIATE_TEST_SUITE_P(Table, LanguageOf,
                         testing::Values(Environment{{}, F}, Environment{{{"LANG", ""}}, F},
                                         Environment{{{"LANG", "fr_FR.UTF-8"}}, F}, Environment{{{"LANG", "fr"}}, F},
                                         Environment{{{"LANG", "fr_CA.UTF-8@euro"}}, F},
                                         Environment{{{"LANG", "C"}}, F}, Environment{{{"LANG", "POSIX"}}, F},
                                         Environment{{{"LANG", "C.UTF-8"}}, F},
                                         Environment{{{"LANG", "en_US.UTF-8"}}, E},
                                         Environment{{{"LANG", "de_DE.UTF-8"}}, E},
                                         // LC_MESSAGES before LANG, LC_ALL before both; an empty one
                                         // does not count.
                                         Environment{{{"LANG", "en_US.UTF-8"}, {"LC_MESSAGES", "fr_FR.UTF-8"}}, F},
                                         Environment{{{"LANG", "en_US.UTF-8"}, {"LC_MESSAGES", ""}}, E},
                                         Environment{{{"LC_MESSAGES", "fr_FR.UTF-8"}, {"LC_ALL", "en_US.UTF-8"}}, E},
                                         Environment{{{"LC_MESSAGES", "en_US.UTF-8"}, {"LC_ALL", "C"}}, F},
                                         // LANGUAGE: its first entry that the program speaks, then
                                         // the locale; ignored under C, as gettext ignores it.
                                         Environment{{{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", "fr"}}, F},
                                         Environment{{{"LANG", "fr_FR.UTF-8"}, {"LANGUAGE", "en_GB"}}, E},
                                         Environment{{{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", "de:fr:en"}}, F},
                                         Environment{{{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", "de::en"}}, E},
                                         Environment{{{"LANG", "fr_FR.UTF-8"}, {"LANGUAGE", "de"}}, F},
                                         Environment{{{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", ""}}, E},
                                         Environment{{{"LANG", "C"}, {"LANGUAGE", "en"}}, F}));

struct Placement {
    const char* pattern;
    const char* expected;
};

class Format : public testing::TestWithParam<Placement> {};

TEST_P(Format, PutsEachValueInItsPlaceOnce)
{
    EXPECT_EQ(format(GetParam().pattern, {"a%2b", 42}), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, Format,
                         testing::Values(Placement{"%1 : %2", "a%2b : 42"}, Placement{"%2 then %1", "42 then a%2b"},
                                         Placement{"%1%1", "a%2ba%2b"}, Placement{"%3 %0 100% %", "%3 %0 100% %"},
                                         Placement{"no value", "no value"}));

// The build's catalogue, switched to and back in this process.
class InEnglish : public testing::Test {
protected:
    void SetUp() override { useLanguage(Language::English, TAMBLURE_LOCALE_DIR); }
    void TearDown() override { useLanguage(Language::French, TAMBLURE_LOCALE_DIR); }
};

TEST_F(InEnglish, ComposedMessagesTakeTheCatalogueTexts)
{
    EXPECT_EQ(openErrorMessage("/p/a.jpg", ENOENT), "Cannot open the file /p/a.jpg: no such file or directory");
    EXPECT_EQ(systemReason(4242), "system error 4242");
    EXPECT_EQ(userMessage(std::make_exception_ptr(std::bad_alloc())), "Not enough memory.");
}

TEST_F(InEnglish, PluralsFollowTheEnglishRule)
{
    const char* singular = "%1 dossier n'a pas pu être lu :";
    const char* plural = "%1 dossiers n'ont pas pu être lus :";
    EXPECT_STREQ(trn(singular, plural, 0), "%1 folders could not be read:");
    EXPECT_STREQ(trn(singular, plural, 1), "%1 folder could not be read:");
    EXPECT_STREQ(trn(singular, plural, 2), "%1 folders could not be read:");
}

TEST_F(InEnglish, DecimalsTakeAPointWhateverTheNumericLocale)
{
    EXPECT_EQ(decimalText(14.25, 1), "14.2");
    EXPECT_EQ(decimalText(0.06, 1), "0.1");
}

TEST_F(InEnglish, NeitherTheEmptyTextNorAnUnknownOneIsChanged)
{
    EXPECT_STREQ(tr(""), "");
    EXPECT_STREQ(tr("pas dans le catalogue"), "pas dans le catalogue");
}

TEST(InFrench, TextsAreTheCodesOwnAndZeroIsPlural)
{
    ASSERT_EQ(currentLanguage(), Language::French);
    EXPECT_EQ(openErrorMessage("/p/a.jpg", ENOENT), "Impossible d'ouvrir le fichier /p/a.jpg : fichier ou dossier "
                                                    "inexistant");
    EXPECT_STREQ(trn("%1 vignette faite, %2 à jour", "%1 vignettes faites, %2 à jour", 0),
                 "%1 vignettes faites, %2 à jour");
    EXPECT_STREQ(trn("%1 vignette faite, %2 à jour", "%1 vignettes faites, %2 à jour", 1),
                 "%1 vignette faite, %2 à jour");
    EXPECT_EQ(decimalText(14.25, 1), "14,2");
}

} // namespace
} // namespace tamblure
