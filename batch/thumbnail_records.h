#pragma once

// What each thumbnail of a folder was made with, so that a run asked to
// bring the folder up to date keeps the thumbnails that are.
//
// The records live in the thumbnail folder, in hidden files named
// ".tamblure-vignettes-" and 16 hexadecimal digits. Each writing process
// writes a file of its own, replaced whole like every output, so that runs
// working on one folder at the same time (the parts of a run spread over
// machines, say) never lose each other's records; reading gathers every such
// file, and a process that has read files removes them once its own file,
// which holds all they said, is in place.
//
// A record counts only while the photograph and the thumbnail are the very
// files it describes: same device, inode, size, modification and change
// times. Nothing is compared with the clock or between the two files' times,
// so a photograph dated in the future is no trouble, and a photograph
// rewritten in place with its old size and time still shows by its change
// time. When several records speak of one thumbnail (two runs made it at
// once), the one whose stamp is that of the file now in place counts.
//
// The record files are input: anyone who can write in the folder controls
// them. What is read is bounded (their size in all), a line that does not
// parse is passed over, and the records are only ever used to skip work or
// to remove a thumbnail they name whose file is still the very one they
// describe. Files of an earlier format count as empty: the thumbnails they
// spoke of are looked at afresh (see the step's adoption).

#include "batch/traite_image.h"
#include "common/directory.h"
#include "common/file_io.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tamblure::batch {

struct ThumbnailRecord {
    ThumbnailRequest request; // what the thumbnail was made with
    FileStamp photograph;     // the photograph as it was read
    FileStamp thumbnail;      // the thumbnail as it was written (or last changed)
    std::uint16_t width = 0;  // the thumbnail's size, for the page
    std::uint16_t height = 0;
    std::uint16_t orientation = 0; // the photograph's EXIF orientation, for the page
    bool operator==(const ThumbnailRecord&) const = default;
    // Ordered only so that the records of one name are told once by sorting
    // them: a file may hold a million lines for one name.
    auto operator<=>(const ThumbnailRecord&) const = default;
};

class ThumbnailRecords {
public:
    // The records of the thumbnail folder, which must stay open as long as
    // this object.
    explicit ThumbnailRecords(const Directory& thumbnailFolder);

    // Reads every record file of the folder; what cannot be read is passed
    // over.
    void load();

    // The record of fileName when the thumbnail is up to date for this
    // request: a record made with it whose photograph and thumbnail stamps
    // are those given. Nothing otherwise. Safe to call from several threads
    // at once, as long as neither load() nor prune() runs.
    const ThumbnailRecord* upToDate(const std::string& fileName, const FileStamp& photograph,
                                    const FileStamp& thumbnail, const ThumbnailRequest& request) const;

    // Notes what a thumbnail of this run was made with, or kept with; call
    // from one thread. Only a record that says something new makes save()
    // write.
    void set(const std::string& fileName, const ThumbnailRecord& record);

    // Removes the thumbnails whose photographs are gone: those of the
    // records of names not in `present` (and that `ours` says belong to this
    // run), when the file in place is still the very thumbnail the record
    // describes, never any other file; and the records of them all. Gives
    // the names of the thumbnails removed.
    template <typename Ours>
    std::vector<std::string> prune(const std::set<std::string>& present, Ours ours);

    // When anything new was set or pruned, writes this process's file with
    // every record that still describes the file in place (those of this run
    // and the others read), its bytes on the disk before it takes its name,
    // then removes the files that load() read. Failures are passed over: the
    // thumbnails whose records are lost are simply made again, or adopted,
    // by the next run. Never raises, so that a run ending with an error can
    // still save.
    void save() noexcept;

    // The record file's text, and its reading, apart from the files. A name
    // may have several records in a file read (parse), one in a file
    // written (format).
    static std::string format(const std::map<std::string, ThumbnailRecord>& records);
    static std::map<std::string, std::vector<ThumbnailRecord>> parse(std::string_view text);

private:
    // The current stamp of the thumbnail `name`, when it is a regular file.
    std::optional<FileStamp> stampOfThumbnail(const std::string& name) const;
    bool remove(const std::string& name, const std::vector<ThumbnailRecord>& records);

    const Directory& folder_;
    std::string ownName_;                                        // this process's file
    std::vector<std::string> read_;                              // the files load() read
    std::map<std::string, std::vector<ThumbnailRecord>> loaded_; // as read
    std::map<std::string, ThumbnailRecord> made_;                // set during this run
    bool changed_ = false;                                       // something for save() to write
};

template <typename Ours>
std::vector<std::string> ThumbnailRecords::prune(const std::set<std::string>& present, Ours ours)
{
    std::vector<std::string> removed;
    for (auto it = loaded_.begin(); it != loaded_.end();) {
        if (present.contains(it->first) || made_.contains(it->first) || !ours(it->first)) {
            ++it;
            continue;
        }
        if (remove(it->first, it->second))
            removed.push_back(it->first);
        it = loaded_.erase(it);
        changed_ = true;
    }
    return removed;
}

} // namespace tamblure::batch
