#include "batch/picture_queue.h"

#include <chrono>

namespace tamblure::batch {

namespace {

// How long the calling thread waits for a picture before it lets the host
// handle its events: the window repaints and answers within this time.
constexpr std::chrono::milliseconds kEventInterval{50};

} // namespace

PictureQueue::PictureQueue(std::size_t count, unsigned workers, Prepare prepare, Make make)
    : count_(count), workers_(workers), prepare_(std::move(prepare)), make_(std::move(make)), results_(count)
{
    threads_.reserve(workers);
    for (unsigned w = 0; w < workers; ++w)
        threads_.emplace_back([this](std::stop_token stop) { work(stop); });
}

PictureQueue::~PictureQueue()
{
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        jobs_.clear();
    }
    for (auto& thread : threads_)
        thread.request_stop();
    // The jthreads join here, each after the picture it has in hand.
}

bool PictureQueue::canHandOut() const
{
    return !closed_ && handedOut_ < count_ && inHand_ < workers_ &&
           handedOut_ - taken_ < 2 * static_cast<std::size_t>(workers_);
}

void PictureQueue::handOut()
{
    std::unique_lock lock(mutex_);
    while (canHandOut()) {
        const std::size_t index = handedOut_++;
        ++inHand_;
        // prepare reads the host, which belongs to this thread; the lock is
        // not needed for it.
        lock.unlock();
        Job job{index, prepare_(index)};
        lock.lock();
        jobs_.push_back(job);
        workReady_.notify_one();
    }
}

void PictureQueue::work(std::stop_token stop)
{
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            if (!workReady_.wait(lock, stop, [this] { return !jobs_.empty(); }))
                return;
            job = jobs_.front();
            jobs_.pop_front();
        }
        Result result;
        try {
            result.picture = make_(job.index, job.request);
        } catch (...) {
            result.error = std::current_exception();
        }
        result.finished = true;
        std::lock_guard lock(mutex_);
        results_[job.index] = std::move(result);
        --inHand_;
        pictureDone_.notify_all();
    }
}

std::optional<Picture> PictureQueue::take(std::size_t i, RunHost& host)
{
    if (workers_ == 0) {
        taken_ = i + 1;
        return make_(i, prepare_(i));
    }
    for (;;) {
        handOut();
        {
            std::unique_lock lock(mutex_);
            pictureDone_.wait_for(lock, kEventInterval, [&] { return results_[i].finished || canHandOut(); });
            if (results_[i].finished) {
                taken_ = i + 1;
                Result result = std::move(results_[i]);
                if (result.error)
                    std::rethrow_exception(result.error);
                return result.picture;
            }
            if (canHandOut())
                continue; // a worker is free: hand it the next picture first
        }
        host.processEvents();
        if (host.stopRequested())
            return std::nullopt;
    }
}

void PictureQueue::finishInHand(RunHost& host)
{
    std::unique_lock lock(mutex_);
    closed_ = true;
    inHand_ -= jobs_.size();
    jobs_.clear();
    while (inHand_ > 0) {
        if (pictureDone_.wait_for(lock, kEventInterval, [this] { return inHand_ == 0; }))
            break;
        lock.unlock();
        host.processEvents();
        lock.lock();
    }
}

} // namespace tamblure::batch
