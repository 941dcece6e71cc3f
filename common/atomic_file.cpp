#include "common/atomic_file.h"

#include "common/file_io.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tamblure {
namespace fs = std::filesystem;

namespace {

fs::path folderOf(const fs::path& target)
{
    fs::path folder = target.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

// The hidden name beside the target under which a complete file waits for
// its rename: "." + name + ".tamblure~". A folder search that skips hidden
// files never meets it. The name is fixed, so that what a killed process
// leaves there is taken away by the next write of the same target.
fs::path tempNameFor(const fs::path& target)
{
    return folderOf(target) / ("." + target.filename().string() + ".tamblure~");
}

// Creates `path` anew from the open file descriptor of an anonymous file, or
// as a fresh empty file when fd is negative.
int placeHidden(const fs::path& path, int fd)
{
    for (int attempt = 0; attempt < 4; ++attempt) {
        ::unlink(path.c_str());
        if (fd >= 0) {
            const std::string procPath = "/proc/self/fd/" + std::to_string(fd);
            if (::linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0)
                return 0;
        } else {
            const int created = ::open(path.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0666);
            if (created >= 0)
                return created;
        }
        if (errno != EEXIST)
            break;
    }
    return -1;
}

} // namespace

AtomicFile::AtomicFile(fs::path target) : target_(std::move(target)) {}

AtomicFile::~AtomicFile()
{
    discard();
}

bool AtomicFile::open()
{
    discard();
    failed_ = false;
    const fs::path folder = folderOf(target_);
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // The file system has no anonymous files: fall back to the hidden name.
        fd = placeHidden(tempNameFor(target_), -1);
        if (fd >= 0)
            namedTemp_ = tempNameFor(target_);
    }
    if (fd < 0)
        return false;
    file_ = ::fdopen(fd, "w+b");
    if (file_ == nullptr) {
        ::close(fd);
        discard();
        return false;
    }
    return true;
}

bool AtomicFile::write(std::span<const std::uint8_t> bytes)
{
    if (file_ == nullptr)
        return false;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size())
        failed_ = true;
    return !failed_;
}

bool AtomicFile::write(std::string_view text)
{
    return write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

bool AtomicFile::commit()
{
    if (file_ == nullptr)
        return false;
    bool ok = !failed_ && std::fflush(file_) == 0 && !std::ferror(file_);
    if (ok && namedTemp_.empty()) {
        // Give the anonymous file the hidden name, then rename that over the
        // target: linkat cannot replace an existing name itself.
        ok = placeHidden(tempNameFor(target_), ::fileno(file_)) == 0;
        if (ok)
            namedTemp_ = tempNameFor(target_);
    }
    if (ok)
        ok = ::rename(namedTemp_.c_str(), target_.c_str()) == 0;
    if (ok)
        namedTemp_.clear();
    discard();
    return ok;
}

void AtomicFile::discard()
{
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!namedTemp_.empty()) {
        ::unlink(namedTemp_.c_str());
        namedTemp_.clear();
    }
}

bool copyFileAtomically(const fs::path& from, const fs::path& to)
{
    std::vector<std::uint8_t> bytes;
    if (!tryReadWholeFile(from, bytes))
        return false;
    AtomicFile out(to);
    return out.open() && out.write(bytes) && out.commit();
}

} // namespace tamblure
