// The whole per-image step on one arbitrary file in a temporary folder, under
// both criteria. Every input must end in a thumbnail or in one of the
// program's errors, and the photograph must come out unchanged.

#include "batch/traite_image.h"
#include "common/errors.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The largest frame any SOF marker of the file claims, so that pictures above
// about one megapixel are left out: they are slow to decode and teach the
// fuzzer nothing new.
std::uint64_t largestClaimedFrame(const std::uint8_t* data, std::size_t size)
{
    std::uint64_t largest = 0;
    for (std::size_t i = 0; i + 9 <= size; ++i) {
        if (data[i] != 0xFF || data[i + 1] < 0xC0 || data[i + 1] > 0xCF || data[i + 1] == 0xC4 || data[i + 1] == 0xC8 ||
            data[i + 1] == 0xCC)
            continue;
        const std::uint64_t height = std::uint64_t{data[i + 5]} << 8 | data[i + 6];
        const std::uint64_t width = std::uint64_t{data[i + 7]} << 8 | data[i + 8];
        largest = std::max(largest, width * height);
    }
    return largest;
}

const fs::path& folder()
{
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("tamblure-fuzz-step-" + std::to_string(::getpid()));
        fs::create_directories(d / "tamblure");
        return d;
    }();
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (largestClaimedFrame(data, size) > 1'100'000)
        return 0;
    const fs::path source = folder() / "photo.jpg";
    const fs::path target = folder() / "tamblure" / "photo.jpg";
    {
        std::ofstream out(source, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    for (const bool largest : {true, false}) {
        tamblure::batch::ThumbnailRequest request;
        request.criterion =
            largest ? tamblure::batch::Criterion::LargestDimension : tamblure::batch::Criterion::ReductionFactor;
        request.number = largest ? 48 : 3;
        try {
            tamblure::batch::makeThumbnail(source, target, request);
        } catch (const tamblure::Exception& e) {
            if (e.message().empty())
                std::abort();
        }
    }
    std::ifstream in(source, std::ios::binary);
    const std::vector<std::uint8_t> after((std::istreambuf_iterator<char>(in)), {});
    if (after.size() != size || !std::equal(after.begin(), after.end(), data))
        std::abort();
    return 0;
}
