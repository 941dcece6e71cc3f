#pragma once

// Writing a file so that its target is always either the old file (or none)
// or the complete new one.
//
// The bytes go to an anonymous file in the target's folder; when complete it
// is linked under a temporary name and renamed over the target. Where the
// file system has no anonymous files, the bytes go to the temporary name
// from the start. Temporary names are ".tamblure-" and 16 random hexadecimal
// digits: they do not grow with the target's name (a target name of 255
// bytes works), and no two writers share one, whatever process or machine
// they run on, so any number of runs on one folder never disturb each other.
// A writer holds an exclusive lock (flock) on its file from its creation to
// its rename; removeAbandonedTemporaries takes away only the temporary files
// that nobody holds, which is what a killed writer leaves.
//
// A failure or an exception leaves the target as it was and no temporary file
// behind; error() then says why, as an errno value. After the first failure
// every further operation fails with the same error. The rename replaces a
// link standing at the target's name instead of writing through it.
//
// Everything happens inside the folder as it was opened, through its
// descriptor: the folder given as a Directory, or the target's folder opened
// once by open(). A link put in place of the folder's path meanwhile changes
// nothing.

#include "common/directory.h"
#include "common/file_io.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

namespace tamblure {

class AtomicFile {
public:
    explicit AtomicFile(std::filesystem::path target);
    // The file `name` inside folder, which must stay open as long as this
    // object.
    AtomicFile(const Directory& folder, const std::string& name);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file in the target's folder. Its permission bits
    // are `permissions` less the process's umask. False when the folder does
    // not exist or cannot be written.
    [[nodiscard]] bool open(unsigned permissions = 0666);
    bool isOpen() const { return fd_ >= 0; }

    [[nodiscard]] bool write(std::span<const std::uint8_t> bytes);
    [[nodiscard]] bool write(std::string_view text);

    // Appends the bytes of the open file `from`, from `offset` to its end,
    // a piece at a time: a file of any size costs no more memory than a small
    // buffer. A read error of `from` fails like a write error.
    [[nodiscard]] bool copyFrom(int from, std::uint64_t offset);

    // The open file, for changes of its owner, mode or ACL before it is put
    // in place; -1 when none is open.
    int descriptor() const { return fd_; }

    // Puts the file in place under the target's name. False when any write
    // failed or the file could not be placed; the target is then unchanged.
    // When durable, the file's bytes reach the disk before it takes the name,
    // and the folder's entries after, so that after a power loss the target
    // is either the old file or the complete new one (should only that last
    // sync of the folder fail, the file is in place and commit() says false
    // all the same). After commit() the object holds nothing.
    [[nodiscard]] bool commit(bool durable = false);

    // Drops what was written; the target is unchanged.
    void discard();

    // The errno value of the failure, 0 while nothing failed.
    int error() const { return error_; }
    // After a successful commit: the stamp of the file as it was put in
    // place, taken from the file itself, so that it is this writer's file
    // even if another has replaced it since.
    const FileStamp& placed() const { return placed_; }
    const std::filesystem::path& target() const { return target_; }

private:
    bool fail(int error);
    bool flush();

    int folder() const { return folder_ != nullptr ? folder_->fd() : -1; }

    std::filesystem::path target_; // for the messages
    std::string name_;             // the target's name inside its folder
    const Directory* folder_ = nullptr;
    Directory ownFolder_; // opened by open() when no folder was given
    std::string named_;   // the temporary name, once the file has one
    int fd_ = -1;
    int error_ = 0;
    std::vector<std::uint8_t> buffer_;
    FileStamp placed_;
};

// Removes from folder the temporary files of writers that are gone (killed
// before they could rename or remove them), and those that earlier versions
// of the program left under ".<name>.tamblure~". A temporary file that a live
// writer holds is never touched. Failures are ignored: this only tidies up.
void removeAbandonedTemporaries(const std::filesystem::path& folder);
void removeAbandonedTemporaries(const Directory& folder);

} // namespace tamblure
