#include "common/file_io.h"

#include "common/errors.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tamblure {

namespace {

enum class ReadOutcome { Ok, CannotRead, TooLarge };

ReadOutcome readAll(const std::filesystem::path& path, std::vector<std::uint8_t>& out, std::uint64_t maxBytes)
{
    // O_NONBLOCK keeps a FIFO named like a photograph from blocking the open;
    // only regular files are read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return ReadOutcome::CannotRead;
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return ReadOutcome::CannotRead;
    if (static_cast<std::uint64_t>(info.st_size) > maxBytes)
        return ReadOutcome::TooLarge;
    out.resize(static_cast<std::size_t>(info.st_size));
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
