#include "support/whole_route.h"

#include "common/errors.h"
#include "imaging/anti_alias.h"
#include "imaging/reduction.h"

#include <algorithm>
#include <typeinfo>

namespace tamblure::test {

using imaging::Bitmap24;

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
        Bitmap24 small = imaging::makeRaster24(plan.width, plan.height);
        imaging::ReduitTaille(decoded, small);
        return small;
    }
    if (plan.factor == 1) {
        Bitmap24 copy = imaging::makeRaster24(decoded.width(), decoded.height());
        std::copy(decoded.pixels(), decoded.pixels() + decoded.pixelBytes(), copy.pixels());
        return copy;
    }
    Bitmap24 small = imaging::makeRaster24(decoded.width() / plan.factor, decoded.height() / plan.factor);
    imaging::ReduitFacteur(decoded, small, plan.factor);
    return small;
}

} // namespace tamblure::test
