#include "batch/batch_run.h"

#include "batch/folder_search.h"
#include "batch/memory_budget.h"
#include "batch/number_conversion.h"
#include "batch/page_writer.h"
#include "batch/picture_queue.h"
#include "batch/run_page.h"
#include "batch/thumbnail_records.h"
#include "batch/traite_image.h"
#include "common/atomic_file.h"
#include "common/directory.h"
#include "common/errors.h"
#include "common/system_reason.h"
#include "common/translation.h"

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <set>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace tamblure::batch {

namespace {

// Thumbnails made between two writes of the records during a run.
constexpr std::int32_t kRecordsEvery = 500;

// The thumbnail folder inside the photographs' folder (or the folder of the
// thumbnails at twice the size inside it), made when missing and opened
// without following a link: a `tamblure` that is a link (to the
// photographs' folder itself, to another user's folder) would send every
// thumbnail over a photograph of the same name. So would a `tamblure` that
// is the photographs' folder itself under another name (a bind mount).
// Nothing is written before these checks.
Directory openThumbnailFolder(const Directory& photographs, std::string_view folderName = kThumbnailFolderName)
{
    const std::string name(folderName);
    const std::string shown = shownFolder(photographs) + name;
    if (::mkdirat(photographs.fd(), name.c_str(), 0777) != 0 && errno != EEXIST)
        throw EInOutError(withReason(format(tr("Impossible de créer %1"), {shown}), errno));
    Directory thumbnails(photographs, name);
    if (!thumbnails.opened()) {
        // A link refused by O_NOFOLLOW (ELOOP, or ENOTDIR beside
        // O_DIRECTORY), or one seen there now. A folder seen there now after
        // ENOTDIR was something else a moment ago: a link swapped back for
        // the folder since.
        struct stat info {};
        const int error = thumbnails.openError();
        const bool seen = ::fstatat(photographs.fd(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
        const bool link =
            error == ELOOP || (seen && S_ISLNK(info.st_mode)) || (error == ENOTDIR && seen && S_ISDIR(info.st_mode));
        if (link)
            throw EInOutError(format(tr("Le dossier des vignettes « %1 » est un lien symbolique : il n'est pas suivi, "
                                        "pour qu'aucune vignette ne remplace un fichier ailleurs"),
                                     {shown}));
        // A file in the way: the folder could not be made.
        throw EInOutError(withReason(format(tr("Impossible de créer %1"), {shown}), error == ENOTDIR ? EEXIST : error));
    }
    if (thumbnails.sameAs(photographs))
        throw EInOutError(format(tr("Le dossier des vignettes « %1 » est le dossier des photographies lui-même : "
                                    "les vignettes y remplaceraient les photographies"),
                                 {shown}));
    return thumbnails;
}

// The folder's own name, for a page without a title: "Vacances" for
// "Photos/Vacances/", and for "." the name of the working folder.
std::string folderName(const Directory& folder)
{
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(folder.path(), error);
    path = (error ? folder.path() : path).lexically_normal();
    if (!path.has_filename())
        path = path.parent_path();
    return path.filename().string();
}

} // namespace

RunEnd Button1Click(RunHost& host, const std::string& folderText, const std::string& numberText)
{
    return runBatch(host, folderText, numberText, RunOptions{});
}

RunEnd runBatch(RunHost& host, const std::string& folderText, const std::string& numberText, const RunOptions& options)
{
    const std::int32_t number = StrToInt(numberText);
    if (number < 1)
        throw EConvertError(tr("La valeur doit être supérieure ou égale à 1"));

    host.clearList();

    if (folderText.empty())
        throw EInOutError(tr("Aucun dossier n'est indiqué : choisissez le dossier des images"));
    std::string folder = folderText;
    if (folder.back() != '/')
        folder += '/';
    const Directory photographs = openFolder(folder);
    return runFolder(host, photographs, number, findPhotographs(photographs), options);
}

namespace {

// One folder's run from its preparation to its end: the thumbnail folder,
// the records and the page are prepared when it is made, the pictures made
// by makePictures, and the page put in place by finish. The records are
// saved however the run ends (what was made is recorded, and a later run
// brings the rest up to date); the page only when the run gets to its end.
class FolderRun {
public:
    // A run without photographs (a modern page of sub-folder links only)
    // makes no thumbnail folder.
    FolderRun(RunHost& host, const Directory& folder, std::int32_t number, const RunOptions& options, bool photographs)
        : host_(host), options_(options), photographs_(folder),
          thumbnails_(photographs ? openThumbnailFolder(folder) : Directory()),
          doubled_(photographs && options.doubled ? openThumbnailFolder(thumbnails_, kDoubledFolderName) : Directory())
    {
        state_.folder = shownFolder(folder);
        state_.number = number;
        // What runs killed before their end left behind.
        removeAbandonedTemporaries(photographs_);
        for (const Directory* made : {&thumbnails_, &doubled_})
            if (made->opened())
                removeAbandonedTemporaries(*made);
        if (thumbnails_.opened() && (options.record || options.update)) {
            records_.emplace(thumbnails_);
            if (doubled_.opened())
                doubledRecords_.emplace(doubled_);
            if (options.update) {
                records_->load();
                if (doubledRecords_)
                    doubledRecords_->load();
            }
        }
        if (host.pageWanted()) {
            state_.pageWriter = pageFor(host, folderName(folder));
            page_.emplace(photographs_, "index.html");
            if (page_->open()) {
                state_.page = &*page_;
                state_.pageWriter->begin(*page_);
            }
        }
    }
    ~FolderRun() { saveRecords(); }
    FolderRun(const FolderRun&) = delete;
    FolderRun& operator=(const FolderRun&) = delete;

    RunEnd makePictures(const std::vector<FoundFile>& photographs);
    // Removes the thumbnails of photographs gone, when asked; photographs
    // are every entry the search found.
    void prune(const std::vector<FoundFile>& photographs);

    // Every thumbnail is made by now; a page that could not be written is
    // the run's last error.
    void finish()
    {
        if (state_.page != nullptr)
            state_.pageWriter->end(*state_.page, state_.imageCounter);
        // What the run has listed is on the disk before it says it is done.
        if (!syncThumbnails())
            throw EWriteError(withReason(
                format(tr("Impossible d'écrire sur le disque les vignettes de %1"), {thumbnails_.path().string()}),
                errno));
        if (page_)
            page_->finish();
    }

private:
    void record(const FoundFile& photograph, const Picture& picture);

    // The thumbnails made so far reach the disk before anything that names
    // them (records, page) takes its place: after a power loss, whatever a
    // record or the page speaks of is there. One syncfs writes them all.
    bool syncThumbnails()
    {
        if (unsynced_ && thumbnails_.syncFileSystem())
            unsynced_ = false;
        return !unsynced_;
    }
    // Records of thumbnails that may not be on the disk are not written:
    // the next run adopts those thumbnails, or makes them again.
    void saveRecords() noexcept
    {
        if (records_ && syncThumbnails()) {
            records_->save();
            if (doubledRecords_)
                doubledRecords_->save();
        }
    }

    RunHost& host_;
    const RunOptions& options_;
    const Directory& photographs_;
    const Directory thumbnails_;
    const Directory doubled_; // tamblure/2x, when the run makes it
    bool unsynced_ = false;   // thumbnails written since the last sync
    std::int32_t made_ = 0;   // thumbnails made (not kept) so far
    RunState state_;
    std::optional<ThumbnailRecords> records_;
    std::optional<ThumbnailRecords> doubledRecords_;
    std::optional<PageFile> page_;
};

RunEnd FolderRun::makePictures(const std::vector<FoundFile>& photographs)
{
    state_.imageCounter = 0;
    host_.showProgress(0, photographs.size());
    const ThumbnailRecords* keep = options_.update ? &*records_ : nullptr;
    const PictureFolder folder{photographs_, thumbnails_, doubled_.opened() ? &doubled_ : nullptr};
    StepExtras extras;
    extras.doubledRecords = options_.update && doubledRecords_ ? &*doubledRecords_ : nullptr;
    // Only the modern page shows captions.
    extras.caption = state_.pageWanted() && host_.pageStyle() == PageStyle::Modern;
    MemoryBudget memory(options_.memoryBudget);
    PictureQueue pictures(
        photographs.size(), options_.workers, [this](std::size_t) { return requestFrom(host_, state_.number); },
        [&](std::size_t i, const ThumbnailRequest& request) {
            return TraiteImage(folder, photographs[i], request, keep, &memory, extras);
        });
    try {
        for (std::size_t i = 0; i < photographs.size(); ++i) {
            if (i > 0) {
                host_.processEvents();
                if (host_.stopRequested()) {
                    pictures.finishInHand(host_);
                    return RunEnd::Stopped;
                }
            }
            std::optional<Picture> picture;
            try {
                picture = pictures.take(i, host_);
            } catch (...) {
                if (!options_.keepGoing)
                    throw;
                host_.reportFailure(photographs[i].name, userMessage(std::current_exception()));
                host_.showProgress(i + 1, photographs.size());
                continue;
            }
            if (!picture) {
                pictures.finishInHand(host_);
                return RunEnd::Stopped;
            }
            record(photographs[i], *picture);
            host_.showProgress(i + 1, photographs.size());
        }
    } catch (...) {
        pictures.finishInHand(host_);
        throw;
    }
    return RunEnd::Finished;
}

void FolderRun::record(const FoundFile& photograph, const Picture& picture)
{
    recordPicture(host_, state_, photograph.name, photograph.size, picture);
    const Thumbnail& t = picture.thumbnail;
    const bool made =
        t.route != ThumbnailRoute::UpToDate || (picture.doubled && picture.doubled->route != ThumbnailRoute::UpToDate);
    if (made) {
        unsynced_ = true;
        ++made_;
    }
    if (!records_)
        return;
    records_->set(photograph.name, {picture.request, t.photograph, t.written, t.width, t.height, t.orientation});
    if (const Thumbnail* d = picture.doubled ? &*picture.doubled : nullptr; d != nullptr && doubledRecords_)
        doubledRecords_->set(photograph.name, {*doubledRequest(picture.request), d->photograph, d->written, d->width,
                                               d->height, d->orientation});
    // Now and then, so that a run killed part way keeps most of what it made.
    if (made && made_ % kRecordsEvery == 0)
        saveRecords();
}

void FolderRun::prune(const std::vector<FoundFile>& photographs)
{
    if (!options_.prune || !records_)
        return;
    std::set<std::string> present;
    for (const FoundFile& photograph : photographs)
        present.insert(photograph.name);
    const auto ours = [this](const std::string& name) {
        return inShard(name, options_.shardPart, options_.shardParts);
    };
    for (const std::string& name : records_->prune(present, ours))
        host_.reportPruned(name);
    // The thumbnails at twice the size go with their photographs, silently:
    // the thumbnail's own line says the photograph is gone.
    if (doubledRecords_)
        doubledRecords_->prune(present, ours);
}

} // namespace

RunEnd runFolder(RunHost& host, const Directory& folder, std::int32_t number, const std::vector<FoundFile>& photographs,
                 const RunOptions& options)
{
    // A folder without photographs keeps its page as it is, unless the
    // modern page leads from it to its sub-folders' pages.
    if (photographs.empty() &&
        !(host.pageWanted() && host.pageStyle() == PageStyle::Modern && !host.pageLinks().subFolders.empty()))
        return RunEnd::Finished;
    FolderRun run(host, folder, number, options, !photographs.empty());
    const RunEnd end = run.makePictures(photographs);
    if (end == RunEnd::Finished) {
        run.prune(photographs);
        run.finish();
    }
    return end;
}

} // namespace tamblure::batch
