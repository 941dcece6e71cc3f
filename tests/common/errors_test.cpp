#include "common/errors.h"

#include "common/system_reason.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>
#include <system_error>

namespace tamblure {
namespace {

struct PeriodCase {
    const char* message;
    const char* shown;
};

class WithFinalPeriod : public testing::TestWithParam<PeriodCase> {};

TEST_P(WithFinalPeriod, AddsAPeriodOnlyAfterCharactersBeyondIt)
{
    EXPECT_EQ(withFinalPeriod(GetParam().message), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Messages, WithFinalPeriod,
                         testing::Values(PeriodCase{"Indice ligne hors limites", "Indice ligne hors limites."},
                                         PeriodCase{"Erreur JPEG #42", "Erreur JPEG #42."},
                                         PeriodCase{"Erreur 7", "Erreur 7."}, PeriodCase{"Terminé", "Terminé."},
                                         PeriodCase{"déjà fini.", "déjà fini."}, PeriodCase{"ligne 35)", "ligne 35)"},
                                         PeriodCase{"vraiment !", "vraiment !"}, PeriodCase{"chemin/", "chemin/."},
                                         PeriodCase{"tiret-", "tiret-"}, PeriodCase{"", ""}));

TEST(Errors, CarryTheirMessageThroughTheBaseClass)
{
    try {
        throw EFOpenError(openErrorMessage("/tmp/x.jpg"));
    } catch (const Exception& e) {
        EXPECT_EQ(e.message(), "Impossible d'ouvrir le fichier /tmp/x.jpg");
        EXPECT_STREQ(e.what(), "Impossible d'ouvrir le fichier /tmp/x.jpg");
    }
    EXPECT_EQ(createErrorMessage("a"), "Impossible de créer le fichier a");
}

TEST(UserMessage, GivesWordsForEveryKindOfError)
{
    const auto of = [](auto error) { return userMessage(std::make_exception_ptr(error)); };
    EXPECT_EQ(of(EJPEG("Erreur JPEG #42 (fichier a.jpg)")), "Erreur JPEG #42 (fichier a.jpg)");
    EXPECT_EQ(of(EInOutError("Impossible de lire le dossier x")), "Impossible de lire le dossier x.");
    EXPECT_EQ(of(std::bad_alloc()), "Mémoire insuffisante.");
    // What starting a thread raises when the system has none left.
    EXPECT_EQ(of(std::system_error(EAGAIN, std::generic_category())),
              "Erreur du système : ressource temporairement indisponible.");
    EXPECT_EQ(of(std::runtime_error("something")), "something.");
    EXPECT_EQ(of(42), "Erreur inattendue.");
}

TEST(SystemReason, SaysWhyInFrenchAndNamesWhatItHasNoWordsFor)
{
    EXPECT_EQ(withReason("Impossible de créer le fichier a", ENOSPC),
              "Impossible de créer le fichier a : plus de place sur le périphérique");
    EXPECT_EQ(withReason("Impossible de créer le fichier a", 0), "Impossible de créer le fichier a");
    EXPECT_EQ(systemReason(EROFS), "système de fichiers en lecture seule");
    EXPECT_EQ(systemReason(12345), "erreur système 12345");
}

// strerrorname_np names the numbers the C library defines, and only those,
// whatever the language of the session.
TEST(SystemReason, HasFrenchWordsForEveryNumberTheCLibraryDefinesAndOnlyForThose)
{
    int defined = 0;
    for (int error = 1; error <= 1000; ++error) {
        const std::string fallback = "erreur système " + std::to_string(error);
        if (const char* name = strerrorname_np(error)) {
            ++defined;
            EXPECT_NE(systemReason(error), fallback) << name;
        } else {
            EXPECT_EQ(systemReason(error), fallback);
        }
    }
    EXPECT_GT(defined, 100);
}

struct ReasonCase {
    int error;
    const char* words;
};

class SystemReasonWords : public testing::TestWithParam<ReasonCase> {};

TEST_P(SystemReasonWords, AreTheOnesTheMessagesGive)
{
    EXPECT_EQ(systemReason(GetParam().error), GetParam().words);
}

// What the program meets: files that cannot be read or written, full disks,
// a closed or broken standard output; the last number, and a second name of
// a number (ENOTSUP is EOPNOTSUPP).
INSTANTIATE_TEST_SUITE_P(
    Numbers, SystemReasonWords,
    testing::Values(ReasonCase{EPERM, "permission refusée"}, ReasonCase{ENOENT, "fichier ou dossier inexistant"},
                    ReasonCase{EIO, "erreur d'entrée-sortie"}, ReasonCase{EBADF, "descripteur de fichier invalide"},
                    ReasonCase{EACCES, "permission refusée"}, ReasonCase{ENOSPC, "plus de place sur le périphérique"},
                    ReasonCase{EPIPE, "tube brisé"}, ReasonCase{ELOOP, "trop de niveaux de liens symboliques"},
                    ReasonCase{EDQUOT, "quota de disque dépassé"}, ReasonCase{ENOTSUP, "opération non prise en charge"},
                    ReasonCase{EHWPOISON, "erreur matérielle sur une page de mémoire"}));

} // namespace
} // namespace tamblure
