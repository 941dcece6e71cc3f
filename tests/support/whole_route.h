#pragma once

// The whole-raster reductions the step made before the full-size route was
// streamed, which the streamed route is held to byte for byte, and outcomes
// that may be errors, so that errors are compared as well.

#include "imaging/bitmap24.h"
#include "imaging/row_reducer.h"

#include <functional>
#include <string>

namespace tamblure::test {

// A raster, or the class and message of the error raised instead.
struct Outcome {
    imaging::Bitmap24 raster;
    std::string error;
};

Outcome outcomeOf(const std::function<imaging::Bitmap24()>& make);

// The whole picture reduced as the step did: to the plan's size by
// ReduitTaille, by its factor by ReduitFacteur, or copied for a factor of 1.
imaging::Bitmap24 reducedWhole(const imaging::Bitmap24& decoded, const imaging::ReductionPlan& plan);

} // namespace tamblure::test
