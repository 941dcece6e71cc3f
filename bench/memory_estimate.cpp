// The memory decode_memory.h counts for a photograph's thumbnail under one
// option of tamblure-batch, the route chosen as the per-image step chooses
// it, in MiB: what bench/bound_bench sets beside the peak it measures.
//
//   tamblure_memory_estimate FILE -s|-f NUMBER
//
// Prints "-" for a photograph the step would copy (no larger than the size)
// or that the decoders refuse from its headers.

#include "batch/traite_image.h"
#include "jpeg/decode_memory.h"

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
    jpeg::JpegFrame frame;
    if (!jpeg::readJpegFrame(jpeg::JpegInput::file(path), frame)) {
        std::puts("-");
        return 0;
    }
    const bool threeComponents = frame.components == 3;
    jpeg::DecodeRoute route;
    // Photographs up to 256 MiB are read whole (traite_image.cpp).
    const std::uint64_t size = std::filesystem::file_size(path);
    route.fileBytesRead = size <= (std::uint64_t{256} << 20) ? size : 0;
    if (argv[2][1] == 's') {
        const std::int32_t largest = std::max(frame.width, frame.height);
        if (largest <= number) {
            std::puts("-");
            return 0;
        }
        route.plan =
            imaging::ReductionPlan::toSize(static_cast<std::int32_t>(std::int64_t{frame.width} * number / largest),
                                           static_cast<std::int32_t>(std::int64_t{frame.height} * number / largest));
        route.scale = threeComponents ? batch::decodingScaleForLimit(largest, number) : 0;
    } else {
        route.plan = imaging::ReductionPlan::byFactor(number);
        route.scale = threeComponents ? batch::decodingScaleForFactor(number) : 0;
    }
    std::printf("%.0f\n", static_cast<double>(jpeg::thumbnailMemory(frame, route)) / 1048576.0);
    return 0;
}
