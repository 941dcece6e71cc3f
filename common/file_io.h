#pragma once

// Reading whole files. Photographs are only ever opened for reading.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace tamblure {

// What tells one version of a file from another: the file itself (device and
// inode), its size and its modification time in nanoseconds.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modified = 0; // nanoseconds since the epoch
    bool operator==(const FileStamp&) const = default;
};

// The stamp of a regular file; nothing for anything else, or when it cannot
// be read. A link is followed when followLink says so.
std::optional<FileStamp> stampOf(const std::filesystem::path& path, bool followLink);
FileStamp stampOf(const struct stat& info);

// A file opened for reading only. The open never blocks, so a FIFO or a
// device named like a photograph cannot hang a run, and only a regular file
// (or a link to one) counts as readable. Closed with the object.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::filesystem::path& path);
    // The file `name` inside the folder open at folderFd; a link at that
    // name is followed only when followLink says so (otherwise the open
    // fails with ELOOP).
    ReadOnlyFile(int folderFd, const std::string& name, bool followLink = true);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    // False when the open itself failed (no such file, no right to read);
    // openError() then gives the errno value.
    bool opened() const { return fd_ >= 0; }
    int openError() const { return openError_; }
    // True when the file is open and regular: the only files to read.
    bool readable() const { return regular_; }
    int fd() const { return fd_; }
    std::uint64_t size() const { return size_; }
    // The permission bits (rwx for owner, group and others) of a readable file.
    unsigned permissions() const { return permissions_; }
    // The stamp of a readable file as it was opened.
    const FileStamp& stamp() const { return stamp_; }
    // Hands the descriptor over (to fdopen, say); the object then holds none.
    int release();

    // The file's first bytes, at most maxBytes of them (fewer when the file
    // is shorter). False on a read error, whose errno value goes to error.
    [[nodiscard]] bool readHead(std::size_t maxBytes, std::vector<std::uint8_t>& out, int& error) const;

    // The file's first bytes into `into`, as many as fit; `got` says how
    // many came (fewer at the end of the file). False on a read error.
    [[nodiscard]] bool readHead(std::span<std::uint8_t> into, std::size_t& got, int& error) const;

private:
    void take(int fd);

    int fd_ = -1;
    int openError_ = 0;
    bool regular_ = false;
    std::uint64_t size_ = 0;
    unsigned permissions_ = 0;
    FileStamp stamp_;
};

// A block of memory kept from one use to the next, for reading one file
// after another: once large enough it costs neither an allocation nor the
// page faults of fresh memory. Its bytes are not cleared.
class ReadBuffer {
public:
    // Room for `size` bytes, holding whatever was there before.
    std::span<std::uint8_t> room(std::size_t size);
    // Gives the memory back.
    void release();
    std::size_t capacity() const { return capacity_; }

private:
    std::unique_ptr<std::uint8_t[]> block_;
    std::size_t capacity_ = 0;
};

// Every byte of the file. Raises EFOpenError ("Impossible d'ouvrir le fichier
// %s", with the system's reason) when it cannot be opened or read, and EOutOfMemory when it is larger
// than maxBytes.
[[nodiscard]] std::vector<std::uint8_t> readWholeFile(const std::filesystem::path& path,
                                                      std::uint64_t maxBytes = std::uint64_t{1} << 30);

} // namespace tamblure
