// tamblure-batch: makes the thumbnails of a folder as the window's start
// button does, for scripts.

#include "app/batch_run.h"
#include "common/errors.h"
#include "common/memory_tuning.h"
#include "common/system_reason.h"
#include "common/version.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

using namespace tamblure;

constexpr const char* kUsage =
    "Usage : tamblure-batch [-q N] [-s N | -f N] [-j N] [--html [--title TEXTE] [--columns N]] DOSSIER\n";

constexpr const char* kHelp =
    "Fait les vignettes de toutes les photographies JPEG (*.jpg) de DOSSIER dans son\n"
    "sous-dossier « tamblure », comme le bouton « Démarrer » de Tamblure.\n"
    "\n"
    "  -q, --quality N   qualité JPEG des vignettes, de 1 à 100 (75 par défaut)\n"
    "  -s, --size N      dimension maximale : plus grand côté d'une vignette en pixels\n"
    "                    (200 par défaut)\n"
    "  -f, --factor N    facteur de réduction entier (au lieu de --size)\n"
    "      --html        écrit aussi la page « index.html » dans DOSSIER\n"
    "      --title TEXTE titre de la page (vide par défaut)\n"
    "      --columns N   nombre de colonnes de la page (1 par défaut)\n"
    "  -j, --jobs N      nombre de photographies traitées à la fois (par défaut : le\n"
    "                    nombre de processeurs). Les noms, la page et le compte restent\n"
    "                    dans l'ordre du dossier ; après une erreur, les photographies\n"
    "                    suivantes déjà en cours peuvent avoir reçu leur vignette.\n"
    "  -h, --help        affiche cette aide\n"
    "      --version     affiche la version\n"
    "\n"
    "Chaque photographie traitée est nommée sur la sortie standard, puis « Terminé ».\n"
    "Une erreur arrête le traitement : son message est écrit sur la sortie d'erreur\n"
    "et le code de sortie est 1 (2 pour des arguments incorrects).\n";

struct Options {
    bool factor = false;
    std::string number = "200";
    int quality = 75;
    bool html = false;
    std::string title;
    int columns = 1;
    unsigned jobs = 0; // 0: one per processor
    std::string folder;
};

class ConsoleHost final : public app::RunHost {
public:
    explicit ConsoleHost(const Options& options) : options_(options) {}
    int criterion() const override { return options_.factor ? 1 : 0; }
    int quality() const override { return options_.quality; }
    bool pageWanted() const override { return options_.html; }
    int columnCount() const override { return options_.columns; }
    std::string title() const override { return options_.title; }
    void clearList() override {}
    void addToList(const std::string& fileName) override { printLine(fileName); }
    void processEvents() override {}

    // One line on standard output. A failed write does not end the run (the
    // thumbnails are worth making all the same), but its reason is kept, and
    // the program's exit status reports it.
    void printLine(std::string_view line)
    {
        if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size() || std::fputc('\n', stdout) == EOF ||
            std::fflush(stdout) != 0) {
            if (outputError_ == 0)
                outputError_ = errno != 0 ? errno : EIO;
        }
    }
    int outputError() const { return outputError_; }

private:
    const Options& options_;
    int outputError_ = 0;
};

int reportOutputError(int error)
{
    std::fprintf(stderr, "%s\n",
                 withFinalPeriod(withReason("tamblure-batch : impossible d'écrire sur la sortie standard", error))
                     .c_str());
    return 1;
}

struct UsageError {
    std::string message;
};

// A decimal integer, optionally signed, and nothing else.
std::optional<int> plainInteger(std::string_view text)
{
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+')
        ++first;
    int value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last)
        return std::nullopt;
    return value;
}

Options parseArguments(int argc, char** argv, bool& done)
{
    Options options;
    bool sawSize = false, sawFactor = false, sawTitleOrColumns = false;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::optional<std::string> inlineValue;
        if (arg.starts_with("--") && arg.find('=') != std::string::npos) {
            inlineValue = arg.substr(arg.find('=') + 1);
            arg = arg.substr(0, arg.find('='));
        }
        auto value = [&]() -> std::string {
            if (inlineValue)
                return *inlineValue;
            if (i + 1 >= argc)
                throw UsageError{"l'option " + arg + " attend une valeur"};
            return argv[++i];
        };
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            std::fputs(kHelp, stdout);
            done = true;
            return options;
        }
        if (arg == "--version") {
            std::printf("tamblure-batch %s\n", kVersion);
            done = true;
            return options;
        }
        if (arg == "-q" || arg == "--quality") {
            const auto q = plainInteger(value());
            if (!q || *q < 1 || *q > 100)
                throw UsageError{"la qualité doit être un entier de 1 à 100"};
            options.quality = *q;
        } else if (arg == "-s" || arg == "--size") {
            options.number = value();
            sawSize = true;
        } else if (arg == "-f" || arg == "--factor") {
            options.number = value();
            sawFactor = true;
        } else if (arg == "--html") {
            options.html = true;
        } else if (arg == "--title") {
            options.title = value();
            sawTitleOrColumns = true;
        } else if (arg == "--columns") {
            const auto c = plainInteger(value());
            if (!c)
                throw UsageError{"le nombre de colonnes doit être un entier"};
            options.columns = *c;
            sawTitleOrColumns = true;
        } else if (arg == "-j" || arg == "--jobs") {
            const auto j = plainInteger(value());
            if (!j || *j < 1 || *j > 256)
                throw UsageError{"le nombre de travaux doit être un entier de 1 à 256"};
            options.jobs = static_cast<unsigned>(*j);
        } else if (arg == "--") {
            for (++i; i < argc; ++i)
                positional.emplace_back(argv[i]);
        } else if (arg.size() > 1 && arg.front() == '-') {
            throw UsageError{"option inconnue : " + arg};
        } else {
            positional.push_back(arg);
        }
    }
    if (sawSize && sawFactor)
        throw UsageError{"--size et --factor s'excluent"};
    if (sawTitleOrColumns && !options.html)
        throw UsageError{"--title et --columns vont avec --html"};
    if (positional.size() != 1)
        throw UsageError{positional.empty() ? "indiquez le dossier des images" : "un seul dossier à la fois"};
    options.factor = sawFactor;
    options.folder = positional.front();
    return options;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    try {
        bool done = false;
        options = parseArguments(argc, argv, done);
        if (done)
            return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : reportOutputError(errno);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "tamblure-batch : %s\n%s", e.message.c_str(), kUsage);
        return 2;
    }
    keepFreedMemoryForReuse();
    ConsoleHost host(options);
    int status = 1;
    try {
        const unsigned jobs = options.jobs != 0 ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
        // One job: every picture on this thread, as the window's run did.
        app::RunOptions run;
        run.workers = jobs > 1 ? jobs : 0;
        if (app::runBatch(host, options.folder, options.number, run) == app::RunEnd::Finished)
            host.printLine("Terminé");
        status = 0;
    } catch (...) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", userMessage(std::current_exception()).c_str());
    }
    if (host.outputError() != 0)
        return reportOutputError(host.outputError());
    return status;
}
