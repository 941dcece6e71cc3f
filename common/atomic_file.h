#pragma once

// Writing a file so that its target is always either the old file (or none)
// or the complete new one. The bytes go to an anonymous file in the target's
// folder; when complete it is linked under a hidden name beside the target
// (".<name>.tamblure~") and renamed over the target. A failure or an
// exception leaves the target as it was and no temporary file behind; a
// process killed between the link and the rename leaves only the hidden
// file, which the next write of that target replaces. The rename also
// replaces a link standing at the target's name instead of writing through it.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string_view>

namespace tamblure {

class AtomicFile {
public:
    explicit AtomicFile(std::filesystem::path target);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the hidden file in the target's folder; false when the folder
    // does not exist or cannot be written.
    bool open();
    bool isOpen() const { return file_ != nullptr; }

    // The open stream, for writers that take a FILE* (libjpeg's stdio
    // destination). Null before open() and after commit().
    std::FILE* stream() const { return file_; }

    bool write(std::span<const std::uint8_t> bytes);
    bool write(std::string_view text);

    // Flushes and puts the file in place under the target's name. False when
    // any write failed or the file could not be placed; the target is then
    // unchanged. After commit() the object holds nothing.
    bool commit();

    // Drops what was written; the target is unchanged.
    void discard();

    const std::filesystem::path& target() const { return target_; }

private:
    std::filesystem::path target_;
    std::filesystem::path namedTemp_; // set only where anonymous files are not supported
    std::FILE* file_ = nullptr;
    bool failed_ = false;
};

// Copies a file byte for byte to a target, replacing it atomically. False on
// any failure, the target then unchanged.
bool copyFileAtomically(const std::filesystem::path& from, const std::filesystem::path& to);

} // namespace tamblure
