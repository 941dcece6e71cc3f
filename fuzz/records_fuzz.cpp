// The reading of the thumbnails' record files on arbitrary bytes: anyone who
// can write in the thumbnail folder writes them. Every record read must be
// one the program could have written (a name that is a file of the folder,
// numbers in range) and must read back the same once written; loading the
// bytes as a record file and saving must keep only what describes a file in
// place.

#include "batch/thumbnail_records.h"
#include "common/directory.h"
#include "common/file_io.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using tamblure::batch::ThumbnailRecord;
using tamblure::batch::ThumbnailRecords;

// Above this, only the text is read: files cost more than the parse then
// and teach nothing more.
constexpr std::size_t kMaxFolderInput = 16384;

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// A name the folder can hold: one entry, neither "." nor "..".
bool plainFileName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

bool inRange(const ThumbnailRecord& r)
{
    using tamblure::batch::Criterion;
    using tamblure::metadata::MetadataPolicy;
    return (r.request.criterion == Criterion::LargestDimension || r.request.criterion == Criterion::ReductionFactor) &&
           (r.request.policy == MetadataPolicy::Everything || r.request.policy == MetadataPolicy::WithoutGps ||
            r.request.policy == MetadataPolicy::OrientationOnly) &&
           r.orientation <= 8;
}

// In memory where the system has it, so that a file costs little; removed
// when the run ends.
const fs::path& folder()
{
    struct Folder {
        Folder()
        {
            const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
            path = base / ("tamblure-fuzz-records-" + std::to_string(::getpid()));
            fs::create_directories(path);
        }
        ~Folder()
        {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
        fs::path path;
    };
    static const Folder dir;
    return dir.path;
}

// The record file of this run after load() and a save() with something new.
std::string savedText(std::string_view text)
{
    for (const auto& entry : fs::directory_iterator(folder()))
        fs::remove(entry.path());
    {
        std::ofstream out(folder() / ".tamblure-vignettes-0000000000000000", std::ios::binary);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    std::ofstream(folder() / "present.jpg") << "a thumbnail";

    const tamblure::Directory directory(folder());
    ThumbnailRecords records(directory);
    records.load();
    for (const auto& [name, read] : ThumbnailRecords::parse(text))
        for (const ThumbnailRecord& r : read)
            check(records.upToDate(name, r.photograph, r.thumbnail, r.request) != nullptr);
    records.set("made.jpg", ThumbnailRecord{});
    records.save();

    std::string saved;
    int files = 0;
    for (const auto& entry : fs::directory_iterator(folder())) {
        if (!entry.path().filename().string().starts_with(".tamblure-vignettes-"))
            continue;
        ++files;
        std::ifstream in(entry.path(), std::ios::binary);
        saved.assign(std::istreambuf_iterator<char>(in), {});
    }
    check(files == 1); // the file read is gone, this run's is in place
    return saved;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto read = ThumbnailRecords::parse(text);

    // Written again one record a name at a time (a file written holds one),
    // each record reads back alone and unchanged: format writes no line that
    // parse passes over.
    for (std::size_t round = 0;; ++round) {
        std::map<std::string, ThumbnailRecord> written;
        for (const auto& [name, records] : read) {
            check(plainFileName(name) && !records.empty());
            if (round < records.size()) {
                check(inRange(records[round]));
                written.emplace(name, records[round]);
            }
        }
        if (written.empty())
            break;
        const auto again = ThumbnailRecords::parse(ThumbnailRecords::format(written));
        check(again.size() == written.size());
        for (const auto& [name, r] : written)
            check(again.at(name) == std::vector<ThumbnailRecord>{r});
    }
    for (const auto& [name, records] : read)
        check(std::set(records.begin(), records.end()).size() == records.size()); // each told once

    if (size > kMaxFolderInput)
        return 0;
    // The saved file holds the record set by this run and, of the records
    // read, only one of the thumbnail in place, with its very stamp: nothing
    // else the bytes said goes further.
    const auto saved = ThumbnailRecords::parse(savedText(text));
    check(saved.contains("made.jpg"));
    for (const auto& [name, records] : saved) {
        check(records.size() == 1);
        if (name != "made.jpg")
            check(name == "present.jpg" && records[0].thumbnail == tamblure::stampOf(folder() / name, false));
    }
    return 0;
}
