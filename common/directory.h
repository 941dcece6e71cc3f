#pragma once

// A folder held open as a descriptor. Every name inside it is then reached
// relative to the folder itself, never through its path again: whatever
// replaces the path later (a link planted in a shared folder, a rename, a
// swap during a run), what is read and written stays in the folder that was
// opened.

#include <cstdint>
#include <filesystem>
#include <string>

namespace tamblure {

class Directory {
public:
    // Nothing open.
    Directory() = default;
    // The folder at path, following links on the way: the user named it.
    explicit Directory(const std::filesystem::path& path);
    // The folder `name` inside parent, refusing a link at that name
    // (openError() is then ELOOP, or ENOTDIR for a link whose target is no
    // folder).
    Directory(const Directory& parent, const std::string& name);
    ~Directory();
    Directory(Directory&& other) noexcept;
    Directory& operator=(Directory&& other) noexcept;
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;

    bool opened() const { return fd_ >= 0; }
    // The errno value of a failed open, 0 otherwise.
    int openError() const { return openError_; }
    int fd() const { return fd_; }
    // Where the folder was when it was opened, for the messages only.
    const std::filesystem::path& path() const { return path_; }
    // The same folder as other: same device and inode.
    bool sameAs(const Directory& other) const;

    // Writes the folder's own entries to the disk (fsync): after a rename
    // in it, the new name survives a power loss. False on failure, with
    // errno set.
    bool syncEntries() const;
    // Writes every file of the folder's file system to the disk (syncfs).
    bool syncFileSystem() const;

private:
    void take(int fd, int error);

    int fd_ = -1;
    int openError_ = 0;
    std::uint64_t device_ = 0;
    std::uint64_t inode_ = 0;
    std::filesystem::path path_;
};

} // namespace tamblure
