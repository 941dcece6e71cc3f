#pragma once

#include "imaging/bitmap24.h"

#include <cstdint>

namespace tamblure::imaging {

// Brings source to dest's size: area average (ReduitMoyenne) when source is
// at least twice as wide as dest, bilinear interpolation (ReduitBilineaire)
// otherwise. Only the widths decide.
void ReduitTaille(const Bitmap24& source, Bitmap24& dest);

// What the step asks of a picture: a thumbnail of a given size, or a
// reduction by an integer factor.
struct ReductionPlan {
    enum class Kind {
        ToSize,
        ByFactor
    };
    Kind kind = Kind::ToSize;
    std::int32_t width = 0; // ToSize: the thumbnail's size, reduced as ReduitTaille does
    std::int32_t height = 0;
    std::int32_t factor = 1; // ByFactor: as ReduitFacteur does; 1 keeps the whole picture

    static ReductionPlan toSize(std::int32_t width, std::int32_t height) { return {Kind::ToSize, width, height, 1}; }
    static ReductionPlan byFactor(std::int32_t factor) { return {Kind::ByFactor, 0, 0, factor}; }
};

// The plan carried out on a whole 24-bit picture: ReduitTaille into a raster
// of the plan's size, ReduitFacteur into one of the picture's sides divided
// by the factor, or the picture itself for a factor of 1.
Bitmap24 reduceAsPlanned(Bitmap24 source, const ReductionPlan& plan);

} // namespace tamblure::imaging
