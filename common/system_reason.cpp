#include "common/system_reason.h"

#include "common/translation.h"

#include <algorithm>
#include <cerrno>
#include <iterator>

namespace tamblure {

namespace {

struct Reason {
    int error;
    const char* words;
};

// Every number the C library defines on Linux, in their order. Some numbers
// share words where the difference means nothing to the user (EPERM and
// EACCES say the same to someone who only wanted to read a photograph).
constexpr Reason kReasons[] = {
    {EPERM, trLater("permission refusée")},
    {ENOENT, trLater("fichier ou dossier inexistant")},
    {ESRCH, trLater("processus inexistant")},
    {EINTR, trLater("appel système interrompu")},
    {EIO, trLater("erreur d'entrée-sortie")},
    {ENXIO, trLater("périphérique inexistant")},
    {E2BIG, trLater("liste d'arguments trop longue")},
    {ENOEXEC, trLater("format d'exécutable invalide")},
    {EBADF, trLater("descripteur de fichier invalide")},
    {ECHILD, trLater("aucun processus enfant")},
    {EAGAIN, trLater("ressource temporairement indisponible")},
    {ENOMEM, trLater("mémoire insuffisante")},
    {EACCES, trLater("permission refusée")},
    {EFAULT, trLater("adresse invalide")},
    {ENOTBLK, trLater("périphérique de type bloc requis")},
    {EBUSY, trLater("périphérique ou ressource occupé")},
    {EEXIST, trLater("le fichier existe déjà")},
    {EXDEV, trLater("lien entre périphériques différents")},
    {ENODEV, trLater("périphérique inexistant")},
    {ENOTDIR, trLater("n'est pas un dossier")},
    {EISDIR, trLater("est un dossier")},
    {EINVAL, trLater("argument invalide")},
    {ENFILE, trLater("trop de fichiers ouverts")},
    {EMFILE, trLater("trop de fichiers ouverts")},
    {ENOTTY, trLater("opération de contrôle inappropriée pour ce périphérique")},
    {ETXTBSY, trLater("fichier occupé")},
    {EFBIG, trLater("fichier trop volumineux")},
    {ENOSPC, trLater("plus de place sur le périphérique")},
    {ESPIPE, trLater("positionnement impossible")},
    {EROFS, trLater("système de fichiers en lecture seule")},
    {EMLINK, trLater("trop de liens")},
    {EPIPE, trLater("tube brisé")},
    {EDOM, trLater("argument numérique hors du domaine")},
    {ERANGE, trLater("résultat numérique hors limites")},
    {EDEADLK, trLater("interblocage de ressources évité")},
    {ENAMETOOLONG, trLater("nom trop long")},
    {ENOLCK, trLater("aucun verrou disponible")},
    {ENOSYS, trLater("fonction non implémentée")},
    {ENOTEMPTY, trLater("dossier non vide")},
    {ELOOP, trLater("trop de niveaux de liens symboliques")},
    {ENOMSG, trLater("aucun message du type voulu")},
    {EIDRM, trLater("identificateur supprimé")},
    {ECHRNG, trLater("numéro de canal hors limites")},
    {EL2NSYNC, trLater("niveau 2 non synchronisé")},
    {EL3HLT, trLater("niveau 3 arrêté")},
    {EL3RST, trLater("niveau 3 réinitialisé")},
    {ELNRNG, trLater("numéro de lien hors limites")},
    {EUNATCH, trLater("pilote de protocole non attaché")},
    {ENOCSI, trLater("aucune structure CSI disponible")},
    {EL2HLT, trLater("niveau 2 arrêté")},
    {EBADE, trLater("échange invalide")},
    {EBADR, trLater("descripteur de requête invalide")},
    {EXFULL, trLater("échange plein")},
    {ENOANO, trLater("aucune anode")},
    {EBADRQC, trLater("code de requête invalide")},
    {EBADSLT, trLater("emplacement invalide")},
    {EBFONT, trLater("format de fichier de police invalide")},
    {ENOSTR, trLater("le périphérique n'est pas un flux")},
    {ENODATA, trLater("aucune donnée disponible")},
    {ETIME, trLater("minuterie expirée")},
    {ENOSR, trLater("plus de ressources de flux")},
    {ENONET, trLater("la machine n'est pas sur le réseau")},
    {ENOPKG, trLater("paquet non installé")},
    {EREMOTE, trLater("l'objet est distant")},
    {ENOLINK, trLater("le lien a été coupé")},
    {EADV, trLater("erreur d'annonce")},
    {ESRMNT, trLater("erreur de montage distant")},
    {ECOMM, trLater("erreur de communication à l'envoi")},
    {EPROTO, trLater("erreur de protocole")},
    {EMULTIHOP, trLater("tentative de sauts multiples")},
    {EDOTDOT, trLater("erreur propre à RFS")},
    {EBADMSG, trLater("message invalide")},
    {EOVERFLOW, trLater("valeur trop grande pour le type de données")},
    {ENOTUNIQ, trLater("nom non unique sur le réseau")},
    {EBADFD, trLater("descripteur de fichier dans un mauvais état")},
    {EREMCHG, trLater("adresse distante changée")},
    {ELIBACC, trLater("impossible d'accéder à une bibliothèque partagée nécessaire")},
    {ELIBBAD, trLater("bibliothèque partagée corrompue")},
    {ELIBSCN, trLater("section .lib corrompue dans a.out")},
    {ELIBMAX, trLater("tentative de lier trop de bibliothèques partagées")},
    {ELIBEXEC, trLater("impossible d'exécuter directement une bibliothèque partagée")},
    {EILSEQ, trLater("caractère multioctet ou large invalide ou incomplet")},
    {ERESTART, trLater("l'appel système interrompu doit être relancé")},
    {ESTRPIPE, trLater("erreur de tube de flux")},
    {EUSERS, trLater("trop d'utilisateurs")},
    {ENOTSOCK, trLater("opération de socket sur autre chose qu'un socket")},
    {EDESTADDRREQ, trLater("adresse de destination requise")},
    {EMSGSIZE, trLater("message trop long")},
    {EPROTOTYPE, trLater("type de protocole incorrect pour le socket")},
    {ENOPROTOOPT, trLater("protocole non disponible")},
    {EPROTONOSUPPORT, trLater("protocole non pris en charge")},
    {ESOCKTNOSUPPORT, trLater("type de socket non pris en charge")},
    {EOPNOTSUPP, trLater("opération non prise en charge")},
    {EPFNOSUPPORT, trLater("famille de protocoles non prise en charge")},
    {EAFNOSUPPORT, trLater("famille d'adresses non prise en charge par le protocole")},
    {EADDRINUSE, trLater("adresse déjà utilisée")},
    {EADDRNOTAVAIL, trLater("impossible d'attribuer l'adresse demandée")},
    {ENETDOWN, trLater("le réseau est hors service")},
    {ENETUNREACH, trLater("réseau inaccessible")},
    {ENETRESET, trLater("connexion coupée par la réinitialisation du réseau")},
    {ECONNABORTED, trLater("connexion abandonnée par le logiciel")},
    {ECONNRESET, trLater("connexion réinitialisée par le correspondant")},
    {ENOBUFS, trLater("plus d'espace tampon disponible")},
    {EISCONN, trLater("point d'extrémité de transport déjà connecté")},
    {ENOTCONN, trLater("point d'extrémité de transport non connecté")},
    {ESHUTDOWN, trLater("envoi impossible après la fermeture du point d'extrémité")},
    {ETOOMANYREFS, trLater("trop de références, raccord impossible")},
    {ETIMEDOUT, trLater("délai de connexion dépassé")},
    {ECONNREFUSED, trLater("connexion refusée")},
    {EHOSTDOWN, trLater("l'hôte est hors service")},
    {EHOSTUNREACH, trLater("aucune route vers l'hôte")},
    {EALREADY, trLater("opération déjà en cours")},
    {EINPROGRESS, trLater("opération en cours")},
    {ESTALE, trLater("descripteur de fichier NFS périmé")},
    {EUCLEAN, trLater("la structure doit être nettoyée")},
    {ENOTNAM, trLater("n'est pas un fichier nommé XENIX")},
    {ENAVAIL, trLater("aucun sémaphore XENIX disponible")},
    {EISNAM, trLater("est un fichier nommé")},
    {EREMOTEIO, trLater("erreur d'entrée-sortie distante")},
    {EDQUOT, trLater("quota de disque dépassé")},
    {ENOMEDIUM, trLater("aucun support trouvé")},
    {EMEDIUMTYPE, trLater("mauvais type de support")},
    {ECANCELED, trLater("opération annulée")},
    {ENOKEY, trLater("clé requise non disponible")},
    {EKEYEXPIRED, trLater("la clé a expiré")},
    {EKEYREVOKED, trLater("la clé a été révoquée")},
    {EKEYREJECTED, trLater("la clé a été rejetée par le service")},
    {EOWNERDEAD, trLater("le propriétaire est mort")},
    {ENOTRECOVERABLE, trLater("état irrécupérable")},
    {ERFKILL, trLater("opération impossible, la radio est coupée (RF-kill)")},
    {EHWPOISON, trLater("erreur matérielle sur une page de mémoire")},
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
        return tr(found->words);
    return format(tr("erreur système %1"), {error});
}

std::string withReason(std::string_view message, int error)
{
    if (error == 0)
        return std::string(message);
    return format(tr("%1 : %2"), {message, systemReason(error)});
}

} // namespace tamblure
