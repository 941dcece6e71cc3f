#include "common/file_io.h"

#include "common/errors.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

int ReadOnlyFile::release()
{
    const int fd = fd_;
    fd_ = -1;
    regular_ = false;
    return fd;
}

bool ReadOnlyFile::readHead(std::span<std::uint8_t> into, std::size_t& got, int& error) const
{
    got = 0;
    while (got < into.size()) {
        const ssize_t n = ::pread(fd_, into.data() + got, into.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = errno;
            return false;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

bool ReadOnlyFile::readHead(std::size_t maxBytes, std::vector<std::uint8_t>& out, int& error) const
{
    out.resize(static_cast<std::size_t>(std::min<std::uint64_t>(maxBytes, size_)));
    std::size_t got = 0;
    const bool read = readHead(out, got, error);
    out.resize(got);
    return read;
}

std::span<std::uint8_t> ReadBuffer::room(std::size_t size)
{
    if (size > capacity_) {
        // Grown to the next power of two, so that files of about one size
        // settle in one block at once instead of growing it again and again,
        // each new block costing its page faults. Not value-initialised: the
        // bytes are about to be read over.
        std::size_t capacity = 64 * 1024;
        while (capacity < size)
            capacity *= 2;
        block_.reset(new std::uint8_t[capacity]);
        capacity_ = capacity;
    }
    return {block_.get(), size};
}

void ReadBuffer::release()
{
    block_.reset();
    capacity_ = 0;
}

namespace {

enum class ReadOutcome {
    Ok,
    CannotRead,
    TooLarge
};

// error gets the errno value of a failed open or read.
ReadOutcome readAll(const std::filesystem::path& path, std::vector<std::uint8_t>& out, std::uint64_t maxBytes,
                    int& error)
{
    const ReadOnlyFile file(path);
    error = file.openError();
    if (!file.readable())
        return ReadOutcome::CannotRead;
    if (file.size() > maxBytes)
        return ReadOutcome::TooLarge;
    const int fd = file.fd();
    out.resize(static_cast<std::size_t>(file.size()));
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::read(fd, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = errno;
            return ReadOutcome::CannotRead;
        }
        if (n == 0)
            break; // the file shrank while we read it: keep what is there
        done += static_cast<std::size_t>(n);
    }
    out.resize(done);
    return ReadOutcome::Ok;
}

} // namespace

std::vector<std::uint8_t> readWholeFile(const std::filesystem::path& path, std::uint64_t maxBytes)
{
    std::vector<std::uint8_t> bytes;
    int error = 0;
    switch (readAll(path, bytes, maxBytes, error)) {
    case ReadOutcome::Ok:
        return bytes;
    case ReadOutcome::TooLarge:
        throw EOutOfMemory("Fichier trop volumineux : " + path.string());
    case ReadOutcome::CannotRead:
        break;
    }
    throw EFOpenError(openErrorMessage(path.string(), error));
}

} // namespace tamblure
