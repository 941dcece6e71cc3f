// tamblure-batch under the readers' locales: the program's own French bytes
// under French and C, English under English and any other language.

#include "batch_process.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <clocale>
#include <fstream>
#include <locale.h>

namespace tamblure {
namespace {

using test::Outcome;

struct Texts {
    std::string helpStart;
    std::string argumentError;  // for -q 0
    std::string notAPhotograph; // the error naming DIR/a.jpg, without -k
    std::string summary;        // -k: what standard error ends with
    std::string done;
};

const Texts kFrench{
    "Usage : tamblure-batch [OPTION]... DOSSIER...\nFait les vignettes de toutes les photographies JPEG (*.jpg) de "
    "chaque DOSSIER dans\n",
    "tamblure-batch : --quality : la qualité doit être un entier de 1 à 100\nUsage : tamblure-batch [OPTION]... "
    "DOSSIER...\n",
    "Le fichier « DIR/a.jpg » n'est pas une photographie JPEG lisible.\n",
    "a.jpg : Le fichier « DIR/a.jpg » n'est pas une photographie JPEG lisible.\n1 photographie sur 2 n'a pas pu être "
    "traitée :\n  a.jpg\n",
    "b.jpg\nTerminé\n",
};

const Texts kEnglish{
    "Usage: tamblure-batch [OPTION]... FOLDER...\nMakes the thumbnails of all the JPEG photographs (*.jpg) of each "
    "FOLDER in its\n",
    "tamblure-batch: --quality: the quality must be an integer from 1 to 100\nUsage: tamblure-batch [OPTION]... "
    "FOLDER...\n",
    "The file \"DIR/a.jpg\" is not a readable JPEG photograph.\n",
    "a.jpg: The file \"DIR/a.jpg\" is not a readable JPEG photograph.\n1 photograph of 2 could not be processed:\n  "
    "a.jpg\n",
    "b.jpg\nDone\n",
};

struct Reader {
    const char* locale;
    bool mustBeInstalled; // false: the row is about a locale that is missing
    const Texts* texts;
};

void PrintTo(const Reader& reader, std::ostream* out)
{
    *out << reader.locale;
}

class Languages : public testing::TestWithParam<Reader> {};

bool installed(const char* name)
{
    const locale_t found = ::newlocale(LC_ALL_MASK, name, nullptr);
    if (found == nullptr)
        return false;
    ::freelocale(found);
    return true;
}

std::string withFolder(std::string text, const std::string& folder)
{
    for (std::size_t at; (at = text.find("DIR")) != std::string::npos;)
        text.replace(at, 3, folder);
    return text;
}

TEST_P(Languages, HelpErrorsAndSummarySpeakTheReadersLanguage)
{
    const Reader& reader = GetParam();
    if (reader.mustBeInstalled && !installed(reader.locale))
        GTEST_SKIP() << "the locale " << reader.locale << " is not installed (scripts/setup makes it)";
    if (!reader.mustBeInstalled && installed(reader.locale))
        GTEST_SKIP() << "the locale " << reader.locale << " is installed: it cannot stand for a missing one";
    test::ProcessOptions how;
    how.locale = reader.locale;
    const Texts& texts = *reader.texts;

    const Outcome help = test::runBatch({"--help"}, how);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.substr(0, texts.helpStart.size()), texts.helpStart);

    const Outcome wrong = test::runBatch({"-q", "0", "Photos"}, how);
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_EQ(wrong.err, texts.argumentError);

    test::TempDir dir;
    std::ofstream(dir / "a.jpg") << "not a photograph";
    test::writeJpeg(dir / "b.jpg", test::JpegSpec{});
    const Outcome stopped = test::runBatch({dir.path().string()}, how);
    EXPECT_EQ(stopped.exitCode, 1);
    EXPECT_EQ(stopped.err, withFolder(texts.notAPhotograph, dir.path().string()));

    const Outcome kept = test::runBatch({"-k", dir.path().string()}, how);
    EXPECT_EQ(kept.exitCode, 1);
    EXPECT_EQ(kept.err, withFolder(texts.summary, dir.path().string()));
    EXPECT_EQ(kept.out, texts.done);
}

// A row per reader: French for fr and C (with or without a codeset), English
// for en, for another language (German, which has no catalogue) and for a
// language whose locale is not installed.
INSTANTIATE_TEST_SUITE_P(Table, Languages,
                         testing::Values(Reader{"fr_FR.UTF-8", true, &kFrench}, Reader{"C", true, &kFrench},
                                         Reader{"C.UTF-8", true, &kFrench}, Reader{"POSIX", true, &kFrench},
                                         Reader{"en_US.UTF-8", true, &kEnglish}, Reader{"de_DE.UTF-8", true, &kEnglish},
                                         Reader{"de_XX.UTF-8", false, &kEnglish}));

} // namespace
} // namespace tamblure
