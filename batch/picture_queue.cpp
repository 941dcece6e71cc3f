#include "batch/picture_queue.h"

#include "jpeg/jpeg_util.h"

#include <chrono>

namespace tamblure::batch {

namespace {

// How long the calling thread waits for a picture before it lets the host
// handle its events: the window repaints and answers within this time.
constexpr std::chrono::milliseconds kEventInterval{50};

} // namespace

PictureQueue::PictureQueue(const std::vector<FoundFile>& photographs, std::string folder, std::int32_t number,
                           unsigned workers, const ThumbnailRecords* keep)
    : photographs_(photographs), folder_(std::move(folder)), number_(number), workers_(workers), keep_(keep),
      results_(photographs.size())
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

Picture PictureQueue::make(const Job& job) const
{
    const FoundFile& photograph = photographs_[job.index];
    const std::filesystem::path thumbnail = thumbnailPath(folder_, photograph.name);
    if (keep_ != nullptr) {
        if (const auto written = stampOf(thumbnail, false)) {
            std::uint16_t width = 0, height = 0;
            bool three = false;
            const ThumbnailRecord* record = keep_->upToDate(photograph.name, photograph.stamp, *written, job.request);
            if (record != nullptr && jpeg::ProbeJpegHeader(thumbnail, width, height, three)) {
                Thumbnail kept;
                kept.width = width;
                kept.height = height;
                kept.orientation = record->orientation;
                kept.route = ThumbnailRoute::UpToDate;
                kept.photograph = photograph.stamp;
                kept.written = *written;
                return {kept, job.request};
            }
        }
    }
    return {makeThumbnail(photographPath(folder_, photograph.name), thumbnail, job.request), job.request};
}

bool PictureQueue::canHandOut() const
{
    return !closed_ && handedOut_ < photographs_.size() && inHand_ < workers_ &&
           handedOut_ - taken_ < 2 * static_cast<std::size_t>(workers_);
}

void PictureQueue::handOut(const RunHost& host)
{
    std::unique_lock lock(mutex_);
    while (canHandOut()) {
        const std::size_t index = handedOut_++;
        ++inHand_;
        // The host belongs to this thread; the lock is not needed to read it.
        lock.unlock();
        Job job{index, requestFrom(host, number_)};
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
            result.picture = make(job);
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
        return make(Job{i, requestFrom(host, number_)});
    }
    for (;;) {
        handOut(host);
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
