#include "jpeg/jpeg_error.h"

#include "common/errors.h"

#include <cstddef>
#include <cstdio>
#include <iterator>

#include <jpeglib.h>

#include <jerror.h>

namespace tamblure::jpeg {

namespace {

struct MessageText {
    J_MESSAGE_CODE code;
    std::string_view text;
};

// In the order of the codes, which is jerror.h's order of its entries once
// its conditions on the library's version are applied: the few entries at
// the end are those this build of libjpeg-turbo places there.
constexpr MessageText kTexts[] = {
    {JMSG_NOMESSAGE, "code de message inconnu"},
    {JERR_ARITH_NOTIMPL, "codage arithmétique non disponible"},
    {JERR_BAD_ALIGN_TYPE, "type d'alignement mal configuré dans la bibliothèque JPEG"},
    {JERR_BAD_ALLOC_CHUNK, "taille de bloc d'allocation mal configurée dans la bibliothèque JPEG"},
    {JERR_BAD_BUFFER_MODE, "mode de tampon invalide"},
    {JERR_BAD_COMPONENT_ID, "identifiant de composante invalide dans un début de balayage (SOS)"},
    {JERR_BAD_DCT_COEF, "coefficient DCT hors limites"},
    {JERR_BAD_DCTSIZE, "taille de bloc de la DCT inverse non prise en charge"},
    {JERR_BAD_HUFF_TABLE, "définition de table de Huffman invalide"},
    {JERR_BAD_IN_COLORSPACE, "espace de couleurs d'entrée invalide"},
    {JERR_BAD_J_COLORSPACE, "espace de couleurs JPEG invalide"},
    {JERR_BAD_LENGTH, "longueur de marqueur invalide"},
    {JERR_BAD_LIB_VERSION, "version de la bibliothèque JPEG inattendue"},
    {JERR_BAD_MCU_SIZE, "facteurs d'échantillonnage trop grands pour un balayage entrelacé"},
    {JERR_BAD_POOL_ID, "code de réserve de mémoire invalide"},
    {JERR_BAD_PRECISION, "précision des données JPEG non prise en charge"},
    // Also what the decoder's work limit raises (see libjpeg_trap.h).
    {JERR_BAD_PROGRESSION, "balayages progressifs invalides ou trop nombreux"},
    {JERR_BAD_PROG_SCRIPT, "paramètres progressifs invalides dans le script de balayage"},
    {JERR_BAD_SAMPLING, "facteurs d'échantillonnage invalides"},
    {JERR_BAD_SCAN_SCRIPT, "script de balayage invalide"},
    {JERR_BAD_STATE, "appel de la bibliothèque JPEG dans un état inapproprié"},
    {JERR_BAD_STRUCT_SIZE, "taille de structure de paramètres JPEG inattendue"},
    {JERR_BAD_VIRTUAL_ACCESS, "accès invalide à un tableau virtuel"},
    {JERR_BUFFER_SIZE, "tampon trop petit pour la bibliothèque JPEG"},
    {JERR_CANT_SUSPEND, "suspension impossible à cet endroit"},
    {JERR_CCIR601_NOTIMPL, "échantillonnage CCIR 601 non disponible"},
    {JERR_COMPONENT_COUNT, "trop de composantes de couleur"},
    {JERR_CONVERSION_NOTIMPL, "conversion de couleurs non prise en charge"},
    {JERR_DAC_INDEX, "indice de table arithmétique (DAC) invalide"},
    {JERR_DAC_VALUE, "valeur de table arithmétique (DAC) invalide"},
    {JERR_DHT_INDEX, "indice de table de Huffman (DHT) invalide"},
    {JERR_DQT_INDEX, "indice de table de quantification (DQT) invalide"},
    {JERR_EMPTY_IMAGE, "image JPEG vide (marqueur DNL non pris en charge)"},
    {JERR_EMS_READ, "échec de lecture en mémoire EMS"},
    {JERR_EMS_WRITE, "échec d'écriture en mémoire EMS"},
    {JERR_EOI_EXPECTED, "un seul balayage était attendu"},
    {JERR_FILE_READ, "erreur de lecture du fichier d'entrée"},
    {JERR_FILE_WRITE, "erreur d'écriture du fichier de sortie, peut-être faute de place sur le disque"},
    {JERR_FRACT_SAMPLE_NOTIMPL, "échantillonnage fractionnaire non disponible"},
    {JERR_HUFF_CLEN_OVERFLOW, "débordement de la table des longueurs de codes de Huffman"},
    {JERR_HUFF_MISSING_CODE, "code manquant dans une table de Huffman"},
    {JERR_IMAGE_TOO_BIG, "image plus grande que la dimension maximale prise en charge"},
    {JERR_INPUT_EMPTY, "fichier d'entrée vide"},
    {JERR_INPUT_EOF, "fin prématurée du fichier d'entrée"},
    {JERR_MISMATCHED_QUANT_TABLE, "transcodage impossible, une table de quantification servant plusieurs fois"},
    {JERR_MISSING_DATA, "le script de balayage ne transmet pas toutes les données"},
    {JERR_MODE_CHANGE, "changement de mode de quantification des couleurs invalide"},
    {JERR_NOTIMPL, "fonctions demandées incompatibles"},
    {JERR_NOT_COMPILED, "fonction demandée absente de cette version de la bibliothèque JPEG"},
    // libjpeg asks for a temporary file when the memory it may use runs out.
    {JERR_NO_BACKING_STORE, "mémoire de travail dépassée, sans fichier temporaire pour la compléter"},
    {JERR_NO_HUFF_TABLE, "table de Huffman non définie"},
    {JERR_NO_IMAGE, "le flux JPEG ne contient aucune image"},
    {JERR_NO_QUANT_TABLE, "table de quantification non définie"},
    {JERR_NO_SOI, "ce n'est pas un fichier JPEG (marqueur de début d'image absent)"},
    {JERR_OUT_OF_MEMORY, "mémoire insuffisante"},
    {JERR_QUANT_COMPONENTS, "trop de composantes de couleur à quantifier"},
    {JERR_QUANT_FEW_COLORS, "quantification vers trop peu de couleurs"},
    {JERR_QUANT_MANY_COLORS, "quantification vers trop de couleurs"},
    {JERR_SOF_DUPLICATE, "structure de fichier JPEG invalide, deux débuts de trame (SOF)"},
    {JERR_SOF_NO_SOS, "structure de fichier JPEG invalide, début de balayage (SOS) absent"},
    {JERR_SOF_UNSUPPORTED, "procédé JPEG non pris en charge (type de début de trame)"},
    {JERR_SOI_DUPLICATE, "structure de fichier JPEG invalide, deux débuts d'image (SOI)"},
    {JERR_SOS_NO_SOF, "structure de fichier JPEG invalide, début de balayage (SOS) avant le début de trame (SOF)"},
    {JERR_TFILE_CREATE, "impossible de créer un fichier temporaire"},
    {JERR_TFILE_READ, "échec de lecture d'un fichier temporaire"},
    {JERR_TFILE_SEEK, "échec de positionnement dans un fichier temporaire"},
    {JERR_TFILE_WRITE, "échec d'écriture d'un fichier temporaire, peut-être faute de place sur le disque"},
    {JERR_TOO_LITTLE_DATA, "l'application a transmis trop peu de lignes"},
    {JERR_UNKNOWN_MARKER, "type de marqueur non pris en charge"},
    {JERR_VIRTUAL_BUG, "erreur interne du gestionnaire de tableaux virtuels"},
    {JERR_WIDTH_OVERFLOW, "image trop large pour cette implémentation"},
    {JERR_XMS_READ, "échec de lecture en mémoire XMS"},
    {JERR_XMS_WRITE, "échec d'écriture en mémoire XMS"},
    {JMSG_COPYRIGHT, "mention de droit d'auteur de la bibliothèque JPEG"},
    {JMSG_VERSION, "version de la bibliothèque JPEG"},
    {JTRC_16BIT_TABLES, "tables de quantification trop grossières pour le JPEG de base"},
    {JTRC_ADOBE, "marqueur APP14 d'Adobe"},
    {JTRC_APP0, "marqueur APP0 inconnu (pas JFIF)"},
    {JTRC_APP14, "marqueur APP14 inconnu (pas Adobe)"},
    {JTRC_DAC, "définition d'une table arithmétique"},
    {JTRC_DHT, "définition d'une table de Huffman"},
    {JTRC_DQT, "définition d'une table de quantification"},
    {JTRC_DRI, "définition de l'intervalle de redémarrage"},
    {JTRC_EMS_CLOSE, "mémoire EMS libérée"},
    {JTRC_EMS_OPEN, "mémoire EMS obtenue"},
    {JTRC_EOI, "fin d'image"},
    {JTRC_HUFFBITS, "longueurs des codes d'une table de Huffman"},
    {JTRC_JFIF, "marqueur APP0 JFIF"},
    {JTRC_JFIF_BADTHUMBNAILSIZE, "taille de la vignette JFIF différente de la longueur de ses données"},
    {JTRC_JFIF_EXTENSION, "marqueur d'extension JFIF"},
    {JTRC_JFIF_THUMBNAIL, "marqueur JFIF avec une vignette"},
    {JTRC_MISC_MARKER, "marqueur divers"},
    {JTRC_PARMLESS_MARKER, "marqueur inattendu"},
    {JTRC_QUANTVALS, "valeurs d'une table de quantification"},
    {JTRC_QUANT_3_NCOLORS, "quantification vers un cube de couleurs"},
    {JTRC_QUANT_NCOLORS, "quantification vers un nombre donné de couleurs"},
    {JTRC_QUANT_SELECTED, "couleurs choisies pour la quantification"},
    {JTRC_RECOVERY_ACTION, "reprise après un marqueur inattendu"},
    {JTRC_RST, "marqueur de redémarrage (RST)"},
    {JTRC_SMOOTH_NOTIMPL, "lissage non pris en charge avec des facteurs d'échantillonnage non standard"},
    {JTRC_SOF, "début de trame (SOF)"},
    {JTRC_SOF_COMPONENT, "composante d'une trame"},
    {JTRC_SOI, "début d'image"},
    {JTRC_SOS, "début de balayage (SOS)"},
    {JTRC_SOS_COMPONENT, "composante d'un balayage"},
    {JTRC_SOS_PARAMS, "paramètres d'un balayage progressif"},
    {JTRC_TFILE_CLOSE, "fichier temporaire fermé"},
    {JTRC_TFILE_OPEN, "fichier temporaire ouvert"},
    {JTRC_THUMB_JPEG, "extension JFIF, vignette compressée en JPEG"},
    {JTRC_THUMB_PALETTE, "extension JFIF, vignette à palette"},
    {JTRC_THUMB_RGB, "extension JFIF, vignette RVB"},
    {JTRC_UNKNOWN_IDS, "identifiants de composantes inconnus, YCbCr supposé"},
    {JTRC_XMS_CLOSE, "mémoire XMS libérée"},
    {JTRC_XMS_OPEN, "mémoire XMS obtenue"},
    {JWRN_ADOBE_XFORM, "code de transformation des couleurs d'Adobe inconnu"},
    {JWRN_BOGUS_PROGRESSION, "séquence progressive incohérente"},
    {JWRN_EXTRANEOUS_DATA, "données JPEG corrompues, octets superflus avant un marqueur"},
    {JWRN_HIT_MARKER, "données JPEG corrompues, fin prématurée d'un segment de données"},
    {JWRN_HUFF_BAD_CODE, "données JPEG corrompues, code de Huffman invalide"},
    {JWRN_JFIF_MAJOR, "numéro de révision JFIF inconnu"},
    {JWRN_JPEG_EOF, "fin prématurée du fichier JPEG"},
    {JWRN_MUST_RESYNC, "données JPEG corrompues, marqueur trouvé à la place d'un marqueur de redémarrage"},
    {JWRN_NOT_SEQUENTIAL, "paramètres de balayage (SOS) invalides pour un JPEG séquentiel"},
    {JWRN_TOO_MUCH_DATA, "l'application a transmis trop de lignes"},
    {JERR_BAD_CROP_SPEC, "demande de recadrage invalide"},
    {JERR_NO_ARITH_TABLE, "table arithmétique non définie"},
    {JWRN_ARITH_BAD_CODE, "données JPEG corrompues, code arithmétique invalide"},
    {JWRN_BOGUS_ICC, "données JPEG corrompues, marqueur ICC invalide"},
    {JERR_BAD_DROP_SAMPLING, "rapports d'échantillonnage discordants pour une composante"},
};

// Entry i is code i and every code has its entry: a code added, dropped or
// moved by another version of libjpeg stops the build instead of shifting
// every explanation after it.
constexpr bool eachCodeInItsPlace()
{
    if (std::size(kTexts) != JMSG_LASTMSGCODE)
        return false;
    for (std::size_t i = 0; i < std::size(kTexts); ++i) {
        if (static_cast<std::size_t>(kTexts[i].code) != i || kTexts[i].text.empty())
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
    return kTexts[code].text;
}

std::string jpegErrorMessage(int code)
{
    std::string message = "Erreur JPEG #" + std::to_string(code);
    const std::string_view text = jpegMessageText(code);
    if (!text.empty()) {
        message += " : ";
        message += text;
    }
    return message;
}

void throwJpegError(int code)
{
    throw EJPEG(jpegErrorMessage(code));
}

} // namespace tamblure::jpeg
