#include "batch/memory_budget.h"

#include <algorithm>
#include <utility>

namespace tamblure::batch {

MemoryBudget::Reservation::~Reservation()
{
    if (budget_ != nullptr)
        budget_->release(bytes_);
}

MemoryBudget::Reservation::Reservation(Reservation&& other) noexcept
    : budget_(std::exchange(other.budget_, nullptr)), bytes_(other.bytes_)
{}

MemoryBudget::Reservation& MemoryBudget::Reservation::operator=(Reservation&& other) noexcept
{
    if (this != &other) {
        if (budget_ != nullptr)
            budget_->release(bytes_);
        budget_ = std::exchange(other.budget_, nullptr);
        bytes_ = other.bytes_;
    }
    return *this;
}

MemoryBudget::Reservation MemoryBudget::reserve(std::uint64_t bytes)
{
    bytes = std::min(bytes, total_);
    std::unique_lock lock(mutex_);
    freed_.wait(lock, [&] { return taken_ + bytes <= total_; });
    taken_ += bytes;
    return Reservation(this, bytes);
}

void MemoryBudget::release(std::uint64_t bytes)
{
    {
        std::lock_guard lock(mutex_);
        taken_ -= bytes;
    }
    freed_.notify_all();
}

} // namespace tamblure::batch
