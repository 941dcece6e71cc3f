#include "common/errors.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace tamblure
