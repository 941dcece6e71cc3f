// tamblure-batch: makes the thumbnails of folders as the window's start
// button does, for scripts and for whole photo libraries.

#include "batch/batch_run.h"
#include "batch/folder_search.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "common/directory.h"
#include "common/errors.h"
#include "common/process_setup.h"
#include "common/system_reason.h"
#include "common/translation.h"
#include "common/version.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace {

using namespace tamblure;

// The first SIGINT or SIGTERM asks the run to stop, as closing the window
// does: the pictures in hand are finished, the records saved, no page is
// replaced. A second one ends the process at once.
volatile std::sig_atomic_t stopSignal = 0;

void askToStop(int signal)
{
    if (stopSignal != 0) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    stopSignal = signal;
}

void stopOnSignals()
{
    struct sigaction action {};
    action.sa_handler = askToStop;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM})
        ::sigaction(signal, &action, nullptr);
}

// One folder of the run, with the photographs it takes.
struct Folder {
    std::string path;               // ending in "/"
    std::string top;                // the folder given on the command line, ending in "/"
    std::filesystem::path relative; // the path below it, empty for itself
    std::string shown;              // how its photographs are named on the output: "" or the path
    std::vector<batch::FoundFile> photographs;

    // Opened anew for its search and for its run: a sub-folder is reached
    // from the given folder name by name, never through a link.
    Directory open() const
    {
        Directory given = batch::openFolder(top);
        return relative.empty() ? std::move(given) : batch::openFolderBelow(given, relative);
    }
};

class ConsoleHost final : public batch::RunHost {
public:
    explicit ConsoleHost(const cli::Options& options) : options_(options), progress_(stderr, !options.quiet) {}
    batch::Criterion criterion() const override
    {
        return options_.factor ? batch::Criterion::ReductionFactor : batch::Criterion::LargestDimension;
    }
    int quality() const override { return options_.quality; }
    bool pageWanted() const override { return options_.html; }
    int columnCount() const override { return options_.columns; }
    std::string title() const override { return options_.title; }
    batch::PageStyle pageStyle() const override
    {
        return options_.modernPage ? batch::PageStyle::Modern : batch::PageStyle::Classic;
    }
    batch::PageLinks pageLinks() const override { return links_; }
    metadata::MetadataPolicy metadataPolicy() const override
    {
        if (options_.strip)
            return metadata::MetadataPolicy::OrientationOnly;
        return options_.noGps ? metadata::MetadataPolicy::WithoutGps : metadata::MetadataPolicy::Everything;
    }
    void clearList() override {}
    void processEvents() override {}
    bool stopRequested() const override { return stopSignal != 0; }

    void addToList(const std::string& fileName) override
    {
        ++madeHere_;
        ++made_;
        if (!options_.quiet)
            printLine(shown_ + fileName);
    }

    // Under --update the output names what was made in this run; the page
    // holds every picture all the same.
    void addKeptToList(const std::string& fileName) override
    {
        if (!options_.update) {
            addToList(fileName);
            return;
        }
        ++madeHere_;
        ++kept_;
    }

    // On standard error, like the failures, but the exit status stays.
    void reportWarning(const std::string& fileName, const std::string& message) override
    {
        printError(format(tr("%1 : %2"), {shown_ + fileName, message}));
    }

    void reportPruned(const std::string& fileName) override
    {
        if (!options_.quiet)
            printLine(format(tr("%1 : vignette supprimée, sa photographie n'est plus là"),
                             {shown_ + std::string(batch::kThumbnailFolderName) + "/" + fileName}));
    }

    // "12 vignettes faites, 988 à jour": what an --update run did.
    std::string updateCount() const
    {
        return format(trn("%1 vignette faite, %2 à jour", "%1 vignettes faites, %2 à jour", made_), {made_, kept_});
    }

    void reportFailure(const std::string& fileName, const std::string& message) override
    {
        ++failedHere_;
        failures_.push_back({shown_ + fileName, 1, false});
        printError(format(tr("%1 : %2"), {shown_ + fileName, message}));
    }

    // A folder whose run broke off, under -k: its photographs not made (none
    // when the folder is done but its page failed) count as failures.
    void folderFailed(const Folder& folder, const std::string& message)
    {
        printError(format(tr("%1 : %2"), {folder.path, message}));
        const std::size_t left = folder.photographs.size() - madeHere_ - failedHere_;
        if (left > 0)
            failures_.push_back({folder.path, left, true});
    }
    // A folder that could not even be searched: how many photographs it
    // holds is not known.
    void folderUnread(const std::string& path, const std::string& message)
    {
        printError(message);
        unread_.push_back(path);
    }

    void showProgress(std::size_t done, std::size_t) override { progress_.update(before_ + done); }

    // The run's folders in turn: their names, their place in the count and
    // their page's links.
    void beginFolder(const Folder& folder, batch::PageLinks links = {})
    {
        links_ = std::move(links);
        shown_ = folder.shown;
        before_ = counted_;
        counted_ += folder.photographs.size();
        madeHere_ = failedHere_ = 0;
    }
    void start(std::size_t total) { progress_.start(total); }
    void finish() { progress_.stop(); }

    // One line on standard output. A failed write does not end the run (the
    // thumbnails are worth making all the same), but its reason is kept, and
    // the program's exit status reports it.
    void printLine(std::string_view line)
    {
        progress_.erase();
        if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size() || std::fputc('\n', stdout) == EOF ||
            std::fflush(stdout) != 0) {
            if (outputError_ == 0)
                outputError_ = errno != 0 ? errno : EIO;
        }
        progress_.redraw();
    }

    void printError(const std::string& message)
    {
        progress_.erase();
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", message.c_str());
        progress_.redraw();
    }

    // The pictures recorded in the folder being run: its page's cells.
    std::size_t recordedHere() const { return madeHere_; }

    int outputError() const { return outputError_; }
    bool anyFailure() const { return !failures_.empty() || !unread_.empty(); }

    // The failures under -k, once the run has ended: how many photographs
    // of how many were not made, which ones (a folder stands for those of
    // its photographs that were not made), and the folders not read.
    void printSummary(std::size_t total) const
    {
        std::size_t count = 0;
        for (const Failure& f : failures_)
            count += f.photographs;
        if (count > 0) {
            std::fprintf(stderr, "%s\n",
                         format(trn("%1 photographie sur %2 n'a pas pu être traitée :",
                                    "%1 photographies sur %2 n'ont pas pu être traitées :", count),
                                {count, total})
                             .c_str());
            for (const Failure& f : failures_) {
                if (!f.folder)
                    std::fprintf(stderr, "  %s\n", f.name.c_str());
                else
                    std::fprintf(stderr, "  %s\n",
                                 format(trn("%1 (%2 photographie)", "%1 (%2 photographies)", f.photographs),
                                        {f.name, f.photographs})
                                     .c_str());
            }
        }
        if (!unread_.empty()) {
            std::fprintf(
                stderr, "%s\n",
                format(trn("%1 dossier n'a pas pu être lu :", "%1 dossiers n'ont pas pu être lus :", unread_.size()),
                       {unread_.size()})
                    .c_str());
            for (const std::string& path : unread_)
                std::fprintf(stderr, "  %s\n", path.c_str());
        }
    }

private:
    struct Failure {
        std::string name;
        std::size_t photographs; // not made
        bool folder;
    };

    const cli::Options& options_;
    cli::ProgressLine progress_;
    std::string shown_;
    std::size_t before_ = 0;
    std::size_t counted_ = 0;
    std::size_t made_ = 0;       // thumbnails made
    std::size_t kept_ = 0;       // thumbnails up to date, kept
    std::size_t madeHere_ = 0;   // in the folder being run, made or kept
    std::size_t failedHere_ = 0; // in the folder being run
    std::vector<Failure> failures_;
    std::vector<std::string> unread_;
    int outputError_ = 0;
    batch::PageLinks links_; // of the folder being run
};

int reportOutputError(int error)
{
    std::fprintf(
        stderr, "%s\n",
        withFinalPeriod(withReason(tr("tamblure-batch : impossible d'écrire sur la sortie standard"), error)).c_str());
    return 1;
}

// The folders of each tree in post-order: every sub-folder, with those below
// it, before its folder; siblings keep their order.
std::vector<Folder> childrenFirst(std::vector<Folder> preorder)
{
    std::vector<Folder> ordered;
    std::vector<Folder> open; // the folders whose sub-folders are not all seen yet
    const auto depth = [](const Folder& f) {
        return static_cast<std::size_t>(std::distance(f.relative.begin(), f.relative.end()));
    };
    const auto closeTo = [&](const Folder* next) {
        while (!open.empty() &&
               (next == nullptr || next->top != open.back().top || depth(open.back()) >= depth(*next))) {
            ordered.push_back(std::move(open.back()));
            open.pop_back();
        }
    };
    for (Folder& folder : preorder) {
        closeTo(&folder);
        open.push_back(std::move(folder));
    }
    closeTo(nullptr);
    return ordered;
}

// The folders of the command line, each with the sub-folders below it when
// asked, and their photographs (this run's part of them). A folder that
// cannot be searched ends the run, or is reported when the run keeps going.
std::vector<Folder> foldersOf(const cli::Options& options, ConsoleHost& host)
{
    const bool several = options.recursive || options.folders.size() > 1;
    std::vector<Folder> folders;
    for (const std::string& given : options.folders) {
        const std::string top = given.back() == '/' ? given : given + '/';
        std::vector<std::filesystem::path> tree{top};
        if (options.recursive)
            tree = batch::folderTree(top);
        for (const std::filesystem::path& found : tree) {
            const std::string path = found.string().ends_with('/') ? found.string() : found.string() + '/';
            Folder folder{path, top, found.lexically_relative(top), several ? path : std::string(), {}};
            if (folder.relative == ".")
                folder.relative.clear();
            try {
                folder.photographs = batch::findPhotographs(folder.open());
            } catch (...) {
                if (!options.keepGoing)
                    throw;
                host.folderUnread(path, userMessage(std::current_exception()));
                continue;
            }
            std::erase_if(folder.photographs, [&](const batch::FoundFile& photograph) {
                return !batch::inShard(photograph.name, options.shardPart, options.shardParts);
            });
            folders.push_back(std::move(folder));
        }
    }
    if (options.recursive && options.modernPage)
        folders = childrenFirst(std::move(folders));
    return folders;
}

// The modern page's links in a library: each folder's page lists the pages
// of its sub-folders, so these run first; a folder learns which of them
// wrote a page, and with how many cells, once they have run.
class LibraryPages {
public:
    explicit LibraryPages(bool wanted) : wanted_(wanted) {}

    batch::PageLinks linksOf(const Folder& folder) const
    {
        batch::PageLinks links;
        if (!wanted_)
            return links;
        links.parent = !folder.relative.empty();
        if (const auto found = written_.find(key(folder.top, folder.relative)); found != written_.end())
            links.subFolders = found->second;
        return links;
    }

    // The folder's run ended without an error: its page is in place when
    // it had photographs or links.
    void ran(const Folder& folder, const batch::PageLinks& links, std::size_t cells)
    {
        if (!wanted_ || folder.relative.empty() || (folder.photographs.empty() && links.subFolders.empty()))
            return;
        written_[key(folder.top, folder.relative.parent_path())].push_back(
            {folder.relative.filename().string(), cells, links.subFolders.size()});
    }

private:
    static std::string key(const std::string& top, const std::filesystem::path& relative)
    {
        return top + '\0' + relative.string();
    }

    bool wanted_;
    std::map<std::string, std::vector<batch::FolderLink>> written_; // by parent folder
};

int run(const cli::Options& options, ConsoleHost& host)
{
    batch::RunOptions run;
    const unsigned jobs = options.jobs != 0 ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    // One job: every picture on this thread, as the window's run did.
    run.workers = jobs > 1 ? jobs : 0;
    run.keepGoing = options.keepGoing;
    run.update = options.update;
    run.prune = options.prune;
    run.memoryBudget = std::uint64_t{options.memoryMiB} << 20;
    run.shardPart = options.shardPart;
    run.shardParts = options.shardParts;
    run.doubled = options.hidpi;
    // Parts of one run record what they made, so that the run that writes
    // the page afterwards (--update --html) makes nothing again.
    run.record = options.update || options.shardParts > 1;

    bool failed = false;
    const std::vector<Folder> folders = foldersOf(options, host);
    std::size_t total = 0;
    for (const Folder& folder : folders)
        total += folder.photographs.size();
    host.start(total);
    LibraryPages library(options.html && options.modernPage && options.recursive);
    for (const Folder& folder : folders) {
        const batch::PageLinks links = library.linksOf(folder);
        host.beginFolder(folder, links);
        try {
            if (batch::runFolder(host, folder.open(), options.number, folder.photographs, run) ==
                batch::RunEnd::Stopped)
                break;
            library.ran(folder, links, host.recordedHere());
        } catch (...) {
            // A folder whose thumbnail folder or page cannot be written.
            if (!options.keepGoing)
                throw;
            host.folderFailed(folder, userMessage(std::current_exception()));
            failed = true;
        }
    }
    host.finish();
    if (stopSignal != 0)
        return 128 + stopSignal;
    host.printSummary(total);
    if (!options.quiet && options.update)
        host.printLine(host.updateCount());
    if (!options.quiet)
        host.printLine(tr("Terminé"));
    return failed || host.anyFailure() ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    keepStandardStreams();
    ignoreWriteSignals();
    // After the standard streams are safe: the locale and the catalogue are
    // files too.
    chooseLanguage();
    const cli::Request request = cli::parseCommandLine(argc, argv);
    switch (request.kind) {
    case cli::Request::Kind::Wrong:
        std::fprintf(stderr, "%s\n%s", request.message.c_str(), tr(cli::kUsage));
        return 2;
    case cli::Request::Kind::Help:
        std::fputs(tr(cli::kUsage), stdout);
        std::fputs(tr(cli::kHelp), stdout);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : reportOutputError(errno);
    case cli::Request::Kind::Version:
        std::printf("tamblure-batch %s\n", kVersion);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : reportOutputError(errno);
    case cli::Request::Kind::Run:
        break;
    }
    stopOnSignals();
    ConsoleHost host(request.options);
    int status = 1;
    try {
        status = run(request.options, host);
    } catch (...) {
        host.finish();
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", userMessage(std::current_exception()).c_str());
    }
    if (host.outputError() != 0)
        return reportOutputError(host.outputError());
    return status;
}
