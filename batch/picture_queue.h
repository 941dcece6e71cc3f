#pragma once

// The pictures of a run, handed out in search order to the threads that make
// them and taken back in search order. The queue only schedules: what a
// picture is, and how it is made, is the caller's. The host is only ever
// called from the thread that runs the batch: each picture's request is
// asked for (prepare) when the picture is handed out, so a change made in the
// window during a run applies to the pictures not yet handed out.
//
// With no worker thread, take(i) makes picture i on the calling thread, then
// and there, one picture after the other. With workers, at most one picture
// per worker is in hand at a time, and at most two per worker wait to be
// taken; while the calling thread waits for the next picture in order it lets
// the host handle its events at least every 50 ms.

#include "batch/run_host.h"
#include "batch/traite_image.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

namespace tamblure::batch {

class PictureQueue {
public:
    // prepare(i): picture i's request, on the calling thread, when it is
    // handed out. make(i, request): the picture, on a worker (or on the
    // calling thread when there are no workers); it may raise.
    using Prepare = std::function<ThumbnailRequest(std::size_t index)>;
    using Make = std::function<Picture(std::size_t index, const ThumbnailRequest& request)>;

    PictureQueue(std::size_t count, unsigned workers, Prepare prepare, Make make);
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

    bool canHandOut() const; // with the lock held
    void handOut();
    void work(std::stop_token stop);

    const std::size_t count_;
    const unsigned workers_;
    const Prepare prepare_;
    const Make make_;
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
