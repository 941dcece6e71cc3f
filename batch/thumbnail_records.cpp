#include "batch/thumbnail_records.h"

#include "common/atomic_file.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/random.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace tamblure::batch {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kPrefix = ".tamblure-vignettes-";
constexpr std::string_view kHeader = "tamblure vignettes 2";
// What load() reads at most, from one file and from all of them: a folder of
// 100,000 photographs takes some 20 MB of records.
constexpr std::uint64_t kMaxFileBytes = std::uint64_t{64} << 20;
constexpr std::uint64_t kMaxBytesRead = std::uint64_t{128} << 20;

// The name goes last on its line, with "%", CR and LF written as %25, %0D
// and %0A, so that any file name fits.
std::string escaped(const std::string& name)
{
    std::string out;
    for (const char c : name) {
        if (c == '%' || c == '\n' || c == '\r') {
            char code[4];
            std::snprintf(code, sizeof code, "%%%02X", static_cast<unsigned char>(c));
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

bool unescaped(std::string_view text, std::string& name)
{
    name.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            name += text[i];
            continue;
        }
        if (text.substr(i, 3) == "%25")
            name += '%';
        else if (text.substr(i, 3) == "%0A")
            name += '\n';
        else if (text.substr(i, 3) == "%0D")
            name += '\r';
        else
            return false;
        i += 2;
    }
    // A name of a file of the folder itself: prune() would remove what a
    // name like "../x.jpg" reaches, or the file that a NUL byte cuts it
    // short to.
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
}

std::string ownFileName()
{
    std::uint64_t random = 0;
    if (::getrandom(&random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random))
        random = static_cast<std::uint64_t>(::getpid()) << 32 ^ static_cast<std::uint64_t>(::time(nullptr));
    char name[64];
    std::snprintf(name, sizeof name, "%.*s%016" PRIx64, static_cast<int>(kPrefix.size()), kPrefix.data(), random);
    return name;
}

bool isRecordFile(const std::string& name)
{
    if (!name.starts_with(kPrefix) || name.size() != kPrefix.size() + 16)
        return false;
    for (const char c : std::string_view(name).substr(kPrefix.size()))
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

// The numbers of a line, in their order; the name comes last.
constexpr int kFields = 17;

// Reads the next number of a line, up to the space after it.
template <typename Number>
bool readField(std::string_view& line, Number& out)
{
    const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), out);
    if (error != std::errc() || end == line.data() + line.size() || *end != ' ')
        return false;
    line.remove_prefix(static_cast<std::size_t>(end - line.data()) + 1);
    return true;
}

bool readStamp(std::string_view& line, FileStamp& stamp)
{
    return readField(line, stamp.device) && readField(line, stamp.inode) && readField(line, stamp.size) &&
           readField(line, stamp.modified) && readField(line, stamp.changed);
}

// One record line: criterion, number, quality, policy; the photograph's
// stamp; the thumbnail's stamp; width, height, orientation; the name.
bool readLine(std::string_view line, std::string& name, ThumbnailRecord& r)
{
    int criterion = -1, policy = -1;
    unsigned width = 0, height = 0, orientation = 0;
    if (!readField(line, criterion) || !readField(line, r.request.number) || !readField(line, r.request.quality) ||
        !readField(line, policy) || !readStamp(line, r.photograph) || !readStamp(line, r.thumbnail) ||
        !readField(line, width) || !readField(line, height) || !readField(line, orientation))
        return false;
    if ((criterion != 0 && criterion != 1) || policy < 0 || policy > 2 || width > 0xFFFF || height > 0xFFFF ||
        orientation > 8 || !unescaped(line, name))
        return false;
    r.request.criterion = criterion == 0 ? Criterion::LargestDimension : Criterion::ReductionFactor;
    r.request.policy = static_cast<metadata::MetadataPolicy>(policy);
    r.width = static_cast<std::uint16_t>(width);
    r.height = static_cast<std::uint16_t>(height);
    r.orientation = static_cast<std::uint16_t>(orientation);
    return true;
}

// Each record of a name once, found by sorting rather than by searching the
// records gathered so far, which would take hours on a file of a million
// lines for one name.
void tellEachOnce(std::map<std::string, std::vector<ThumbnailRecord>>& records)
{
    for (auto& [name, known] : records) {
        std::sort(known.begin(), known.end());
        known.erase(std::unique(known.begin(), known.end()), known.end());
    }
}

} // namespace

ThumbnailRecords::ThumbnailRecords(const Directory& thumbnailFolder) : folder_(thumbnailFolder), ownName_(ownFileName())
{}

std::string ThumbnailRecords::format(const std::map<std::string, ThumbnailRecord>& records)
{
    std::string text(kHeader);
    text += '\n';
    for (const auto& [name, r] : records) {
        char fields[400];
        const auto stamp = [](const FileStamp& f) {
            return std::make_tuple(f.device, f.inode, f.size, f.modified, f.changed);
        };
        const auto [pd, pi, ps, pm, pc] = stamp(r.photograph);
        const auto [td, ti, ts, tm, tc] = stamp(r.thumbnail);
        std::snprintf(fields, sizeof fields,
                      "%d %" PRId32 " %" PRId32 " %d %" PRIu64 " %" PRIu64 " %" PRId64 " %" PRId64 " %" PRId64
                      " %" PRIu64 " %" PRIu64 " %" PRId64 " %" PRId64 " %" PRId64 " %u %u %u ",
                      r.request.criterion == Criterion::LargestDimension ? 0 : 1, r.request.number, r.request.quality,
                      static_cast<int>(r.request.policy), pd, pi, ps, pm, pc, td, ti, ts, tm, tc, unsigned{r.width},
                      unsigned{r.height}, unsigned{r.orientation});
        text += fields;
        text += escaped(name);
        text += '\n';
    }
    return text;
}

std::map<std::string, std::vector<ThumbnailRecord>> ThumbnailRecords::parse(std::string_view text)
{
    std::map<std::string, std::vector<ThumbnailRecord>> records;
    const auto nextLine = [&text](std::string_view& line) {
        if (text.empty())
            return false;
        const std::size_t end = text.find('\n');
        line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        return true;
    };
    std::string_view line;
    if (!nextLine(line) || line != kHeader)
        return records;
    std::string name;
    while (nextLine(line)) {
        ThumbnailRecord r;
        // A damaged line is passed over; the thumbnail it spoke of is looked
        // at afresh.
        if (readLine(line, name, r))
            records[name].push_back(r);
    }
    tellEachOnce(records);
    return records;
}

void ThumbnailRecords::load()
{
    const int listing = ::openat(folder_.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listing < 0 ? nullptr : ::fdopendir(listing);
    if (dir == nullptr) {
        if (listing >= 0)
            ::close(listing);
        return;
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> closer(dir, ::closedir);
    std::uint64_t budget = kMaxBytesRead;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (!isRecordFile(name))
            continue;
        // A link planted under a record file's name is not followed.
        const ReadOnlyFile recordFile(folder_.fd(), name, false);
        std::vector<std::uint8_t> bytes;
        int error = 0;
        if (!recordFile.readable() || recordFile.size() > std::min(kMaxFileBytes, budget) ||
            !recordFile.readHead(static_cast<std::size_t>(recordFile.size()), bytes, error))
            continue;
        budget -= bytes.size();
        read_.push_back(name);
        for (auto& [file, records] :
             parse(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))) {
            std::vector<ThumbnailRecord>& known = loaded_[file];
            known.insert(known.end(), records.begin(), records.end());
        }
    }
    tellEachOnce(loaded_);
}

const ThumbnailRecord* ThumbnailRecords::upToDate(const std::string& fileName, const FileStamp& photograph,
                                                  const FileStamp& thumbnail, const ThumbnailRequest& request) const
{
    const auto found = loaded_.find(fileName);
    if (found == loaded_.end())
        return nullptr;
    // The same request, policy included: a thumbnail made with more
    // metadata than asked for now must never be kept, since that is how a
    // position would reach a published page.
    for (const ThumbnailRecord& r : found->second)
        if (r.request == request && r.photograph == photograph && r.thumbnail == thumbnail)
            return &r;
    return nullptr;
}

void ThumbnailRecords::set(const std::string& fileName, const ThumbnailRecord& record)
{
    made_[fileName] = record;
    const auto found = loaded_.find(fileName);
    const bool known = found != loaded_.end() && found->second.size() == 1 && found->second.front() == record;
    changed_ = changed_ || !known;
}

std::optional<FileStamp> ThumbnailRecords::stampOfThumbnail(const std::string& name) const
{
    struct stat info {};
    if (::fstatat(folder_.fd(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return stampOf(info);
}

bool ThumbnailRecords::remove(const std::string& name, const std::vector<ThumbnailRecord>& records)
{
    const std::optional<FileStamp> stamp = stampOfThumbnail(name);
    if (!stamp)
        return false;
    for (const ThumbnailRecord& r : records)
        if (r.thumbnail == *stamp)
            return ::unlinkat(folder_.fd(), name.c_str(), 0) == 0;
    return false;
}

void ThumbnailRecords::save() noexcept
{
    if (!changed_)
        return;
    try {
        // What this run made or kept, then, of the other records read, the
        // one that describes each file still in place: records of files gone
        // or replaced, and lines nobody wrote for a real file, go no further.
        std::map<std::string, ThumbnailRecord> all = made_;
        for (const auto& [name, records] : loaded_) {
            if (all.contains(name))
                continue;
            const std::optional<FileStamp> stamp = stampOfThumbnail(name);
            for (const ThumbnailRecord& r : records)
                if (stamp && r.thumbnail == *stamp) {
                    all.emplace(name, r);
                    break;
                }
        }
        AtomicFile out(folder_, ownName_);
        if (!(out.open() && out.write(format(all)) && out.commit(true)))
            return;
        for (const std::string& name : read_)
            if (name != ownName_)
                ::unlinkat(folder_.fd(), name.c_str(), 0);
        read_.clear();
        changed_ = false;
    } catch (const std::exception&) {
        // Out of memory: the next run makes these thumbnails again.
    }
}

} // namespace tamblure::batch
