#include "batch/batch_run.h"

#include "batch/folder_search.h"
#include "batch/number_conversion.h"
#include "batch/page_writer.h"
#include "batch/picture_queue.h"
#include "batch/thumbnail_records.h"
#include "batch/traite_image.h"
#include "common/atomic_file.h"
#include "common/errors.h"
#include "common/system_reason.h"

#include <cerrno>
#include <optional>
#include <sys/stat.h>
#include <vector>

namespace tamblure::batch {

namespace {

// Pictures between two writes of the records during a run.
constexpr std::int32_t kRecordsEvery = 500;

void makeThumbnailFolder(const std::string& folder)
{
    const std::string thumbnails = folder + std::string(kThumbnailFolderName);
    std::error_code ec;
    if (std::filesystem::is_directory(thumbnails, ec))
        return;
    if (::mkdir(thumbnails.c_str(), 0777) == 0)
        return;
    const int error = errno;
    if (!(error == EEXIST && std::filesystem::is_directory(thumbnails, ec)))
        throw EInOutError(withReason("Impossible de créer " + thumbnails, error));
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
        throw EConvertError("La valeur doit être supérieure ou égale à 1");

    host.clearList();

    if (folderText.empty())
        throw EInOutError("Aucun dossier n'est indiqué : choisissez le dossier des images");
    std::string folder = folderText;
    if (folder.back() != '/')
        folder += '/';
    return runFolder(host, folder, number, findPhotographs(folder), options);
}

RunEnd runFolder(RunHost& host, const std::string& folder, std::int32_t number,
                 const std::vector<FoundFile>& photographs, const RunOptions& options)
{
    if (photographs.empty())
        return RunEnd::Finished;
    RunState state;
    state.folder = folder;
    state.number = number;

    makeThumbnailFolder(state.folder);
    const std::string thumbnails = state.folder + std::string(kThumbnailFolderName);
    // What runs killed before their end left behind.
    removeAbandonedTemporaries(state.folder);
    removeAbandonedTemporaries(thumbnails);

    // The records are written however the run ends: what was made is
    // recorded, and a later run brings the rest up to date.
    std::optional<ThumbnailRecords> records;
    if (options.record || options.update) {
        records.emplace(thumbnails);
        if (options.update)
            records->load();
    }
    struct SaveRecords {
        std::optional<ThumbnailRecords>& records;
        ~SaveRecords()
        {
            if (records)
                records->save();
        }
    } saveRecords{records};

    // The page is put in place only when the run gets to its end; a run
    // stopped or broken off by an error leaves the earlier page as it was.
    std::optional<PageFile> page;
    if (host.pageWanted()) {
        page.emplace(state.folder + "index.html");
        if (page->open()) {
            state.page = &*page;
            EcritEntete(*page, host);
        }
    }

    state.imageCounter = 0;
    host.showProgress(0, photographs.size());
    PictureQueue pictures(photographs, state.folder, state.number, options.workers,
                          options.update ? &*records : nullptr);
    try {
        for (std::size_t i = 0; i < photographs.size(); ++i) {
            if (i > 0) {
                host.processEvents();
                if (host.stopRequested()) {
                    pictures.finishInHand(host);
                    return RunEnd::Stopped;
                }
            }
            const FoundFile& photograph = photographs[i];
            std::optional<Picture> picture;
            try {
                picture = pictures.take(i, host);
            } catch (...) {
                if (!options.keepGoing)
                    throw;
                host.reportFailure(photograph.name, userMessage(std::current_exception()));
                host.showProgress(i + 1, photographs.size());
                continue;
            }
            if (!picture) {
                pictures.finishInHand(host);
                return RunEnd::Stopped;
            }
            if (host.pageWanted() && state.page != nullptr)
                OuvreCellule(*state.page, host, state.imageCounter);
            recordPicture(host, state, photograph.name, photograph.size, picture->thumbnail);
            if (records) {
                const Thumbnail& t = picture->thumbnail;
                records->set(photograph.name, {picture->request, t.photograph, t.written, t.orientation});
                // Now and then, so that a run killed part way keeps most of
                // what it made.
                if (state.imageCounter % kRecordsEvery == 0)
                    records->save();
            }
            host.showProgress(i + 1, photographs.size());
        }
    } catch (...) {
        pictures.finishInHand(host);
        throw;
    }

    if (host.pageWanted() && state.page != nullptr)
        EcritPied(*state.page, host, state.imageCounter);
    // Every thumbnail is made by now; a page that could not be written is
    // the run's last error.
    if (page)
        page->finish();
    return RunEnd::Finished;
}

} // namespace tamblure::batch
