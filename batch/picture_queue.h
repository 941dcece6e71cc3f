#pragma once

// The pictures of a run, handed out in search order to the threads that make
// them and taken back in search order. The host is only ever called from the
// thread that runs the batch: each picture's request (criterion, number,
// quality) is read from it when the picture is handed out, so a change made
// in the window during a run applies to the pictures not yet handed out.
//
// With no worker thread, take(i) makes picture i on the calling thread, then
// and there, one picture after the other. With workers, at most one picture
// per worker is in hand at a time, and at most two per worker wait to be
// taken; while the calling thread waits for the next picture in order it lets
// the host handle its events at least every 50 ms.

#include "batch/folder_search.h"
#include "batch/run_host.h"
#include "batch/thumbnail_records.h"
#include "batch/traite_image.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace tamblure::batch {

// One picture as the run records it: its thumbnail and what it was made
// with.
struct Picture {
    Thumbnail thumbnail;
    ThumbnailRequest request;
};

class PictureQueue {
public:
    // With `keep`, a thumbnail that its records say is up to date is kept as
    // it is, and only its frame header is read, for the page.
    PictureQueue(const std::vector<FoundFile>& photographs, std::string folder, std::int32_t number, unsigned workers,
                 const ThumbnailRecords* keep = nullptr);
    // Stops handing out and waits for the pictures in hand.
    ~PictureQueue();
    PictureQueue(const PictureQueue&) = delete;
    PictureQueue& operator=(const PictureQueue&) = delete;

    // Picture i, i following the last one taken. Raises the picture's error.
    // Nothing when the host asked to stop while waiting.
    std::optional<Picture> take(std::size_t i, RunHost& host);

    // Hands out nothing more and waits, handling the host's events, until the
    // pictures in hand are made: after an error or a stop request, so that no
    // file is left half-written and the window stays alive meanwhile.
    void finishInHand(RunHost& host);

private:
    struct Job {
        std::size_t index;
        ThumbnailRequest request;
    };
    struct Result {
        bool finished = false;
        Picture picture;
        std::exception_ptr error;
    };

    Picture make(const Job& job) const;
    bool canHandOut() const; // with the lock held
    void handOut(const RunHost& host);
    void work(std::stop_token stop);

    const std::vector<FoundFile>& photographs_;
    const std::string folder_;
    const std::int32_t number_;
    const unsigned workers_;
    const ThumbnailRecords* keep_;
    std::vector<Result> results_;
    std::size_t handedOut_ = 0; // pictures 0 .. handedOut_ - 1 were handed out
    std::size_t inHand_ = 0;    // handed out and not yet finished
    std::size_t taken_ = 0;     // pictures 0 .. taken_ - 1 were taken
    bool closed_ = false;       // nothing more is handed out
    std::deque<Job> jobs_;
    std::mutex mutex_;
    std::condition_variable_any workReady_;
    std::condition_variable_any pictureDone_;
    // Last: the threads are stopped and joined before anything they use goes,
    // also when the constructor fails part way.
    std::vector<std::jthread> threads_;
};

} // namespace tamblure::batch
