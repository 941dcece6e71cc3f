#pragma once

// What each thumbnail of a folder was made with, so that a run asked to
// bring the folder up to date keeps the thumbnails that are.
//
// The records live in the thumbnail folder, in hidden files named
// ".tamblure-vignettes-" and 16 hexadecimal digits. Each writing process
// writes a file of its own, replaced whole like every output, so that runs
// working on one folder at the same time (the parts of a run spread over
// machines, say) never lose each other's records; reading merges every such
// file, and a process that has read files removes them once its own file,
// which holds all they said, is in place. The records only ever serve to
// skip work: a file that is missing, damaged or written by another version
// of the program is passed over, and a record counts only while the
// photograph and the thumbnail are still the very files it describes.

#include "batch/traite_image.h"
#include "common/directory.h"
#include "common/file_io.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tamblure::batch {

struct ThumbnailRecord {
    ThumbnailRequest request;      // what the thumbnail was made with
    FileStamp photograph;          // the photograph as it was read
    FileStamp thumbnail;           // the thumbnail as it was written
    std::uint16_t orientation = 0; // the photograph's EXIF orientation, for the page
};

class ThumbnailRecords {
public:
    // The records of the thumbnail folder, which must stay open as long as
    // this object.
    explicit ThumbnailRecords(const Directory& thumbnailFolder);

    // Reads every record file of the folder; what cannot be read is passed
    // over.
    void load();

    // The record of fileName when the thumbnail is up to date: the record
    // was made with this request, the photograph is the one it describes,
    // the thumbnail is the regular file it describes and is not older than
    // the photograph. Nothing otherwise. Safe to call from several threads
    // at once, as long as no load() runs.
    const ThumbnailRecord* upToDate(const std::string& fileName, const FileStamp& photograph,
                                    const FileStamp& thumbnail, const ThumbnailRequest& request) const;

    // Notes what a thumbnail was made with (or kept); call from one thread.
    void set(const std::string& fileName, const ThumbnailRecord& record);

    // Writes this process's file with every record read or set (its bytes
    // on the disk before it takes its name), then removes the files that
    // load() read. Failures are passed over: the thumbnails
    // whose records are lost are simply made again by the next run. Never
    // raises, so that a run ending with an error can still save.
    void save() noexcept;

    // The record file's text, and its reading, apart from the files.
    static std::string format(const std::map<std::string, ThumbnailRecord>& records);
    static std::map<std::string, ThumbnailRecord> parse(const std::string& text);

private:
    const Directory& folder_;
    std::string ownName_;                           // this process's file
    std::vector<std::string> read_;                 // the files load() read
    std::map<std::string, ThumbnailRecord> loaded_; // as read; not changed during a run
    std::map<std::string, ThumbnailRecord> made_;   // set during this run
};

} // namespace tamblure::batch
