#include "window/window_arguments.h"

#include "common/translation.h"

namespace tamblure::window {

const char* const kWindowUsage = trLater("Usage : tamblure [DOSSIER]\n");

const char* const kWindowHelp =
    trLater("Ouvre la fenêtre de Tamblure, qui fait les vignettes des photographies JPEG d'un\n"
            "dossier. Avec DOSSIER, la fenêtre s'ouvre sur ce dossier (et s'en souviendra) ;\n"
            "sans, sur le dernier dossier choisi.\n"
            "\n"
            "  -h, --help     affiche cette aide\n"
            "      --version  affiche la version\n"
            "\n"
            "La fenêtre a besoin d'un affichage graphique ; tamblure-batch fait le même travail\n"
            "en ligne de commande.\n");

WindowArguments readWindowArguments(const std::vector<std::string>& arguments)
{
    WindowArguments read;
    bool optionsEnded = false;
    for (const std::string& argument : arguments) {
        if (!optionsEnded && (argument == "-h" || argument == "--help"))
            return {WindowArguments::Kind::Help, {}, {}};
        if (!optionsEnded && argument == "--version")
            return {WindowArguments::Kind::Version, {}, {}};
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && argument.size() > 1 && argument.front() == '-')
            return {WindowArguments::Kind::Wrong, {}, format(tr("tamblure : %1 : option inconnue"), {argument})};
        if (!read.folder.empty())
            return {WindowArguments::Kind::Wrong, {}, tr("tamblure : un seul dossier à la fois")};
        read.folder = argument;
    }
    return read;
}

} // namespace tamblure::window
