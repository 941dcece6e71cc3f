#pragma once

// The photographs of a folder, as the batch run visits them.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tamblure::app {

struct FoundFile {
    std::string name;       // without folder
    std::int64_t size = 0;  // in bytes
};

// The regular files of the folder itself (a link to a regular file counts as
// one) whose names end in ".jpg" in any case. Hidden names (beginning with
// ".") are skipped, and so are folders, FIFOs, devices, sockets and broken or
// looping links, which are never opened. The names come compared without
// regard to case (then byte by byte), so that runs are repeatable. Raises
// EInOutError ("Impossible de lire le dossier <folder> : <reason>") when the
// folder does not exist, is not a folder, or cannot be read to its end.
std::vector<FoundFile> findPhotographs(const std::filesystem::path& folder);

} // namespace tamblure::app
