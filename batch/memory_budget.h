#pragma once

// The memory a run may take for its pictures, shared by the threads that
// make them: each picture reserves what its decode and its thumbnail will
// hold (known from its frame header and its route, jpeg/decode_memory.h)
// before it starts, and waits while the budget is taken by others. So a run
// holds at most the budget for its pictures, whatever the number of workers
// (the allocator's defaults give their large buffers back to the system
// when freed; bench/budget_bench measures it). Each picture takes one reservation for its whole
// work, never a second one while it holds the first, so no two pictures can
// wait on each other.

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace tamblure::batch {

class MemoryBudget {
public:
    // 1 GiB unless the user says otherwise.
    static constexpr std::uint64_t kDefault = std::uint64_t{1} << 30;

    explicit MemoryBudget(std::uint64_t bytes) : total_(bytes) {}
    MemoryBudget(const MemoryBudget&) = delete;
    MemoryBudget& operator=(const MemoryBudget&) = delete;

    std::uint64_t total() const { return total_; }

    // Bytes taken from the budget until the object goes.
    class Reservation {
    public:
        Reservation() = default;
        ~Reservation();
        Reservation(Reservation&& other) noexcept;
        Reservation& operator=(Reservation&& other) noexcept;
        Reservation(const Reservation&) = delete;
        Reservation& operator=(const Reservation&) = delete;

    private:
        friend class MemoryBudget;
        Reservation(MemoryBudget* budget, std::uint64_t bytes) : budget_(budget), bytes_(bytes) {}
        MemoryBudget* budget_ = nullptr;
        std::uint64_t bytes_ = 0;
    };

    // Waits until `bytes` are free, and takes them. Nothing is taken (and
    // nothing waited for) for more than the whole budget: the caller refuses
    // the picture, since it could never start.
    bool fits(std::uint64_t bytes) const { return bytes <= total_; }
    Reservation reserve(std::uint64_t bytes);

private:
    void release(std::uint64_t bytes);

    const std::uint64_t total_;
    std::uint64_t taken_ = 0;
    std::mutex mutex_;
    std::condition_variable freed_;
};

} // namespace tamblure::batch
