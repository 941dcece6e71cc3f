#include "jpeg/jpeg_error.h"

#include "common/errors.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include <jpeglib.h>

#include <jerror.h>

namespace tamblure::jpeg {
namespace {

// A table shifted by one entry, or an entry copied without its words
// changed, gives two codes the same words or leaves one without any.
TEST(JpegMessageText, ExplainsEveryCodeOfLibjpegInItsOwnWords)
{
    std::set<std::string_view> seen;
    for (int code = 0; code < JMSG_LASTMSGCODE; ++code) {
        const std::string_view text = jpegMessageText(code);
        ASSERT_FALSE(text.empty()) << code;
        EXPECT_TRUE(seen.insert(text).second) << code << " repeats « " << text << " »";
        // The words follow "Erreur JPEG #N : " and end where the error box
        // adds its period.
        EXPECT_FALSE(text.front() >= 'A' && text.front() <= 'Z') << text;
        EXPECT_EQ(std::string_view(". ?!:").find(text.back()), std::string_view::npos) << text;
    }
}

TEST(JpegMessageText, IsEmptyOutsideLibjpegsCodes)
{
    EXPECT_EQ(jpegMessageText(-1), "");
    EXPECT_EQ(jpegMessageText(JMSG_LASTMSGCODE), "");
    EXPECT_EQ(jpegErrorMessage(-1), "Erreur JPEG #-1");
    EXPECT_EQ(jpegErrorMessage(JMSG_LASTMSGCODE), "Erreur JPEG #" + std::to_string(JMSG_LASTMSGCODE));
}

struct MessageCase {
    int code;
    const char* message;
};

class JpegErrorMessage : public testing::TestWithParam<MessageCase> {};

// The number is libjpeg-turbo 2.1.5's, the one a report quotes; the words
// are what the code means.
TEST_P(JpegErrorMessage, GivesLibjpegsNumberAndWhatItMeans)
{
    EXPECT_EQ(jpegErrorMessage(GetParam().code), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, JpegErrorMessage,
    testing::Values(
        MessageCase{JMSG_NOMESSAGE, "Erreur JPEG #0 : code de message inconnu"},
        MessageCase{JERR_BAD_PROGRESSION, "Erreur JPEG #16 : balayages progressifs invalides ou trop nombreux"},
        MessageCase{JERR_CONVERSION_NOTIMPL, "Erreur JPEG #27 : conversion de couleurs non prise en charge"},
        MessageCase{JERR_IMAGE_TOO_BIG,
                    "Erreur JPEG #41 : image plus grande que la dimension maximale prise en charge"},
        MessageCase{JERR_INPUT_EMPTY, "Erreur JPEG #42 : fichier d'entrée vide"},
        MessageCase{JERR_INPUT_EOF, "Erreur JPEG #43 : fin prématurée du fichier d'entrée"},
        MessageCase{JERR_NO_BACKING_STORE, "Erreur JPEG #49 : mémoire de travail dépassée, sans fichier "
                                           "temporaire pour la compléter"},
        MessageCase{JERR_NO_SOI, "Erreur JPEG #53 : ce n'est pas un fichier JPEG (marqueur de début d'image absent)"},
        MessageCase{JERR_OUT_OF_MEMORY, "Erreur JPEG #54 : mémoire insuffisante"},
        MessageCase{JWRN_JPEG_EOF, "Erreur JPEG #120 : fin prématurée du fichier JPEG"},
        MessageCase{JWRN_BOGUS_ICC, "Erreur JPEG #127 : données JPEG corrompues, marqueur ICC invalide"},
        MessageCase{JERR_BAD_DROP_SAMPLING,
                    "Erreur JPEG #128 : rapports d'échantillonnage discordants pour une composante"}));

TEST(ThrowJpegError, RaisesTheJpegErrorWithItsMessage)
{
    try {
        throwJpegError(JERR_INPUT_EOF);
    } catch (const EJPEG& error) {
        EXPECT_EQ(error.message(), "Erreur JPEG #43 : fin prématurée du fichier d'entrée");
        return;
    }
    FAIL() << "no EJPEG raised";
}

} // namespace
} // namespace tamblure::jpeg
