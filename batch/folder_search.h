#pragma once

// The photographs of a folder, as the batch run visits them.

#include "common/directory.h"
#include "common/file_io.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tamblure::batch {

// The thumbnail folder inside the photographs' folder, as the file system
// and the page's addresses name it.
inline constexpr std::string_view kThumbnailFolderName = "tamblure";

struct FoundFile {
    std::string name;      // without folder
    std::int64_t size = 0; // in bytes
    FileStamp stamp;       // the photograph as the search saw it
    // False for an entry named like a photograph that is no regular file
    // (a FIFO, a socket, a device, a broken or looping link): the run
    // reports it in its place, and never opens it. `error` is then the
    // errno value of the failed look at a link's target, 0 when the entry
    // is there but is no regular file.
    bool regular = true;
    int error = 0;
};

// The entries of the folder itself whose names end in ".jpg" or ".jpeg" in
// any case:
// its regular files (a link to a regular file counts as one), and the other
// entries of such names, marked (see FoundFile) so that none is passed over
// in silence. Hidden names (beginning with ".") and folders are left out.
// The names come compared without regard to case (then byte by byte), so
// that runs are repeatable. Raises EInOutError ("Impossible de lire le
// dossier <folder> : <reason>") when the folder does not exist, is not a
// folder, cannot be read to its end, or can be read but not searched (its
// entries cannot be looked at: no execute permission).
std::vector<FoundFile> findPhotographs(const std::filesystem::path& folder);
std::vector<FoundFile> findPhotographs(const Directory& folder);

// The folder at path, open; raises findPhotographs' EInOutError when it
// cannot be opened.
Directory openFolder(const std::filesystem::path& path);

// The folder `relative` below top (a path of one or more plain names, as
// folderTree gives them relative to top), opened name by name without following a link at
// any of them, so that a sub-folder swapped for a link after the walk is
// refused rather than followed out of the tree. Raises EInOutError as above.
Directory openFolderBelow(const Directory& top, const std::filesystem::path& relative);

// The folder's name as the messages give it, ending in "/".
std::string shownFolder(const Directory& folder);

// The folder and every folder below it at any depth, each once: the folder
// itself first, then each sub-folder followed by those below it (depth
// first), sub-folders in the photographs' order (names without regard to
// case). Hidden folders, folders named like the thumbnail folder and links
// to folders are left out, so the walk never loops nor leaves the tree. A
// sub-folder that cannot be read is listed, without what lies below it: its
// own search reports why.
std::vector<std::filesystem::path> folderTree(const std::filesystem::path& top);

// True when the file name falls in part `part` (1 to `parts`) of a run split
// into `parts` parts: a stable hash of the name's bytes decides, so that a
// photograph stays in its part whatever else joins the folder.
bool inShard(const std::string& fileName, unsigned part, unsigned parts);

} // namespace tamblure::batch
