#include "common/file_io.h"

#include "common/errors.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tamblure {

ReadOnlyFile::ReadOnlyFile(const std::filesystem::path& path)
    : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY))
{
    struct stat info {};
    if (fd_ >= 0 && ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode)) {
        regular_ = true;
        size_ = static_cast<std::uint64_t>(info.st_size);
    }
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

namespace {

enum class ReadOutcome { Ok, CannotRead, TooLarge };

ReadOutcome readAll(const std::filesystem::path& path, std::vector<std::uint8_t>& out, std::uint64_t maxBytes)
{
    const ReadOnlyFile file(path);
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
        if (n < 0)
            return ReadOutcome::CannotRead;
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
    switch (readAll(path, bytes, maxBytes)) {
    case ReadOutcome::Ok:
        return bytes;
    case ReadOutcome::TooLarge:
        throw EOutOfMemory("Fichier trop volumineux : " + path.string());
    case ReadOutcome::CannotRead:
        break;
    }
    throw EFOpenError(openErrorMessage(path.string()));
}

bool tryReadWholeFile(const std::filesystem::path& path, std::vector<std::uint8_t>& out, std::uint64_t maxBytes)
{
    return readAll(path, out, maxBytes) == ReadOutcome::Ok;
}

} // namespace tamblure
