#pragma once

// What the step makes of one photograph under a request, worked out from its
// frame header alone: whether it is copied whole, and otherwise how far the
// decoder reduces it, what the resampling does after, and the thumbnail's
// size. The step follows the plan; a run that keeps earlier thumbnails checks
// them against it.

#include "batch/traite_image.h"
#include "imaging/reduction.h"
#include "jpeg/jpeg_util.h"

#include <cstdint>

namespace tamblure::batch {

struct ThumbnailPlan {
    bool copied = false; // small enough: the photograph is its own thumbnail
    // Otherwise: decoded at 1/2^scale (three-component photographs; the
    // others at full size), then reduced as planned on the full-size picture
    // (a factor counts what the decoder has not done yet).
    std::uint8_t scale = 0;
    imaging::ReductionPlan reduction;
    // The thumbnail's size.
    std::int32_t width = 0;
    std::int32_t height = 0;
};

ThumbnailPlan planThumbnail(const jpeg::JpegFrame& frame, const ThumbnailRequest& request);

// The decoding scale under "Dimension maximale": the largest k, up to 3, for
// which largest / 2^k is still at least limit (largest > limit >= 1).
std::uint8_t decodingScaleForLimit(std::int32_t largest, std::int32_t limit);

// The decoding scale under "Facteur de réduction": the largest power of two,
// up to 8, that divides the factor.
std::uint8_t decodingScaleForFactor(std::int32_t factor);

} // namespace tamblure::batch
