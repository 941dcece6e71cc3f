#include "common/file_io.h"

#include "common/errors.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tamblure {

ReadOnlyFile::ReadOnlyFile(const std::filesystem::path& path)
{
    take(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
}

ReadOnlyFile::ReadOnlyFile(int folderFd, const std::string& name, bool followLink)
{
    take(
        ::openat(folderFd, name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (followLink ? 0 : O_NOFOLLOW)));
}

void ReadOnlyFile::take(int fd)
{
    fd_ = fd;
    if (fd_ < 0) {
        openError_ = errno;
        return;
    }
    struct stat info {};
    if (::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode)) {
        regular_ = true;
        size_ = static_cast<std::uint64_t>(info.st_size);
        permissions_ = info.st_mode & 0777;
        stamp_ = stampOf(info);
    }
}

FileStamp stampOf(const struct stat& info)
{
    FileStamp stamp;
    stamp.device = static_cast<std::uint64_t>(info.st_dev);
    stamp.inode = static_cast<std::uint64_t>(info.st_ino);
    stamp.size = static_cast<std::int64_t>(info.st_size);
    stamp.modified = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    stamp.changed = static_cast<std::int64_t>(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
    return stamp;
}

std::optional<FileStamp> stampOf(const std::filesystem::path& path, bool followLink)
{
    struct stat info {};
    const int result = followLink ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info);
    if (result != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return stampOf(info);
}

ReadOnlyFile::~ReadOnlyFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

namespace {

// Reads into `into` from the start of the file, until it is full or the file
// ends; `got` says how many bytes came. False on a read error.
bool readFromStart(int fd, std::span<std::uint8_t> into, std::size_t& got, int& error)
{
    got = 0;
    while (got < into.size()) {
        const ssize_t n = ::pread(fd, into.data() + got, into.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = errno;
            return false;
        }
        if (n == 0)
            break; // the file shrank while we read it: keep what is there
        got += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

bool ReadOnlyFile::readHead(std::size_t maxBytes, std::vector<std::uint8_t>& out, int& error) const
{
    out.resize(static_cast<std::size_t>(std::min<std::uint64_t>(maxBytes, size_)));
    std::size_t got = 0;
    const bool read = readFromStart(fd_, out, got, error);
    out.resize(got);
    return read;
}

PhotographBytes::PhotographBytes(const std::filesystem::path& path) : path_(path), file_(path)
{
    load();
}

PhotographBytes::PhotographBytes(int folderFd, const std::string& name, std::filesystem::path path, bool followLink,
                                 Load when)
    : path_(std::move(path)), file_(folderFd, name, followLink)
{
    error_ = file_.openError();
    if (when == Load::Now)
        load();
}

void PhotographBytes::load()
{
    if (loaded_)
        return;
    loaded_ = true;
    error_ = file_.openError();
    if (!file_.readable())
        return;
    const std::uint64_t size = file_.size();
    if (size > kReadWhole) {
        void* mapped = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_PRIVATE, file_.fd(), 0);
        if (mapped == MAP_FAILED) {
            error_ = errno;
            return;
        }
        mapped_ = mapped;
        bytes_ = {static_cast<const std::uint8_t*>(mapped), static_cast<std::size_t>(size)};
        read_ = true;
        return;
    }
    // Not value-initialised: the bytes are about to be read over.
    own_.reset(new std::uint8_t[size]);
    std::uint8_t* block = own_.get();
    std::size_t got = 0;
    read_ = readFromStart(file_.fd(), {block, static_cast<std::size_t>(size)}, got, error_);
    if (read_)
        bytes_ = {block, got};
}

PhotographBytes::~PhotographBytes()
{
    if (mapped_ != nullptr)
        ::munmap(mapped_, bytes_.size());
}

void PhotographBytes::requireReadable() const
{
    if (!read_)
        throw EFOpenError(openErrorMessage(path_.string(), error_));
}

} // namespace tamblure
