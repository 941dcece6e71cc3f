#include "common/system_reason.h"

#include <cerrno>

namespace tamblure {

std::string systemReason(int error)
{
    switch (error) {
    case ENOSPC:
        return "plus de place sur le périphérique";
    case EDQUOT:
        return "quota de disque dépassé";
    case EFBIG:
        return "fichier trop volumineux";
    case EACCES:
    case EPERM:
        return "permission refusée";
    case EROFS:
        return "système de fichiers en lecture seule";
    case ENAMETOOLONG:
        return "nom trop long";
    case ENOENT:
        return "fichier ou dossier inexistant";
    case ENOTDIR:
        return "n'est pas un dossier";
    case EISDIR:
        return "est un dossier";
    case EEXIST:
        return "le fichier existe déjà";
    case ENOTEMPTY:
        return "dossier non vide";
    case ELOOP:
        return "trop de niveaux de liens symboliques";
    case EIO:
        return "erreur d'entrée-sortie";
    case EMFILE:
    case ENFILE:
        return "trop de fichiers ouverts";
    case ENOMEM:
        return "mémoire insuffisante";
    case EBUSY:
        return "périphérique ou ressource occupé";
    case ETXTBSY:
        return "fichier occupé";
    case EXDEV:
        return "lien entre périphériques différents";
    case EINVAL:
        return "argument invalide";
    case EOPNOTSUPP:
        return "opération non prise en charge";
    case ESTALE:
        return "descripteur de fichier NFS périmé";
    case ENODEV:
    case ENXIO:
        return "périphérique inexistant";
    case EPIPE:
        return "tube brisé";
    case EAGAIN:
        return "ressource temporairement indisponible";
    case ENOLCK:
        return "aucun verrou disponible";
    default:
        return "erreur système " + std::to_string(error);
    }
}

std::string withReason(std::string_view message, int error)
{
    std::string result(message);
    if (error != 0) {
        result += " : ";
        result += systemReason(error);
    }
    return result;
}

} // namespace tamblure
