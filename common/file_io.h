#pragma once

// Reading files. Photographs are only ever opened for reading.

#include <compare>
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
    // The last change of the file or of its inode (contents, mode, owner,
    // links), in nanoseconds since the epoch: set by the system alone, so
    // that a file rewritten and given back its old modification time still
    // tells.
    std::int64_t changed = 0;
    bool operator==(const FileStamp&) const = default;
    auto operator<=>(const FileStamp&) const = default;
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

    // The file's first bytes, at most maxBytes of them (fewer when the file
    // is shorter). False on a read error, whose errno value goes to error.
    [[nodiscard]] bool readHead(std::size_t maxBytes, std::vector<std::uint8_t>& out, int& error) const;

private:
    void take(int fd);

    int fd_ = -1;
    int openError_ = 0;
    bool regular_ = false;
    std::uint64_t size_ = 0;
    unsigned permissions_ = 0;
    FileStamp stamp_;
};

// A photograph's bytes, in memory for every stage that reads them: the
// header probe, the metadata and the decoders all take this one span, and
// the file is read once. The file is opened as ReadOnlyFile opens it (only
// read, never blocking, and only a regular file is read). A file of up to
// kReadWhole bytes is read into a block of its own; a larger one (a
// gigapixel panorama) is mapped instead, so that only the pages the decoder
// reaches are read and memory holds no second copy. A mapped file cut short by another program
// while it is read ends the process (SIGBUS); files that large are rare and
// are not rewritten in place by the programs that make them.
class PhotographBytes {
public:
    static constexpr std::uint64_t kReadWhole = std::uint64_t{256} << 20;

    // Opens the file and, when it is regular, reads or maps it. Never
    // raises for the file's sake: see readable() and error().
    explicit PhotographBytes(const std::filesystem::path& path);
    // The file `name` inside the folder open at folderFd (ReadOnlyFile's
    // open), named `path` in messages; read or mapped at once unless
    // `later`, and then by load(), once what it will cost is known (from
    // file().readHead(), say).
    enum class Load {
        Now,
        Later
    };
    PhotographBytes(int folderFd, const std::string& name, std::filesystem::path path, bool followLink = true,
                    Load when = Load::Now);
    ~PhotographBytes();
    PhotographBytes(const PhotographBytes&) = delete;
    PhotographBytes& operator=(const PhotographBytes&) = delete;

    const std::filesystem::path& path() const { return path_; }
    const ReadOnlyFile& file() const { return file_; }
    // True when the file is regular and its bytes are in memory.
    bool readable() const { return read_; }
    // The errno value of a failed open, read or mapping; 0 for a file that
    // opened but is not regular.
    int error() const { return error_; }
    // Every byte of a readable file (fewer when it shrank while it was
    // read); nothing for any other.
    std::span<const std::uint8_t> bytes() const { return bytes_; }

    // Raises EFOpenError ("Impossible d'ouvrir le fichier %s", with the
    // system's reason) unless the file is readable.
    void requireReadable() const;

    // Reads or maps the file opened with Load::Later; nothing once done.
    void load();

private:
    std::filesystem::path path_;
    ReadOnlyFile file_;
    std::span<const std::uint8_t> bytes_;
    bool read_ = false;
    int error_ = 0;
    bool loaded_ = false;
    void* mapped_ = nullptr; // the mapping, for a file above kReadWhole
    std::unique_ptr<std::uint8_t[]> own_;
};

} // namespace tamblure
