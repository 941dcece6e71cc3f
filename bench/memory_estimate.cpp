// The memory decode_memory.h counts for a photograph's thumbnail under one
// option of tamblure-batch, the route chosen as the per-image step chooses
// it, in MiB: what bench/bound_bench sets beside the peak it measures.
//
//   tamblure_memory_estimate FILE -s|-f NUMBER
//
// Prints "-" for a photograph the step would copy (no larger than the size)
// or that the decoders refuse from its headers.

#include "batch/thumbnail_plan.h"
#include "common/file_io.h"
#include "jpeg/decode_memory.h"
#include "jpeg/jpeg_util.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

int main(int argc, char** argv)
{
    using namespace tamblure;
    if (argc != 4 || (std::strcmp(argv[2], "-s") != 0 && std::strcmp(argv[2], "-f") != 0)) {
        std::fprintf(stderr, "usage: %s FILE -s|-f NUMBER\n", argv[0]);
        return 2;
    }
    const std::filesystem::path path = argv[1];
    const std::int32_t number = std::atoi(argv[3]);
    const PhotographBytes photograph(path);
    const std::optional<jpeg::JpegFrame> frame = jpeg::ProbeJpegFrame(photograph.bytes());
    if (!frame || !jpeg::withinWorkBound(*frame, photograph.bytes().size())) {
        std::puts("-");
        return 0;
    }
    batch::ThumbnailRequest request;
    request.criterion = argv[2][1] == 's' ? batch::Criterion::LargestDimension : batch::Criterion::ReductionFactor;
    request.number = number;
    const batch::ThumbnailPlan plan = batch::planThumbnail(*frame, request);
    if (plan.copied) {
        std::puts("-");
        return 0;
    }
    jpeg::DecodeRoute route;
    route.scale = plan.scale;
    route.plan = plan.reduction;
    // Photographs up to PhotographBytes::kReadWhole are read whole.
    const std::uint64_t size = photograph.bytes().size();
    route.fileBytesRead = size <= PhotographBytes::kReadWhole ? size : 0;
    std::printf("%.0f\n", static_cast<double>(jpeg::thumbnailMemory(*frame, route)) / 1048576.0);
    return 0;
}
