#include "batch/thumbnail_records.h"

#include "common/atomic_file.h"

#include <cinttypes>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sstream>
#include <sys/random.h>
#include <unistd.h>

namespace tamblure::batch {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kPrefix = ".tamblure-vignettes-";
constexpr std::string_view kHeader = "tamblure vignettes 1";
// A record file larger than this is not one this program wrote.
constexpr std::uint64_t kMaxFileBytes = std::uint64_t{256} << 20;

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
    return !name.empty();
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

// A later record of one name wins: the one whose thumbnail was written last.
void merge(std::map<std::string, ThumbnailRecord>& into, const std::string& name, const ThumbnailRecord& record)
{
    auto [at, inserted] = into.emplace(name, record);
    if (!inserted && record.thumbnail.modified > at->second.thumbnail.modified)
        at->second = record;
}

} // namespace

ThumbnailRecords::ThumbnailRecords(const Directory& thumbnailFolder) : folder_(thumbnailFolder), ownName_(ownFileName())
{}

std::string ThumbnailRecords::format(const std::map<std::string, ThumbnailRecord>& records)
{
    std::string text(kHeader);
    text += '\n';
    for (const auto& [name, r] : records) {
        char fields[320];
        std::snprintf(fields, sizeof fields,
                      "%d %" PRId32 " %" PRId32 " %" PRIu64 " %" PRIu64 " %" PRId64 " %" PRId64 " %" PRIu64 " %" PRIu64
                      " %" PRId64 " %" PRId64 " %u ",
                      r.request.criterion == Criterion::LargestDimension ? 0 : 1, r.request.number, r.request.quality,
                      r.photograph.device, r.photograph.inode, r.photograph.size, r.photograph.modified,
                      r.thumbnail.device, r.thumbnail.inode, r.thumbnail.size, r.thumbnail.modified,
                      unsigned{r.orientation});
        text += fields;
        text += escaped(name);
        text += '\n';
    }
    return text;
}

std::map<std::string, ThumbnailRecord> ThumbnailRecords::parse(const std::string& text)
{
    std::map<std::string, ThumbnailRecord> records;
    std::istringstream lines(text);
    std::string line;
    if (!std::getline(lines, line) || line != kHeader)
        return records;
    while (std::getline(lines, line)) {
        ThumbnailRecord r;
        int criterion = -1;
        unsigned orientation = 0;
        int consumed = 0;
        const int fields =
            std::sscanf(line.c_str(),
                        "%d %" SCNd32 " %" SCNd32 " %" SCNu64 " %" SCNu64 " %" SCNd64 " %" SCNd64 " %" SCNu64
                        " %" SCNu64 " %" SCNd64 " %" SCNd64 " %u %n",
                        &criterion, &r.request.number, &r.request.quality, &r.photograph.device, &r.photograph.inode,
                        &r.photograph.size, &r.photograph.modified, &r.thumbnail.device, &r.thumbnail.inode,
                        &r.thumbnail.size, &r.thumbnail.modified, &orientation, &consumed);
        std::string name;
        // A damaged line is passed over; the thumbnail it spoke of is made
        // again.
        if (fields != 12 || consumed <= 0 || (criterion != 0 && criterion != 1) || orientation > 8 ||
            !unescaped(std::string_view(line).substr(static_cast<std::size_t>(consumed)), name))
            continue;
        r.request.criterion = criterion == 0 ? Criterion::LargestDimension : Criterion::ReductionFactor;
        r.orientation = static_cast<std::uint16_t>(orientation);
        merge(records, name, r);
    }
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
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (!isRecordFile(name))
            continue;
        // A link planted under a record file's name is not followed.
        const ReadOnlyFile recordFile(folder_.fd(), name, false);
        std::vector<std::uint8_t> bytes;
        int error = 0;
        if (!recordFile.readable() || recordFile.size() > kMaxFileBytes ||
            !recordFile.readHead(kMaxFileBytes, bytes, error))
            continue;
        read_.push_back(name);
        for (const auto& [file, record] : parse(std::string(bytes.begin(), bytes.end())))
            merge(loaded_, file, record);
    }
}

const ThumbnailRecord* ThumbnailRecords::upToDate(const std::string& fileName, const FileStamp& photograph,
                                                  const FileStamp& thumbnail, const ThumbnailRequest& request) const
{
    const auto found = loaded_.find(fileName);
    if (found == loaded_.end())
        return nullptr;
    const ThumbnailRecord& r = found->second;
    if (!(r.request == request) || !(r.photograph == photograph) || !(r.thumbnail == thumbnail) ||
        thumbnail.modified < photograph.modified)
        return nullptr;
    return &r;
}

void ThumbnailRecords::set(const std::string& fileName, const ThumbnailRecord& record)
{
    made_[fileName] = record;
}

void ThumbnailRecords::save() noexcept
{
    try {
        std::map<std::string, ThumbnailRecord> all = loaded_;
        for (const auto& [name, record] : made_)
            all[name] = record;
        AtomicFile out(folder_, ownName_);
        if (!(out.open() && out.write(format(all)) && out.commit(true)))
            return;
        for (const std::string& name : read_)
            if (name != ownName_)
                ::unlinkat(folder_.fd(), name.c_str(), 0);
        read_.clear();
    } catch (const std::exception&) {
        // Out of memory: the next run makes these thumbnails again.
    }
}

} // namespace tamblure::batch
