#include "app/batch_run.h"

#include "app/folder_search.h"
#include "app/number_conversion.h"
#include "app/page_writer.h"
#include "app/picture_queue.h"
#include "app/traite_image.h"
#include "common/atomic_file.h"
#include "common/errors.h"
#include "common/system_reason.h"

#include <cerrno>
#include <optional>
#include <sys/stat.h>
#include <vector>

namespace tamblure::app {

namespace {

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

RunEnd runBatch(RunHost& host, const std::string& folderText, const std::string& numberText,
                const RunOptions& options)
{
    RunState state;
    state.number = StrToInt(numberText);
    if (state.number < 1)
        throw EConvertError("La valeur doit être supérieure ou égale à 1");

    host.clearList();

    if (folderText.empty())
        throw EInOutError("Aucun dossier n'est indiqué : choisissez le dossier des images");
    state.folder = folderText;
    if (state.folder.back() != '/')
        state.folder += '/';

    const std::vector<FoundFile> photographs = findPhotographs(state.folder);
    if (photographs.empty())
        return RunEnd::Finished;

    makeThumbnailFolder(state.folder);
    // What runs killed before their end left behind.
    removeAbandonedTemporaries(state.folder);
    removeAbandonedTemporaries(state.folder + std::string(kThumbnailFolderName));

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
    PictureQueue pictures(photographs, state.folder, state.number, options.workers);
    try {
        for (std::size_t i = 0; i < photographs.size(); ++i) {
            if (i > 0) {
                host.processEvents();
                if (host.stopRequested()) {
                    pictures.finishInHand(host);
                    return RunEnd::Stopped;
                }
            }
            // The cell is opened before the picture is known to have
            // succeeded.
            if (host.pageWanted() && state.page != nullptr)
                OuvreCellule(*state.page, host, state.imageCounter);
            const std::optional<Thumbnail> thumbnail = pictures.take(i, host);
            if (!thumbnail) {
                pictures.finishInHand(host);
                return RunEnd::Stopped;
            }
            recordPicture(host, state, photographs[i].name, photographs[i].size, *thumbnail);
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

} // namespace tamblure::app
