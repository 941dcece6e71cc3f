#include "support/whole_route.h"

#include "common/errors.h"
#include "imaging/anti_alias.h"
#include "imaging/reduction.h"

#include <algorithm>
#include <typeinfo>

namespace tamblure::test {

using imaging::Bitmap24;

namespace {

Bitmap24 newRaster24(std::int32_t width, std::int32_t height)
{
    Bitmap24 raster;
    raster.setPixelFormat(imaging::PixelFormat::Bits24);
    raster.setSize(width, height);
    return raster;
}

} // namespace

Outcome outcomeOf(const std::function<Bitmap24()>& make)
{
    Outcome outcome;
    try {
        outcome.raster = make();
    } catch (const Exception& e) {
        outcome.error = std::string(typeid(e).name()) + ": " + e.message();
    }
    return outcome;
}

Bitmap24 reducedWhole(const Bitmap24& decoded, const imaging::ReductionPlan& plan)
{
    if (plan.kind == imaging::ReductionPlan::Kind::ToSize) {
        Bitmap24 small = newRaster24(plan.width, plan.height);
        imaging::ReduitTaille(decoded, small);
        return small;
    }
    if (plan.factor == 1) {
        Bitmap24 copy = newRaster24(decoded.width(), decoded.height());
        std::copy(decoded.pixels(), decoded.pixels() + decoded.pixelBytes(), copy.pixels());
        return copy;
    }
    Bitmap24 small = newRaster24(decoded.width() / plan.factor, decoded.height() / plan.factor);
    imaging::ReduitFacteur(decoded, small, plan.factor);
    return small;
}

} // namespace tamblure::test
