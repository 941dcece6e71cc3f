#include "jpeg/jpeg_error.h"

#include "common/errors.h"
#include "common/translation.h"

#include <cstddef>
#include <cstdio>
#include <iterator>

#include <jpeglib.h>

#include <jerror.h>

namespace tamblure::jpeg {

namespace {

struct MessageText {
    J_MESSAGE_CODE code;
    const char* text;
};

// In the order of the codes, which is jerror.h's order of its entries once
// its conditions on the library's version are applied: the few entries at
// the end are those this build of libjpeg-turbo places there.
constexpr MessageText kTexts[] = {
    {JMSG_NOMESSAGE, trLater("code de message inconnu")},
    {JERR_ARITH_NOTIMPL, trLater("codage arithmétique non disponible")},
    {JERR_BAD_ALIGN_TYPE, trLater("type d'alignement mal configuré dans la bibliothèque JPEG")},
    {JERR_BAD_ALLOC_CHUNK, trLater("taille de bloc d'allocation mal configurée dans la bibliothèque JPEG")},
    {JERR_BAD_BUFFER_MODE, trLater("mode de tampon invalide")},
    {JERR_BAD_COMPONENT_ID, trLater("identifiant de composante invalide dans un début de balayage (SOS)")},
    {JERR_BAD_DCT_COEF, trLater("coefficient DCT hors limites")},
    {JERR_BAD_DCTSIZE, trLater("taille de bloc de la DCT inverse non prise en charge")},
    {JERR_BAD_HUFF_TABLE, trLater("définition de table de Huffman invalide")},
    {JERR_BAD_IN_COLORSPACE, trLater("espace de couleurs d'entrée invalide")},
    {JERR_BAD_J_COLORSPACE, trLater("espace de couleurs JPEG invalide")},
    {JERR_BAD_LENGTH, trLater("longueur de marqueur invalide")},
    {JERR_BAD_LIB_VERSION, trLater("version de la bibliothèque JPEG inattendue")},
    {JERR_BAD_MCU_SIZE, trLater("facteurs d'échantillonnage trop grands pour un balayage entrelacé")},
    {JERR_BAD_POOL_ID, trLater("code de réserve de mémoire invalide")},
    {JERR_BAD_PRECISION, trLater("précision des données JPEG non prise en charge")},
    // Also what the decoder's work limit raises (see libjpeg_trap.h).
    {JERR_BAD_PROGRESSION, trLater("balayages progressifs invalides ou trop nombreux")},
    {JERR_BAD_PROG_SCRIPT, trLater("paramètres progressifs invalides dans le script de balayage")},
    {JERR_BAD_SAMPLING, trLater("facteurs d'échantillonnage invalides")},
    {JERR_BAD_SCAN_SCRIPT, trLater("script de balayage invalide")},
    {JERR_BAD_STATE, trLater("appel de la bibliothèque JPEG dans un état inapproprié")},
    {JERR_BAD_STRUCT_SIZE, trLater("taille de structure de paramètres JPEG inattendue")},
    {JERR_BAD_VIRTUAL_ACCESS, trLater("accès invalide à un tableau virtuel")},
    {JERR_BUFFER_SIZE, trLater("tampon trop petit pour la bibliothèque JPEG")},
    {JERR_CANT_SUSPEND, trLater("suspension impossible à cet endroit")},
    {JERR_CCIR601_NOTIMPL, trLater("échantillonnage CCIR 601 non disponible")},
    {JERR_COMPONENT_COUNT, trLater("trop de composantes de couleur")},
    {JERR_CONVERSION_NOTIMPL, trLater("conversion de couleurs non prise en charge")},
    {JERR_DAC_INDEX, trLater("indice de table arithmétique (DAC) invalide")},
    {JERR_DAC_VALUE, trLater("valeur de table arithmétique (DAC) invalide")},
    {JERR_DHT_INDEX, trLater("indice de table de Huffman (DHT) invalide")},
    {JERR_DQT_INDEX, trLater("indice de table de quantification (DQT) invalide")},
    {JERR_EMPTY_IMAGE, trLater("image JPEG vide (marqueur DNL non pris en charge)")},
    {JERR_EMS_READ, trLater("échec de lecture en mémoire EMS")},
    {JERR_EMS_WRITE, trLater("échec d'écriture en mémoire EMS")},
    {JERR_EOI_EXPECTED, trLater("un seul balayage était attendu")},
    {JERR_FILE_READ, trLater("erreur de lecture du fichier d'entrée")},
    {JERR_FILE_WRITE, trLater("erreur d'écriture du fichier de sortie, peut-être faute de place sur le disque")},
    {JERR_FRACT_SAMPLE_NOTIMPL, trLater("échantillonnage fractionnaire non disponible")},
    {JERR_HUFF_CLEN_OVERFLOW, trLater("débordement de la table des longueurs de codes de Huffman")},
    {JERR_HUFF_MISSING_CODE, trLater("code manquant dans une table de Huffman")},
    {JERR_IMAGE_TOO_BIG, trLater("image plus grande que la dimension maximale prise en charge")},
    {JERR_INPUT_EMPTY, trLater("fichier d'entrée vide")},
    {JERR_INPUT_EOF, trLater("fin prématurée du fichier d'entrée")},
    {JERR_MISMATCHED_QUANT_TABLE,
     trLater("transcodage impossible, une table de quantification servant plusieurs fois")},
    {JERR_MISSING_DATA, trLater("le script de balayage ne transmet pas toutes les données")},
    {JERR_MODE_CHANGE, trLater("changement de mode de quantification des couleurs invalide")},
    {JERR_NOTIMPL, trLater("fonctions demandées incompatibles")},
    {JERR_NOT_COMPILED, trLater("fonction demandée absente de cette version de la bibliothèque JPEG")},
    // libjpeg asks for a temporary file when the memory it may use runs out.
    {JERR_NO_BACKING_STORE, trLater("mémoire de travail dépassée, sans fichier temporaire pour la compléter")},
    {JERR_NO_HUFF_TABLE, trLater("table de Huffman non définie")},
    {JERR_NO_IMAGE, trLater("le flux JPEG ne contient aucune image")},
    {JERR_NO_QUANT_TABLE, trLater("table de quantification non définie")},
    {JERR_NO_SOI, trLater("ce n'est pas un fichier JPEG (marqueur de début d'image absent)")},
    {JERR_OUT_OF_MEMORY, trLater("mémoire insuffisante")},
    {JERR_QUANT_COMPONENTS, trLater("trop de composantes de couleur à quantifier")},
    {JERR_QUANT_FEW_COLORS, trLater("quantification vers trop peu de couleurs")},
    {JERR_QUANT_MANY_COLORS, trLater("quantification vers trop de couleurs")},
    {JERR_SOF_DUPLICATE, trLater("structure de fichier JPEG invalide, deux débuts de trame (SOF)")},
    {JERR_SOF_NO_SOS, trLater("structure de fichier JPEG invalide, début de balayage (SOS) absent")},
    {JERR_SOF_UNSUPPORTED, trLater("procédé JPEG non pris en charge (type de début de trame)")},
    {JERR_SOI_DUPLICATE, trLater("structure de fichier JPEG invalide, deux débuts d'image (SOI)")},
    {JERR_SOS_NO_SOF,
     trLater("structure de fichier JPEG invalide, début de balayage (SOS) avant le début de trame (SOF)")},
    {JERR_TFILE_CREATE, trLater("impossible de créer un fichier temporaire")},
    {JERR_TFILE_READ, trLater("échec de lecture d'un fichier temporaire")},
    {JERR_TFILE_SEEK, trLater("échec de positionnement dans un fichier temporaire")},
    {JERR_TFILE_WRITE, trLater("échec d'écriture d'un fichier temporaire, peut-être faute de place sur le disque")},
    {JERR_TOO_LITTLE_DATA, trLater("l'application a transmis trop peu de lignes")},
    {JERR_UNKNOWN_MARKER, trLater("type de marqueur non pris en charge")},
    {JERR_VIRTUAL_BUG, trLater("erreur interne du gestionnaire de tableaux virtuels")},
    {JERR_WIDTH_OVERFLOW, trLater("image trop large pour cette implémentation")},
    {JERR_XMS_READ, trLater("échec de lecture en mémoire XMS")},
    {JERR_XMS_WRITE, trLater("échec d'écriture en mémoire XMS")},
    {JMSG_COPYRIGHT, trLater("mention de droit d'auteur de la bibliothèque JPEG")},
    {JMSG_VERSION, trLater("version de la bibliothèque JPEG")},
    {JTRC_16BIT_TABLES, trLater("tables de quantification trop grossières pour le JPEG de base")},
    {JTRC_ADOBE, trLater("marqueur APP14 d'Adobe")},
    {JTRC_APP0, trLater("marqueur APP0 inconnu (pas JFIF)")},
    {JTRC_APP14, trLater("marqueur APP14 inconnu (pas Adobe)")},
    {JTRC_DAC, trLater("définition d'une table arithmétique")},
    {JTRC_DHT, trLater("définition d'une table de Huffman")},
    {JTRC_DQT, trLater("définition d'une table de quantification")},
    {JTRC_DRI, trLater("définition de l'intervalle de redémarrage")},
    {JTRC_EMS_CLOSE, trLater("mémoire EMS libérée")},
    {JTRC_EMS_OPEN, trLater("mémoire EMS obtenue")},
    {JTRC_EOI, trLater("fin d'image")},
    {JTRC_HUFFBITS, trLater("longueurs des codes d'une table de Huffman")},
    {JTRC_JFIF, trLater("marqueur APP0 JFIF")},
    {JTRC_JFIF_BADTHUMBNAILSIZE, trLater("taille de la vignette JFIF différente de la longueur de ses données")},
    {JTRC_JFIF_EXTENSION, trLater("marqueur d'extension JFIF")},
    {JTRC_JFIF_THUMBNAIL, trLater("marqueur JFIF avec une vignette")},
    {JTRC_MISC_MARKER, trLater("marqueur divers")},
    {JTRC_PARMLESS_MARKER, trLater("marqueur inattendu")},
    {JTRC_QUANTVALS, trLater("valeurs d'une table de quantification")},
    {JTRC_QUANT_3_NCOLORS, trLater("quantification vers un cube de couleurs")},
    {JTRC_QUANT_NCOLORS, trLater("quantification vers un nombre donné de couleurs")},
    {JTRC_QUANT_SELECTED, trLater("couleurs choisies pour la quantification")},
    {JTRC_RECOVERY_ACTION, trLater("reprise après un marqueur inattendu")},
    {JTRC_RST, trLater("marqueur de redémarrage (RST)")},
    {JTRC_SMOOTH_NOTIMPL, trLater("lissage non pris en charge avec des facteurs d'échantillonnage non standard")},
    {JTRC_SOF, trLater("début de trame (SOF)")},
    {JTRC_SOF_COMPONENT, trLater("composante d'une trame")},
    {JTRC_SOI, trLater("début d'image")},
    {JTRC_SOS, trLater("début de balayage (SOS)")},
    {JTRC_SOS_COMPONENT, trLater("composante d'un balayage")},
    {JTRC_SOS_PARAMS, trLater("paramètres d'un balayage progressif")},
    {JTRC_TFILE_CLOSE, trLater("fichier temporaire fermé")},
    {JTRC_TFILE_OPEN, trLater("fichier temporaire ouvert")},
    {JTRC_THUMB_JPEG, trLater("extension JFIF, vignette compressée en JPEG")},
    {JTRC_THUMB_PALETTE, trLater("extension JFIF, vignette à palette")},
    {JTRC_THUMB_RGB, trLater("extension JFIF, vignette RVB")},
    {JTRC_UNKNOWN_IDS, trLater("identifiants de composantes inconnus, YCbCr supposé")},
    {JTRC_XMS_CLOSE, trLater("mémoire XMS libérée")},
    {JTRC_XMS_OPEN, trLater("mémoire XMS obtenue")},
    {JWRN_ADOBE_XFORM, trLater("code de transformation des couleurs d'Adobe inconnu")},
    {JWRN_BOGUS_PROGRESSION, trLater("séquence progressive incohérente")},
    {JWRN_EXTRANEOUS_DATA, trLater("données JPEG corrompues, octets superflus avant un marqueur")},
    {JWRN_HIT_MARKER, trLater("données JPEG corrompues, fin prématurée d'un segment de données")},
    {JWRN_HUFF_BAD_CODE, trLater("données JPEG corrompues, code de Huffman invalide")},
    {JWRN_JFIF_MAJOR, trLater("numéro de révision JFIF inconnu")},
    {JWRN_JPEG_EOF, trLater("fin prématurée du fichier JPEG")},
    {JWRN_MUST_RESYNC, trLater("données JPEG corrompues, marqueur trouvé à la place d'un marqueur de redémarrage")},
    {JWRN_NOT_SEQUENTIAL, trLater("paramètres de balayage (SOS) invalides pour un JPEG séquentiel")},
    {JWRN_TOO_MUCH_DATA, trLater("l'application a transmis trop de lignes")},
    {JERR_BAD_CROP_SPEC, trLater("demande de recadrage invalide")},
    {JERR_NO_ARITH_TABLE, trLater("table arithmétique non définie")},
    {JWRN_ARITH_BAD_CODE, trLater("données JPEG corrompues, code arithmétique invalide")},
    {JWRN_BOGUS_ICC, trLater("données JPEG corrompues, marqueur ICC invalide")},
    {JERR_BAD_DROP_SAMPLING, trLater("rapports d'échantillonnage discordants pour une composante")},
};

// Entry i is code i and every code has its entry: a code added, dropped or
// moved by another version of libjpeg stops the build instead of shifting
// every explanation after it.
constexpr bool eachCodeInItsPlace()
{
    if (std::size(kTexts) != JMSG_LASTMSGCODE)
        return false;
    for (std::size_t i = 0; i < std::size(kTexts); ++i) {
        if (static_cast<std::size_t>(kTexts[i].code) != i || kTexts[i].text[0] == '\0')
            return false;
    }
    return true;
}
static_assert(eachCodeInItsPlace(), "one text per libjpeg message code, in the order of the codes");

} // namespace

std::string_view jpegMessageText(int code)
{
    if (code < 0 || static_cast<std::size_t>(code) >= std::size(kTexts))
        return {};
    return tr(kTexts[code].text);
}

std::string jpegErrorMessage(int code)
{
    const std::string_view text = jpegMessageText(code);
    if (text.empty())
        return format(tr("Erreur JPEG #%1"), {code});
    return format(tr("Erreur JPEG #%1 : %2"), {code, text});
}

void throwJpegError(int code)
{
    throw EJPEG(jpegErrorMessage(code));
}

} // namespace tamblure::jpeg
