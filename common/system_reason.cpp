#include "common/system_reason.h"

#include <algorithm>
#include <cerrno>
#include <iterator>

namespace tamblure {

namespace {

struct Reason {
    int error;
    std::string_view words;
};

// Every number the C library defines on Linux, in their order. Some numbers
// share words where the difference means nothing to the user (EPERM and
// EACCES say the same to someone who only wanted to read a photograph).
constexpr Reason kReasons[] = {
    {EPERM, "permission refusée"},
    {ENOENT, "fichier ou dossier inexistant"},
    {ESRCH, "processus inexistant"},
    {EINTR, "appel système interrompu"},
    {EIO, "erreur d'entrée-sortie"},
    {ENXIO, "périphérique inexistant"},
    {E2BIG, "liste d'arguments trop longue"},
    {ENOEXEC, "format d'exécutable invalide"},
    {EBADF, "descripteur de fichier invalide"},
    {ECHILD, "aucun processus enfant"},
    {EAGAIN, "ressource temporairement indisponible"},
    {ENOMEM, "mémoire insuffisante"},
    {EACCES, "permission refusée"},
    {EFAULT, "adresse invalide"},
    {ENOTBLK, "périphérique de type bloc requis"},
    {EBUSY, "périphérique ou ressource occupé"},
    {EEXIST, "le fichier existe déjà"},
    {EXDEV, "lien entre périphériques différents"},
    {ENODEV, "périphérique inexistant"},
    {ENOTDIR, "n'est pas un dossier"},
    {EISDIR, "est un dossier"},
    {EINVAL, "argument invalide"},
    {ENFILE, "trop de fichiers ouverts"},
    {EMFILE, "trop de fichiers ouverts"},
    {ENOTTY, "opération de contrôle inappropriée pour ce périphérique"},
    {ETXTBSY, "fichier occupé"},
    {EFBIG, "fichier trop volumineux"},
    {ENOSPC, "plus de place sur le périphérique"},
    {ESPIPE, "positionnement impossible"},
    {EROFS, "système de fichiers en lecture seule"},
    {EMLINK, "trop de liens"},
    {EPIPE, "tube brisé"},
    {EDOM, "argument numérique hors du domaine"},
    {ERANGE, "résultat numérique hors limites"},
    {EDEADLK, "interblocage de ressources évité"},
    {ENAMETOOLONG, "nom trop long"},
    {ENOLCK, "aucun verrou disponible"},
    {ENOSYS, "fonction non implémentée"},
    {ENOTEMPTY, "dossier non vide"},
    {ELOOP, "trop de niveaux de liens symboliques"},
    {ENOMSG, "aucun message du type voulu"},
    {EIDRM, "identificateur supprimé"},
    {ECHRNG, "numéro de canal hors limites"},
    {EL2NSYNC, "niveau 2 non synchronisé"},
    {EL3HLT, "niveau 3 arrêté"},
    {EL3RST, "niveau 3 réinitialisé"},
    {ELNRNG, "numéro de lien hors limites"},
    {EUNATCH, "pilote de protocole non attaché"},
    {ENOCSI, "aucune structure CSI disponible"},
    {EL2HLT, "niveau 2 arrêté"},
    {EBADE, "échange invalide"},
    {EBADR, "descripteur de requête invalide"},
    {EXFULL, "échange plein"},
    {ENOANO, "aucune anode"},
    {EBADRQC, "code de requête invalide"},
    {EBADSLT, "emplacement invalide"},
    {EBFONT, "format de fichier de police invalide"},
    {ENOSTR, "le périphérique n'est pas un flux"},
    {ENODATA, "aucune donnée disponible"},
    {ETIME, "minuterie expirée"},
    {ENOSR, "plus de ressources de flux"},
    {ENONET, "la machine n'est pas sur le réseau"},
    {ENOPKG, "paquet non installé"},
    {EREMOTE, "l'objet est distant"},
    {ENOLINK, "le lien a été coupé"},
    {EADV, "erreur d'annonce"},
    {ESRMNT, "erreur de montage distant"},
    {ECOMM, "erreur de communication à l'envoi"},
    {EPROTO, "erreur de protocole"},
    {EMULTIHOP, "tentative de sauts multiples"},
    {EDOTDOT, "erreur propre à RFS"},
    {EBADMSG, "message invalide"},
    {EOVERFLOW, "valeur trop grande pour le type de données"},
    {ENOTUNIQ, "nom non unique sur le réseau"},
    {EBADFD, "descripteur de fichier dans un mauvais état"},
    {EREMCHG, "adresse distante changée"},
    {ELIBACC, "impossible d'accéder à une bibliothèque partagée nécessaire"},
    {ELIBBAD, "bibliothèque partagée corrompue"},
    {ELIBSCN, "section .lib corrompue dans a.out"},
    {ELIBMAX, "tentative de lier trop de bibliothèques partagées"},
    {ELIBEXEC, "impossible d'exécuter directement une bibliothèque partagée"},
    {EILSEQ, "caractère multioctet ou large invalide ou incomplet"},
    {ERESTART, "l'appel système interrompu doit être relancé"},
    {ESTRPIPE, "erreur de tube de flux"},
    {EUSERS, "trop d'utilisateurs"},
    {ENOTSOCK, "opération de socket sur autre chose qu'un socket"},
    {EDESTADDRREQ, "adresse de destination requise"},
    {EMSGSIZE, "message trop long"},
    {EPROTOTYPE, "type de protocole incorrect pour le socket"},
    {ENOPROTOOPT, "protocole non disponible"},
    {EPROTONOSUPPORT, "protocole non pris en charge"},
    {ESOCKTNOSUPPORT, "type de socket non pris en charge"},
    {EOPNOTSUPP, "opération non prise en charge"},
    {EPFNOSUPPORT, "famille de protocoles non prise en charge"},
    {EAFNOSUPPORT, "famille d'adresses non prise en charge par le protocole"},
    {EADDRINUSE, "adresse déjà utilisée"},
    {EADDRNOTAVAIL, "impossible d'attribuer l'adresse demandée"},
    {ENETDOWN, "le réseau est hors service"},
    {ENETUNREACH, "réseau inaccessible"},
    {ENETRESET, "connexion coupée par la réinitialisation du réseau"},
    {ECONNABORTED, "connexion abandonnée par le logiciel"},
    {ECONNRESET, "connexion réinitialisée par le correspondant"},
    {ENOBUFS, "plus d'espace tampon disponible"},
    {EISCONN, "point d'extrémité de transport déjà connecté"},
    {ENOTCONN, "point d'extrémité de transport non connecté"},
    {ESHUTDOWN, "envoi impossible après la fermeture du point d'extrémité"},
    {ETOOMANYREFS, "trop de références, raccord impossible"},
    {ETIMEDOUT, "délai de connexion dépassé"},
    {ECONNREFUSED, "connexion refusée"},
    {EHOSTDOWN, "l'hôte est hors service"},
    {EHOSTUNREACH, "aucune route vers l'hôte"},
    {EALREADY, "opération déjà en cours"},
    {EINPROGRESS, "opération en cours"},
    {ESTALE, "descripteur de fichier NFS périmé"},
    {EUCLEAN, "la structure doit être nettoyée"},
    {ENOTNAM, "n'est pas un fichier nommé XENIX"},
    {ENAVAIL, "aucun sémaphore XENIX disponible"},
    {EISNAM, "est un fichier nommé"},
    {EREMOTEIO, "erreur d'entrée-sortie distante"},
    {EDQUOT, "quota de disque dépassé"},
    {ENOMEDIUM, "aucun support trouvé"},
    {EMEDIUMTYPE, "mauvais type de support"},
    {ECANCELED, "opération annulée"},
    {ENOKEY, "clé requise non disponible"},
    {EKEYEXPIRED, "la clé a expiré"},
    {EKEYREVOKED, "la clé a été révoquée"},
    {EKEYREJECTED, "la clé a été rejetée par le service"},
    {EOWNERDEAD, "le propriétaire est mort"},
    {ENOTRECOVERABLE, "état irrécupérable"},
    {ERFKILL, "opération impossible, la radio est coupée (RF-kill)"},
    {EHWPOISON, "erreur matérielle sur une page de mémoire"},
};

// The numbers only ever grow, so each has one entry (EWOULDBLOCK, EDEADLOCK
// and ENOTSUP, other names for numbers above, cannot slip in twice) and a
// binary search finds it.
constexpr bool inIncreasingOrder()
{
    return std::adjacent_find(std::begin(kReasons), std::end(kReasons), [](const Reason& a, const Reason& b) {
               return a.error >= b.error;
           }) == std::end(kReasons);
}
static_assert(inIncreasingOrder(), "the reasons follow the order of their numbers");

} // namespace

std::string systemReason(int error)
{
    const auto* found = std::lower_bound(std::begin(kReasons), std::end(kReasons), error,
                                         [](const Reason& reason, int wanted) { return reason.error < wanted; });
    if (found != std::end(kReasons) && found->error == error)
        return std::string(found->words);
    return "erreur système " + std::to_string(error);
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
