#include "app/batch_run.h"

#include "app/folder_search.h"
#include "app/number_conversion.h"
#include "app/page_writer.h"
#include "app/traite_image.h"
#include "common/atomic_file.h"
#include "common/errors.h"
#include "common/system_reason.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <thread>
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

// Pictures made by worker threads and handed back in search order.
class ParallelPictures {
public:
    ParallelPictures(const RunHost& host, const RunState& state, const std::vector<FoundFile>& photographs,
                     unsigned jobs)
        : photographs_(photographs), results_(photographs.size())
    {
        // Requests are read from the host here, on the calling thread.
        requests_.reserve(photographs.size());
        for (std::size_t i = 0; i < photographs.size(); ++i)
            requests_.push_back(requestFrom(host, state.number));
        folder_ = state.folder;
        for (unsigned j = 0; j < jobs; ++j)
            workers_.emplace_back([this] { work(); });
    }

    ~ParallelPictures()
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        for (auto& worker : workers_)
            worker.join();
    }

    ParallelPictures(const ParallelPictures&) = delete;
    ParallelPictures& operator=(const ParallelPictures&) = delete;

    // Waits for picture i; raises its error when it failed.
    Thumbnail take(std::size_t i)
    {
        std::unique_lock lock(mutex_);
        done_.wait(lock, [&] { return results_[i].finished; });
        if (results_[i].error)
            std::rethrow_exception(results_[i].error);
        return results_[i].thumbnail;
    }

private:
    struct Result {
        bool finished = false;
        Thumbnail thumbnail;
        std::exception_ptr error;
    };

    void work()
    {
        for (;;) {
            std::size_t i;
            {
                std::lock_guard lock(mutex_);
                if (stopping_ || next_ >= photographs_.size())
                    return;
                i = next_++;
            }
            Result result;
            try {
                const std::string& name = photographs_[i].name;
                result.thumbnail =
                    makeThumbnail(photographPath(folder_, name), thumbnailPath(folder_, name), requests_[i]);
            } catch (...) {
                result.error = std::current_exception();
            }
            result.finished = true;
            std::lock_guard lock(mutex_);
            // After an error no new picture is started.
            if (result.error)
                stopping_ = true;
            results_[i] = std::move(result);
            done_.notify_all();
        }
    }

    const std::vector<FoundFile>& photographs_;
    std::vector<ThumbnailRequest> requests_;
    std::string folder_;
    std::vector<Result> results_;
    std::mutex mutex_;
    std::condition_variable done_;
    std::size_t next_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

} // namespace

RunEnd Button1Click(RunHost& host, const std::string& folderText, const std::string& numberText)
{
    return runBatch(host, folderText, numberText, 1);
}

RunEnd runBatch(RunHost& host, const std::string& folderText, const std::string& numberText, unsigned jobs)
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
    std::optional<ParallelPictures> pictures;
    if (jobs > 1 && photographs.size() > 1)
        pictures.emplace(host, state, photographs,
                         static_cast<unsigned>(std::min<std::size_t>(jobs, photographs.size())));
    for (std::size_t i = 0; i < photographs.size(); ++i) {
        if (i > 0) {
            host.processEvents();
            if (host.stopRequested())
                return RunEnd::Stopped;
        }
        const FoundFile& photograph = photographs[i];
        if (!pictures) {
            TraiteImage(host, state, photograph.name, photograph.size);
            continue;
        }
        // The cell is opened before the picture is known to have succeeded,
        // as the one-at-a-time run does.
        if (host.pageWanted() && state.page != nullptr)
            OuvreCellule(*state.page, host, state.imageCounter);
        recordPicture(host, state, photograph.name, photograph.size, pictures->take(i));
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
