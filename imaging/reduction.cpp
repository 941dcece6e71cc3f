#include "imaging/reduction.h"

#include "common/errors.h"
#include "imaging/anti_alias.h"
#include "imaging/bilinear.h"

#include <string>

namespace tamblure::imaging {

void ReduitTaille(const Bitmap24& source, Bitmap24& dest)
{
    checkWidthRatio(source.width(), dest.width());
    // From half the width down, every source pixel has its share in the area
    // average; above that, blocks of one or two pixels would show as jagged
    // edges, and interpolation does better.
    const double ratio = static_cast<double>(source.width()) / static_cast<double>(dest.width());
    if (ratio >= 2.0)
        ReduitMoyenne(source, dest);
    else
        ReduitBilineaire(source, dest);
}

Bitmap24 reduceAsPlanned(Bitmap24 source, const ReductionPlan& plan)
{
    if (plan.kind == ReductionPlan::Kind::ToSize) {
        Bitmap24 small = makeRaster24(plan.width, plan.height);
        ReduitTaille(source, small);
        return small;
    }
    if (plan.factor == 1)
        return source;
    Bitmap24 small = makeRaster24(source.width() / plan.factor, source.height() / plan.factor);
    ReduitFacteur(source, small, plan.factor);
    return small;
}

} // namespace tamblure::imaging
