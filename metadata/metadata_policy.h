#pragma once

// What a thumbnail may carry of its photograph's metadata.

namespace tamblure::metadata {

enum class MetadataPolicy {
    // The EXIF segment (its size rewritten), the IPTC block, the comment, the
    // colour profile.
    Everything,
    // The same, the EXIF segment without its GPS directory.
    WithoutGps,
    // The colour profile, and the orientation when it is not 1, alone in a
    // small EXIF segment, so that a turned photograph still shows upright.
    OrientationOnly
};

} // namespace tamblure::metadata
