#pragma once

// Under --update, a thumbnail already in place that needs no new work: one
// that its record says is up to date, or one without a record that was
// plainly made for this very request (adopted), whoever made it: the window,
// a run without --update, an earlier version whose records are of another
// format.

#include "batch/thumbnail_records.h"
#include "batch/traite_image.h"

#include <optional>

namespace tamblure::batch {

// The thumbnail of photograph, kept as it is, with what the page needs of
// it; nothing when it must be made again. Only a regular file (never a link)
// is kept.
//
// Adopted without a record, and only when the request carries every piece
// of metadata (a thumbnail made with less cannot be told apart): a
// thumbnail made after the photograph's last change (its modification time
// not before the photograph's change time), whose frame has exactly the size
// the request gives for this photograph and
// - for a photograph small enough to be copied whole, the photograph's
//   compressed data from its first scan on (as far as kComparedScanBytes);
// - for any other, the quantisation tables the encoder writes at the
//   requested quality, so that it was made with these settings.
// A kept thumbnail's access is brought to what its photograph grants now
// (limitAccess); one whose access cannot be brought there is made again.
std::optional<Thumbnail> keptThumbnail(const PictureFolder& folder, const FoundFile& photograph,
                                       const ThumbnailRequest& request, const ThumbnailRecords& records);

} // namespace tamblure::batch
