#include "cli/options.h"

#include "batch/number_conversion.h"
#include "common/decimal.h"
#include "common/errors.h"
#include "common/translation.h"

#include <getopt.h>
#include <optional>
#include <string_view>

namespace tamblure::cli {

const char* const kUsage = trLater("Usage : tamblure-batch [OPTION]... DOSSIER...\n");

const char* const kHelp =
    trLater("Fait les vignettes de toutes les photographies JPEG (*.jpg) de chaque DOSSIER dans\n"
            "son sous-dossier « tamblure », comme le bouton « Démarrer » de Tamblure.\n"
            "\n"
            "  -q, --quality N    qualité JPEG des vignettes, de 1 à 100 (75 par défaut)\n"
            "                       tamblure-batch -q 90 Photos\n"
            "  -s, --size N       dimension maximale : plus grand côté d'une vignette en pixels\n"
            "                     (200 par défaut)\n"
            "                       tamblure-batch -s 320 Photos\n"
            "  -f, --factor N     facteur de réduction entier (au lieu de --size)\n"
            "                       tamblure-batch -f 8 Photos\n"
            "      --html         écrit aussi la page « index.html » dans chaque dossier\n"
            "                       tamblure-batch --html Photos\n"
            "      --title TEXTE  titre de la page (vide par défaut)\n"
            "                       tamblure-batch --html --title 'Été 2026' Photos\n"
            "      --columns N    nombre de colonnes de la page, de 1 à 10 (1 par défaut)\n"
            "                       tamblure-batch --html --columns 4 Photos\n"
            "      --page STYLE   « classique » (par défaut) : HTML 4.01 en Latin-1, un tableau ;\n"
            "                     « moderne » : HTML5 en UTF-8, une grille à la taille de l'écran\n"
            "                     (au plus N colonnes), thème sombre si le système l'est, noms et\n"
            "                     tailles sous les vignettes ; avec -r, liens vers les pages des\n"
            "                     sous-dossiers et vers celle du dossier parent\n"
            "                       tamblure-batch -r --html --page moderne --columns 4 Photos\n"
            "      --hidpi        avec --page moderne : une seconde vignette, de taille double\n"
            "                     (dans « tamblure/2x »), pour les écrans à haute densité ; un\n"
            "                     facteur de réduction doit alors être pair\n"
            "                       tamblure-batch --html --page moderne --hidpi Photos\n"
            "  -j, --jobs N       nombre de photographies traitées à la fois, de 1 à 256 (par\n"
            "                     défaut : le nombre de processeurs). Les noms, la page et le\n"
            "                     compte restent dans l'ordre du dossier.\n"
            "                       tamblure-batch -j 1 Photos\n"
            "      --memory MIO   mémoire que les photographies en cours peuvent prendre\n"
            "                     ensemble, en Mio (1024 par défaut) ; une photographie qui\n"
            "                     en demande plus est refusée\n"
            "                       tamblure-batch -j 8 --memory 4096 Archives\n"
            "  -k, --keep-going   une photographie en erreur est signalée et passée ; les autres\n"
            "                     sont traitées ; un bilan des échecs finit le traitement\n"
            "                       tamblure-batch -k Archives\n"
            "  -u, --update       ne refait pas les vignettes à jour (faites depuis la dernière\n"
            "                     modification de la photographie, avec la même dimension ou le\n"
            "                     même facteur et la même qualité, par Tamblure ou par la\n"
            "                     fenêtre) ; seules les photographies traitées sont nommées, la\n"
            "                     page les compte toutes\n"
            "                       tamblure-batch -u --html Photos\n"
            "      --prune        avec --update : supprime les vignettes dont la photographie a\n"
            "                     disparu (seulement celles que Tamblure a faites)\n"
            "                       tamblure-batch -u --prune Photos\n"
            "  -r, --recursive    traite aussi chaque sous-dossier, à toute profondeur, comme\n"
            "                     s'il était donné seul (sauf les dossiers cachés, les dossiers\n"
            "                     « tamblure » et les liens vers des dossiers)\n"
            "                       tamblure-batch -r -k Archives\n"
            "      --shard K/N    ne traite que la part K des N parts du travail (choisie par le\n"
            "                     nom du fichier), pour répartir un dossier entre N processus ou\n"
            "                     machines ; pas de --html : la page s'écrit ensuite par un\n"
            "                     traitement avec --update --html\n"
            "                       tamblure-batch --shard 2/4 Archives\n"
            "      --quiet        n'écrit que les erreurs et le bilan\n"
            "                       tamblure-batch --quiet -r Archives\n"
            "      --no-gps       les vignettes ne portent pas la position GPS des photographies\n"
            "                     (le reste de leurs données EXIF, IPTC et commentaire, si)\n"
            "                       tamblure-batch --no-gps --html Photos\n"
            "      --strip        les vignettes ne portent ni EXIF, ni IPTC, ni commentaire, sauf\n"
            "                     l'orientation d'une photographie tournée ; le profil de\n"
            "                     couleurs reste\n"
            "                       tamblure-batch --strip --html Photos\n"
            "  -h, --help         affiche cette aide\n"
            "      --version      affiche la version\n"
            "\n"
            "Une photographie assez petite est copiée telle quelle comme vignette ; avec --no-gps\n"
            "ou --strip, la copie perd ce que l'option retire et n'est donc plus identique à la\n"
            "photographie.\n"
            "\n"
            "Chaque photographie traitée est nommée sur la sortie standard (avec son dossier\n"
            "quand il y en a plusieurs), puis « Terminé ». Sur un terminal, une ligne d'avancement\n"
            "s'affiche sur la sortie d'erreur. Une erreur arrête le traitement (sauf avec -k) :\n"
            "son message est écrit sur la sortie d'erreur. Code de sortie : 0 si tout est fait,\n"
            "1 après une erreur ou un échec, 2 pour des arguments incorrects.\n");

namespace {

enum LongOnly {
    kHtml = 256,
    kTitle,
    kColumns,
    kShard,
    kQuiet,
    kNoGps,
    kStrip,
    kPrune,
    kPage,
    kHidpi,
    kMemory,
    kVersion
};

const option kLongOptions[] = {
    {"quality", required_argument, nullptr, 'q'},
    {"size", required_argument, nullptr, 's'},
    {"factor", required_argument, nullptr, 'f'},
    {"html", no_argument, nullptr, kHtml},
    {"title", required_argument, nullptr, kTitle},
    {"columns", required_argument, nullptr, kColumns},
    {"jobs", required_argument, nullptr, 'j'},
    {"keep-going", no_argument, nullptr, 'k'},
    {"update", no_argument, nullptr, 'u'},
    {"recursive", no_argument, nullptr, 'r'},
    {"shard", required_argument, nullptr, kShard},
    {"quiet", no_argument, nullptr, kQuiet},
    {"no-gps", no_argument, nullptr, kNoGps},
    {"strip", no_argument, nullptr, kStrip},
    {"prune", no_argument, nullptr, kPrune},
    {"memory", required_argument, nullptr, kMemory},
    {"page", required_argument, nullptr, kPage},
    {"hidpi", no_argument, nullptr, kHidpi},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

// The long name of an option, for the messages: they name the option the
// same way whichever spelling was typed.
std::string nameOf(int code)
{
    for (const option* o = kLongOptions; o->name != nullptr; ++o)
        if (o->val == code)
            return std::string("--") + o->name;
    return std::string("-") + static_cast<char>(code);
}

struct Wrong {
    std::string message;
};

[[noreturn]] void wrong(int code, const std::string& why)
{
    throw Wrong{format(tr("tamblure-batch : %1 : %2"), {nameOf(code), why})};
}

// `what` is the whole sentence, with the limits as %1 and %2, marked for
// the catalogue.
int integerIn(int code, const char* text, int low, int high, const char* what)
{
    const auto value = parseDecimal(text);
    if (!value || *value < low || *value > high)
        wrong(code, format(tr(what), {low, high}));
    return *value;
}

// The number as the window's field takes it, refused as the window would
// refuse it.
std::int32_t fieldNumber(int code, const char* text)
{
    std::int32_t number = 0;
    try {
        number = batch::StrToInt(text);
    } catch (const Exception& e) {
        wrong(code, e.message());
    }
    if (number < 1)
        wrong(code, tr("La valeur doit être supérieure ou égale à 1"));
    return number;
}

void readShard(const char* text, Options& options)
{
    const std::string_view shard(text);
    const auto slash = shard.find('/');
    const auto part = slash == std::string_view::npos ? std::nullopt : parseDecimal(shard.substr(0, slash));
    const auto parts = slash == std::string_view::npos ? std::nullopt : parseDecimal(shard.substr(slash + 1));
    if (!part || !parts || *parts < 1 || *part < 1 || *part > *parts)
        wrong(kShard, tr("K/N attendu, deux entiers avec 1 ≤ K ≤ N"));
    options.shardPart = static_cast<unsigned>(*part);
    options.shardParts = static_cast<unsigned>(*parts);
}

Options parse(int argc, char** argv, Request::Kind& kind)
{
    Options options;
    bool sawSize = false, sawFactor = false, sawTitleOrColumns = false, sawShard = false;
    int lastPageOption = kTitle;
    ::opterr = 0; // the messages are ours, in the program's language
    ::optind = 1;
    for (;;) {
        const int code = ::getopt_long(argc, argv, ":q:s:f:j:kurh", kLongOptions, nullptr);
        if (code == -1)
            break;
        switch (code) {
        case 'q':
            options.quality = integerIn(code, ::optarg, 1, 100, trLater("la qualité doit être un entier de %1 à %2"));
            break;
        case 's':
            options.number = fieldNumber(code, ::optarg);
            sawSize = true;
            break;
        case 'f':
            options.number = fieldNumber(code, ::optarg);
            sawFactor = true;
            break;
        case kHtml:
            options.html = true;
            break;
        case kTitle:
            options.title = ::optarg;
            sawTitleOrColumns = true;
            lastPageOption = code;
            break;
        case kPage:
            if (std::string_view(::optarg) != "classique" && std::string_view(::optarg) != "moderne")
                wrong(code, tr("« classique » ou « moderne » attendu"));
            options.modernPage = std::string_view(::optarg) == "moderne";
            sawTitleOrColumns = true;
            lastPageOption = code;
            break;
        case kHidpi:
            options.hidpi = true;
            break;
        case kColumns:
            // As the page dialog's arrows allow.
            options.columns =
                integerIn(code, ::optarg, 1, 10, trLater("le nombre de colonnes doit être un entier de %1 à %2"));
            sawTitleOrColumns = true;
            lastPageOption = code;
            break;
        case 'j':
            options.jobs = static_cast<unsigned>(
                integerIn(code, ::optarg, 1, 256, trLater("le nombre de travaux doit être un entier de %1 à %2")));
            break;
        case 'k':
            options.keepGoing = true;
            break;
        case 'u':
            options.update = true;
            break;
        case 'r':
            options.recursive = true;
            break;
        case kShard:
            readShard(::optarg, options);
            sawShard = true;
            break;
        case kQuiet:
            options.quiet = true;
            break;
        case kNoGps:
            options.noGps = true;
            break;
        case kPrune:
            options.prune = true;
            break;
        case kMemory:
            options.memoryMiB = static_cast<unsigned>(
                integerIn(code, ::optarg, 16, 1048576, trLater("la mémoire doit être un entier de %1 à %2")));
            break;
        case kStrip:
            options.strip = true;
            break;
        case 'h':
            kind = Request::Kind::Help;
            return options;
        case kVersion:
            kind = Request::Kind::Version;
            return options;
        case ':': {
            // The option as typed, for a long one; its letter for a short one.
            const std::string typed = ::optopt != 0 ? nameOf(::optopt) : std::string(argv[::optind - 1]);
            throw Wrong{format(tr("tamblure-batch : %1 : %2"), {typed, tr("une valeur est attendue")})};
        }
        default: {
            std::string typed =
                ::optopt != 0 ? std::string("-") + static_cast<char>(::optopt) : std::string(argv[::optind - 1]);
            if (const auto equals = typed.find('='); typed.starts_with("--") && equals != std::string::npos)
                typed.resize(equals);
            throw Wrong{format(tr("tamblure-batch : %1 : %2"), {typed, tr("option inconnue")})};
        }
        }
    }
    if (sawSize && sawFactor)
        wrong('f', tr("--size et --factor s'excluent"));
    if (sawTitleOrColumns && !options.html)
        wrong(lastPageOption, tr("va avec --html"));
    if (options.hidpi && !options.modernPage)
        wrong(kHidpi, tr("va avec --page moderne"));
    // Twice the size under a factor is half the factor.
    if (options.hidpi && sawFactor && options.number % 2 != 0)
        wrong(kHidpi, tr("demande un facteur pair : la vignette double a la moitié du facteur"));
    if (options.prune && !options.update)
        wrong(kPrune, tr("va avec --update"));
    if (sawShard && options.html)
        wrong(kShard, tr("ne va pas avec --html, car chaque part écrirait la page ; écrivez-la ensuite avec "
                         "--update --html"));
    options.factor = sawFactor;
    for (int i = ::optind; i < argc; ++i) {
        if (argv[i][0] == '\0')
            throw Wrong{tr("tamblure-batch : un nom de dossier est vide")};
        options.folders.emplace_back(argv[i]);
    }
    if (options.folders.empty())
        throw Wrong{tr("tamblure-batch : indiquez le dossier des images")};
    return options;
}

} // namespace

Request parseCommandLine(int argc, char** argv)
{
    Request request;
    try {
        request.options = parse(argc, argv, request.kind);
    } catch (const Wrong& w) {
        request.kind = Request::Kind::Wrong;
        request.message = w.message;
    }
    return request;
}

} // namespace tamblure::cli
