#pragma once

// The full-size route, streamed: pictures that are not three-component
// (greyscale, CMYK, YCCK) are decoded at full size, a band of rows at a
// time, and each band goes straight into the reduction, so that the picture
// never exists whole. Greyscale rows are quantised to libjpeg's 236 greys
// (grey_quantizer.h) and reduced on their one channel; four-component rows
// are turned into blue, green, red as TJPEGImage::decode does.

#include "imaging/bitmap24.h"
#include "imaging/row_reducer.h"
#include "jpeg/jpeg_input.h"

#include <filesystem>

namespace tamblure::jpeg {

// The thumbnail of the file under the plan: byte for byte what
// DecodeJpegFullSize followed by ReduitTaille (ToSize) or ReduitFacteur
// (ByFactor) gives, the decoded picture itself for a factor of 1. Raises
// EFOpenError ("Impossible d'ouvrir le fichier %s"); EJPEG ("Erreur JPEG
// #%d") with the code TJPEGImage::decode raises for the same file, under the
// same decoder limits (blocks for the file's bytes, memory, passes, scans:
// libjpeg_trap.h); EOutOfMemory, before any row is
// read, when the picture would pass 1 GiB as a 24-bit raster, as the
// whole-picture decode refused it, although no such raster is made; and the
// reductions' own errors once every row is decoded.
imaging::Bitmap24 DecodeJpegFullSizeReduced(const std::filesystem::path& path, const imaging::ReductionPlan& plan);

// The same from an input whose bytes may be in memory already.
imaging::Bitmap24 DecodeJpegFullSizeReduced(const JpegInput& input, const imaging::ReductionPlan& plan);

} // namespace tamblure::jpeg
