#include "common/atomic_file.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tamblure {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTemporaryPrefix = ".tamblure-";
constexpr std::size_t kTemporaryDigits = 16;
constexpr std::string_view kEarlierSuffix = ".tamblure~";
constexpr std::size_t kBufferBytes = 64 * 1024;

fs::path folderOf(const fs::path& target)
{
    fs::path folder = target.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

std::string temporaryName()
{
    std::uint64_t random = 0;
    if (::getrandom(&random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
        // No entropy yet (early boot): the clock and the process still make
        // the name unique here, and O_EXCL or linkat refuse any clash.
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        random = static_cast<std::uint64_t>(now.tv_nsec) ^ static_cast<std::uint64_t>(now.tv_sec) << 30 ^
                 static_cast<std::uint64_t>(::getpid()) << 40;
    }
    char name[40];
    std::snprintf(name, sizeof name, "%.*s%016" PRIx64, static_cast<int>(kTemporaryPrefix.size()),
                  kTemporaryPrefix.data(), random);
    return name;
}

bool isTemporaryName(std::string_view name)
{
    if (name.starts_with(kTemporaryPrefix) && name.size() == kTemporaryPrefix.size() + kTemporaryDigits) {
        for (const char c : name.substr(kTemporaryPrefix.size())) {
            if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
                return false;
        }
        return true;
    }
    return name.size() > kEarlierSuffix.size() + 1 && name.front() == '.' && name.ends_with(kEarlierSuffix);
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Creates a temporary file under a new name in folder, locked. A name that
// a tidying run removed before the lock was taken is given up for another.
int createNamed(int folder, std::string& name)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::string candidate = temporaryName();
        const int fd = ::openat(folder, candidate.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return -1;
        }
        // Where the file system has no locks, the file goes unlocked, and
        // the tidying, which cannot lock it either, leaves it alone.
        const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (!locked && errno == EWOULDBLOCK) {
            ::close(fd);
            continue;
        }
        struct stat mine {
        }, named{};
        if (locked &&
            (::fstat(fd, &mine) != 0 || ::fstatat(folder, candidate.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
             !sameFile(mine, named))) {
            ::close(fd);
            continue;
        }
        name = candidate;
        return fd;
    }
    errno = EEXIST;
    return -1;
}

// Links an anonymous file into folder under a new temporary name.
bool linkAnonymous(int fd, int folder, std::string& name)
{
    const std::string procPath = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::string candidate = temporaryName();
        if (::linkat(AT_FDCWD, procPath.c_str(), folder, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            name = candidate;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    errno = EEXIST;
    return false;
}

bool writeAll(int fd, const std::uint8_t* bytes, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

AtomicFile::AtomicFile(fs::path target) : target_(std::move(target)), name_(target_.filename().string()) {}

AtomicFile::AtomicFile(const Directory& folder, const std::string& name)
    : target_(folder.path() / name), name_(name), folder_(&folder)
{}

AtomicFile::~AtomicFile()
{
    discard();
}

bool AtomicFile::fail(int error)
{
    if (error_ == 0)
        error_ = error != 0 ? error : EIO;
    return false;
}

bool AtomicFile::open(unsigned permissions)
{
    discard();
    error_ = 0;
    if (folder_ == nullptr || folder_ == &ownFolder_) {
        ownFolder_ = Directory(folderOf(target_));
        if (!ownFolder_.opened())
            return fail(ownFolder_.openError());
        folder_ = &ownFolder_;
    }
    int fd = ::openat(folder(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd >= 0) {
        // Locked before it ever has a name: no tidying run can take it.
        ::flock(fd, LOCK_EX | LOCK_NB);
    } else if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) {
        fd = createNamed(folder(), named_);
    }
    if (fd < 0)
        return fail(errno);
    fd_ = fd;
    if ((permissions & 0777) != 0666) {
        struct stat info {};
        if (::fstat(fd_, &info) != 0 || ::fchmod(fd_, info.st_mode & permissions & 0777) != 0) {
            const int error = errno;
            discard();
            return fail(error);
        }
    }
    buffer_.reserve(kBufferBytes);
    return true;
}

bool AtomicFile::flush()
{
    if (fd_ < 0 || error_ != 0)
        return fail(EBADF);
    const bool ok = writeAll(fd_, buffer_.data(), buffer_.size());
    buffer_.clear();
    return ok || fail(errno);
}

bool AtomicFile::write(std::span<const std::uint8_t> bytes)
{
    if (fd_ < 0 || error_ != 0)
        return fail(EBADF);
    if (buffer_.size() + bytes.size() > kBufferBytes) {
        if (!flush())
            return false;
        if (bytes.size() >= kBufferBytes)
            return writeAll(fd_, bytes.data(), bytes.size()) || fail(errno);
    }
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    return true;
}

bool AtomicFile::write(std::string_view text)
{
    return write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

bool AtomicFile::copyFrom(int from, std::uint64_t offset, std::uint64_t length)
{
    if (!flush())
        return false;
    auto position = static_cast<off_t>(offset);
    std::uint64_t left = length;
    // The kernel copies without the bytes passing through this process where
    // it can; otherwise they go through the buffer, a piece at a time.
    for (;;) {
        if (left == 0)
            return true;
        const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(left, std::uint64_t{1} << 30));
        const ssize_t n = ::copy_file_range(from, &position, fd_, nullptr, piece, 0);
        if (n == 0)
            return true;
        if (n > 0) {
            left -= static_cast<std::uint64_t>(n);
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF)
            break;
        return fail(errno);
    }
    buffer_.resize(kBufferBytes);
    while (left > 0) {
        const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer_.size()));
        const ssize_t n = ::pread(from, buffer_.data(), piece, position);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            buffer_.clear();
            return fail(error);
        }
        if (n == 0)
            break;
        if (!writeAll(fd_, buffer_.data(), static_cast<std::size_t>(n))) {
            const int error = errno;
            buffer_.clear();
            return fail(error);
        }
        position += n;
        left -= static_cast<std::uint64_t>(n);
    }
    buffer_.clear();
    return true;
}

bool AtomicFile::commit(bool durable)
{
    if (!flush()) {
        discard();
        return false;
    }
    if (durable && ::fdatasync(fd_) != 0) {
        const int error = errno;
        discard();
        return fail(error);
    }
    if (named_.empty() && !linkAnonymous(fd_, folder(), named_)) {
        const int error = errno;
        discard();
        return fail(error);
    }
    // Some file systems (NFS) report a failed write only when the file is
    // closed, so it is closed before the rename; a second descriptor keeps
    // the lock until the file has its final name.
    const int lockHolder = ::dup(fd_);
    const int closed = ::close(fd_);
    fd_ = lockHolder;
    if (closed != 0 || lockHolder < 0) {
        const int error = errno;
        discard();
        return fail(error);
    }
    if (::renameat(folder(), named_.c_str(), folder(), name_.c_str()) != 0) {
        const int error = errno;
        discard();
        return fail(error);
    }
    named_.clear();
    // Stamped once in place: the rename itself changes the file's change
    // time, and the stamp must be the one a later look at the file finds.
    struct stat info {};
    if (::fstat(fd_, &info) == 0)
        placed_ = stampOf(info);
    discard();
    // A file system that cannot sync a folder (EINVAL) keeps its entries as
    // it keeps them; any other failure breaks the promise and is reported.
    if (durable && !folder_->syncEntries() && errno != EINVAL)
        return fail(errno);
    return true;
}

void AtomicFile::discard()
{
    if (!named_.empty()) {
        ::unlinkat(folder(), named_.c_str(), 0);
        named_.clear();
    }
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    buffer_.clear();
}

void removeAbandonedTemporaries(const fs::path& folder)
{
    const Directory opened(folder);
    if (opened.opened())
        removeAbandonedTemporaries(opened);
}

void removeAbandonedTemporaries(const Directory& folder)
{
    // The listing gets a descriptor of its own, so that it reads the folder
    // from its start whatever was read of it before.
    const int listing = ::openat(folder.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0)
        return;
    DIR* dir = ::fdopendir(listing);
    if (dir == nullptr) {
        ::close(listing);
        return;
    }
    const int dirFd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (!isTemporaryName(name))
            continue;
        const int fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat held {
        }, named{};
        // Taking the lock proves that no writer holds the file; the name must
        // still be that file when it is removed.
        if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(dirFd, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(held, named))
            ::unlinkat(dirFd, name, 0);
        ::close(fd);
    }
    ::closedir(dir);
}

} // namespace tamblure
