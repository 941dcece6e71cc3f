#pragma once

// A photograph copied whole as its own thumbnail, under a policy that keeps
// some of its metadata out (MetadataPolicy): the copy is then the
// photograph's bytes without the segments the policy removes, wherever they
// stand, up to the end of its image. Bytes after the end of image (the
// further pictures of a multi-picture file, a maker's trailer) may carry
// metadata of their own and are left out, and so is the multi-picture index
// (an APP2 "MPF" segment) that names them.
//
// The walk goes through the photograph as a decoder does: segments by their
// lengths, the entropy-coded data after each start of scan byte by byte up to
// the next marker (an FF followed by anything but 00, a restart marker or
// another FF). A segment that the file cuts short, or a length below 2, ends
// the walk: the rest is kept as it is.

#include "metadata/segment_source.h"
#include "metadata/thumbnail_layout.h"

#include <cstdint>
#include <span>

namespace tamblure::metadata {

// Adds to layout the photograph's bytes from `from` (a segment boundary) on
// as the policy (not Everything) leaves them:
// - an EXIF segment (APP1 "Exif") without its GPS directory (WithoutGps), not
//   at all when its first directory cannot be read; none under
//   OrientationOnly;
// - any other APP1 (an XMP packet): left out under OrientationOnly, and under
//   WithoutGps when it holds the letters "GPS" anywhere;
// - IPTC (APP13) and comments: left out under OrientationOnly;
// - other application segments: only the JFIF header and its thumbnail
//   (APP0 "JFIF", "JFXX"), the ICC profile and Adobe's colour transform
//   (APP14) under OrientationOnly.
void addFilteredCopy(ThumbnailLayout& layout, SegmentSource& photograph, std::uint64_t from, MetadataPolicy policy);

// True when the bytes hold "GPS".
bool mentionsGps(std::span<const std::uint8_t> bytes);

} // namespace tamblure::metadata
