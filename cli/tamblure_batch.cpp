// tamblure-batch: makes the thumbnails of folders as the window's start
// button does, for scripts and for whole photo libraries.

#include "batch/batch_run.h"
#include "batch/folder_search.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "common/directory.h"
#include "common/errors.h"
#include "common/memory_tuning.h"
#include "common/process_setup.h"
#include "common/system_reason.h"
#include "common/version.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>
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
    void clearList() override {}
    void processEvents() override {}
    bool stopRequested() const override { return stopSignal != 0; }

    void addToList(const std::string& fileName) override
    {
        if (!options_.quiet)
            printLine(shown_ + fileName);
    }

    void reportFailure(const std::string& fileName, const std::string& message) override
    {
        failed_.push_back(shown_ + fileName);
        printError(shown_ + fileName + " : " + message);
    }

    void showProgress(std::size_t done, std::size_t) override { progress_.update(before_ + done); }

    // The run's folders in turn: their names and their place in the count.
    void beginFolder(const Folder& folder)
    {
        shown_ = folder.shown;
        before_ = counted_;
        counted_ += folder.photographs.size();
    }
    void start(std::size_t total) { progress_.start(total); }
    void finish() { progress_.erase(); }

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

    int outputError() const { return outputError_; }
    const std::vector<std::string>& failed() const { return failed_; }

private:
    const cli::Options& options_;
    cli::ProgressLine progress_;
    std::string shown_;
    std::size_t before_ = 0;
    std::size_t counted_ = 0;
    std::vector<std::string> failed_;
    int outputError_ = 0;
};

int reportOutputError(int error)
{
    std::fprintf(
        stderr, "%s\n",
        withFinalPeriod(withReason("tamblure-batch : impossible d'écrire sur la sortie standard", error)).c_str());
    return 1;
}

// The folders of the command line, each with the sub-folders below it when
// asked, and their photographs (this run's part of them). A folder that
// cannot be searched ends the run, or is reported when the run keeps going.
std::vector<Folder> foldersOf(const cli::Options& options, ConsoleHost& host, bool& failed)
{
    const bool several = options.recursive || options.folders.size() > 1;
    std::vector<Folder> folders;
    for (const std::string& given : options.folders) {
        if (given.empty())
            throw EInOutError("Aucun dossier n'est indiqué : choisissez le dossier des images");
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
                host.printError(userMessage(std::current_exception()));
                failed = true;
                continue;
            }
            std::erase_if(folder.photographs, [&](const batch::FoundFile& photograph) {
                return !batch::inShard(photograph.name, options.shardPart, options.shardParts);
            });
            folders.push_back(std::move(folder));
        }
    }
    return folders;
}

void printSummary(const ConsoleHost& host, std::size_t total)
{
    const std::size_t count = host.failed().size();
    if (count == 0)
        return;
    std::fprintf(stderr,
                 count == 1 ? "%zu photographie sur %zu n'a pas pu être traitée :\n"
                            : "%zu photographies sur %zu n'ont pas pu être traitées :\n",
                 count, total);
    for (const std::string& name : host.failed())
        std::fprintf(stderr, "  %s\n", name.c_str());
}

int run(const cli::Options& options, ConsoleHost& host)
{
    batch::RunOptions run;
    const unsigned jobs = options.jobs != 0 ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    // One job: every picture on this thread, as the window's run did.
    run.workers = jobs > 1 ? jobs : 0;
    run.keepGoing = options.keepGoing;
    run.update = options.update;
    // Parts of one run record what they made, so that the run that writes
    // the page afterwards (--update --html) makes nothing again.
    run.record = options.update || options.shardParts > 1;

    bool failed = false;
    const std::vector<Folder> folders = foldersOf(options, host, failed);
    std::size_t total = 0;
    for (const Folder& folder : folders)
        total += folder.photographs.size();
    host.start(total);
    for (const Folder& folder : folders) {
        host.beginFolder(folder);
        try {
            if (batch::runFolder(host, folder.open(), options.number, folder.photographs, run) ==
                batch::RunEnd::Stopped)
                break;
        } catch (...) {
            // A folder whose thumbnail folder or page cannot be written.
            if (!options.keepGoing)
                throw;
            host.printError(folder.path + " : " + userMessage(std::current_exception()));
            failed = true;
        }
    }
    host.finish();
    if (stopSignal != 0)
        return 128 + stopSignal;
    printSummary(host, total);
    if (!options.quiet)
        host.printLine("Terminé");
    return failed || !host.failed().empty() ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    keepStandardStreams();
    ignoreWriteSignals();
    const cli::Request request = cli::parseCommandLine(argc, argv);
    switch (request.kind) {
    case cli::Request::Kind::Wrong:
        std::fprintf(stderr, "%s\n%s", request.message.c_str(), cli::kUsage);
        return 2;
    case cli::Request::Kind::Help:
        std::fputs(cli::kUsage, stdout);
        std::fputs(cli::kHelp, stdout);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : reportOutputError(errno);
    case cli::Request::Kind::Version:
        std::printf("tamblure-batch %s\n", kVersion);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : reportOutputError(errno);
    case cli::Request::Kind::Run:
        break;
    }
    keepFreedMemoryForReuse();
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
