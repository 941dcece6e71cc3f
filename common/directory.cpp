#include "common/directory.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tamblure {

Directory::Directory(const std::filesystem::path& path) : path_(path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    take(fd, fd < 0 ? errno : 0);
}

Directory::Directory(const Directory& parent, const std::string& name) : path_(parent.path_ / name)
{
    const int fd = ::openat(parent.fd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    take(fd, fd < 0 ? errno : 0);
}

void Directory::take(int fd, int error)
{
    fd_ = fd;
    openError_ = error;
    struct stat info {};
    if (fd_ >= 0 && ::fstat(fd_, &info) == 0) {
        device_ = static_cast<std::uint64_t>(info.st_dev);
        inode_ = static_cast<std::uint64_t>(info.st_ino);
    }
}

Directory::~Directory()
{
    if (fd_ >= 0)
        ::close(fd_);
}

Directory::Directory(Directory&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), openError_(other.openError_), device_(other.device_), inode_(other.inode_),
      path_(std::move(other.path_))
{}

Directory& Directory::operator=(Directory&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        openError_ = other.openError_;
        device_ = other.device_;
        inode_ = other.inode_;
        path_ = std::move(other.path_);
    }
    return *this;
}

bool Directory::sameAs(const Directory& other) const
{
    return opened() && other.opened() && device_ == other.device_ && inode_ == other.inode_;
}

bool Directory::syncEntries() const
{
    return ::fsync(fd_) == 0;
}

bool Directory::syncFileSystem() const
{
    return ::syncfs(fd_) == 0;
}

} // namespace tamblure
