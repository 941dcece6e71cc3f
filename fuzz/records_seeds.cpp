// Writes a few record files as the program writes them into the folder
// given, as seeds for tamblure_fuzz_records: kept out of the source tree,
// and always in the current format.
//
//   tamblure_fuzz_records_seeds FOLDER

#include "batch/thumbnail_records.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>

namespace {

using tamblure::batch::Criterion;
using tamblure::batch::ThumbnailRecord;
using tamblure::batch::ThumbnailRecords;
using tamblure::metadata::MetadataPolicy;

ThumbnailRecord camera(std::uint64_t inode, MetadataPolicy policy, std::uint16_t orientation)
{
    ThumbnailRecord r;
    r.request = {Criterion::LargestDimension, 200, 75, policy};
    r.photograph = {2049, inode, 3'145'728, 1'700'000'000'123'456'789, 1'700'000'000'123'456'789};
    r.thumbnail = {2049, inode + 1, 9'812, 1'717'171'717'000'000'001, 1'717'171'717'000'000'001};
    r.width = 200;
    r.height = 150;
    r.orientation = orientation;
    return r;
}

ThumbnailRecord extremes()
{
    using I64 = std::numeric_limits<std::int64_t>;
    constexpr std::uint64_t kTop = std::numeric_limits<std::uint64_t>::max();
    ThumbnailRecord r;
    r.request = {Criterion::ReductionFactor, std::numeric_limits<std::int32_t>::min(),
                 std::numeric_limits<std::int32_t>::max(), MetadataPolicy::OrientationOnly};
    r.photograph = {kTop, kTop, I64::max(), I64::min(), I64::max()};
    r.thumbnail = {0, 0, I64::min(), 0, I64::min()};
    r.width = 65535;
    r.height = 65535;
    r.orientation = 8;
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const auto write = [&folder](const char* name, const std::string& text) {
        std::ofstream(folder / name, std::ios::binary) << text;
    };
    write("empty", ThumbnailRecords::format({}));
    write("one", ThumbnailRecords::format({{"IMG_0001.JPG", camera(1'000, MetadataPolicy::Everything, 1)}}));
    write("names", ThumbnailRecords::format({
                       {"a b%.jpg", camera(2'000, MetadataPolicy::WithoutGps, 6)},
                       {"line\nbreak\r.jpg", camera(3'000, MetadataPolicy::OrientationOnly, 0)},
                       {"\xC3\xA9t\xC3\xA9.jpeg", camera(4'000, MetadataPolicy::Everything, 3)},
                       {std::string(251, 'x') + ".jpg", camera(5'000, MetadataPolicy::Everything, 8)},
                   }));
    write("extremes", ThumbnailRecords::format({{"z.jpg", extremes()}}));
    // Two files of two runs gathered into one, a line cut short between them:
    // two records of one name and a damaged line.
    const std::string first =
        ThumbnailRecords::format({{"IMG_0001.JPG", camera(1'000, MetadataPolicy::Everything, 1)}});
    const std::string second =
        ThumbnailRecords::format({{"IMG_0001.JPG", camera(7'000, MetadataPolicy::Everything, 1)}});
    const std::string body = second.substr(second.find('\n') + 1);
    write("merged", first + body.substr(0, body.size() / 2) + "\n" + body);
    return 0;
}
