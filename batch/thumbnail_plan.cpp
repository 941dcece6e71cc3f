#include "batch/thumbnail_plan.h"

#include <algorithm>
#include <cmath>

namespace tamblure::batch {

namespace {

// The largest factor the box reduction takes.
constexpr std::int32_t kLargestBoxFactor = 99;

// The reduction by a factor of a picture of width × height (at full size),
// unless a side is shorter than the factor: that side would have no pixel
// left, and the whole side is brought down to one pixel instead. A factor
// that leaves the box reduction more than it takes is refused by it, as
// always, whatever the picture's size.
imaging::ReductionPlan factorPlan(std::int32_t factor, std::int32_t width, std::int32_t height,
                                  std::uint8_t decoderShare)
{
    if ((width >= factor && height >= factor) || (factor >> decoderShare) > kLargestBoxFactor)
        return imaging::ReductionPlan::byFactor(factor);
    return imaging::ReductionPlan::toSize(std::max(1, width / factor), std::max(1, height / factor));
}

} // namespace

std::uint8_t decodingScaleForLimit(std::int32_t largest, std::int32_t limit)
{
    // log2 in extended precision, so that exact powers of two (400 / 200)
    // give exactly 1 and are not truncated to 0.
    const long double ratio = static_cast<long double>(largest) / static_cast<long double>(limit);
    const long double k = std::trunc(std::log(ratio) / std::log(2.0L));
    return static_cast<std::uint8_t>(std::clamp(k, 0.0L, 3.0L));
}

std::uint8_t decodingScaleForFactor(std::int32_t factor)
{
    std::uint8_t k = 3;
    while (k > 0 && factor % (std::int32_t{1} << k) != 0)
        --k;
    return k;
}

ThumbnailPlan planThumbnail(const jpeg::JpegFrame& frame, const ThumbnailRequest& request)
{
    const std::int32_t width = frame.width, height = frame.height;
    ThumbnailPlan plan;
    if (request.criterion == Criterion::LargestDimension) {
        const std::int32_t limit = request.number;
        const std::int32_t largest = std::max(width, height);
        if (largest <= limit) {
            plan.copied = true;
            plan.width = width;
            plan.height = height;
            return plan;
        }
        // The photograph's full size, whatever the decoding scale: the
        // longer side comes out exactly at the limit. 64-bit products, since
        // a side times the limit can pass 32 bits. The shorter side of a long
        // panorama would round down to nothing: it keeps one pixel.
        const auto side = [&](std::int32_t full) {
            return std::max<std::int32_t>(1, static_cast<std::int32_t>(std::int64_t{full} * limit / largest));
        };
        plan.reduction = imaging::ReductionPlan::toSize(side(width), side(height));
        if (frame.threeComponents())
            plan.scale = decodingScaleForLimit(largest, limit);
    } else {
        const std::uint8_t share = frame.threeComponents() ? decodingScaleForFactor(request.number) : 0;
        plan.reduction = factorPlan(request.number, width, height, share);
        if (plan.reduction.kind == imaging::ReductionPlan::Kind::ByFactor)
            plan.scale = share;
    }
    if (plan.reduction.kind == imaging::ReductionPlan::Kind::ToSize) {
        plan.width = plan.reduction.width;
        plan.height = plan.reduction.height;
        return plan;
    }
    // The decoder's sides are rounded up; the box reduction's cut down.
    const std::int32_t divisor = std::int32_t{1} << plan.scale;
    const std::int32_t left = request.number >> plan.scale;
    plan.width = (width + divisor - 1) / divisor / left;
    plan.height = (height + divisor - 1) / divisor / left;
    return plan;
}

} // namespace tamblure::batch
