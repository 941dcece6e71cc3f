#pragma once

// The batch run behind the start button, without its window: from the number
// field's conversion to the page's end. The page dialog before it and the
// "Terminé" box after it belong to the caller.

#include "batch/folder_search.h"
#include "batch/run_host.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tamblure::batch {

enum class RunEnd {
    Finished, // every picture done: the caller shows "Terminé"
    Stopped,  // the host asked to stop: no "Terminé"
};

// How a run makes its pictures.
struct RunOptions {
    // Threads that make the pictures while the calling thread hands them out
    // and records them; 0: the calling thread makes every picture itself,
    // one after the other.
    unsigned workers = 0;
    // A photograph that fails is reported to the host (reportFailure) and
    // left out: no thumbnail, no list line, no page cell; the run goes on.
    bool keepGoing = false;
    // Writes what each thumbnail was made with into the thumbnail folder
    // (see ThumbnailRecords).
    bool record = false;
    // Keeps the thumbnails that are up to date (see keptThumbnail; implies
    // record).
    bool update = false;
    // With update, once every picture is made: removes the thumbnails whose
    // photograph is gone, of this run's part of the names (see inShard),
    // and only those the records say this program made (see
    // ThumbnailRecords::prune); the host hears of each.
    bool prune = false;
    unsigned shardPart = 1;
    unsigned shardParts = 1;
    // Also makes each thumbnail at twice the size (doubledRequest) in
    // tamblure/2x, by the same rules and with its own records, for the
    // modern page's screens of high density.
    bool doubled = false;
    // What the pictures in hand may hold at once, whatever the number of
    // workers (see MemoryBudget).
    std::uint64_t memoryBudget = std::uint64_t{1} << 30;
};

// Runs the batch over the folder named by folderText (the "repertoire" field)
// with the number typed in numberText (the "Largeur" field): the number's
// conversion, the folder's search, then runFolder.
RunEnd runBatch(RunHost& host, const std::string& folderText, const std::string& numberText, const RunOptions& options);

// The run over photographs already found in folder, in search order. The
// thumbnail folder is made inside it (or opened) without following a link;
// a `tamblure` that is a link, or the folder itself under another name, is
// an error (EInOutError) before anything is written. The list, the page cells and the image counter come in search
// order, and the host is only called from the calling thread. Each picture's
// criterion and quality are read from the host when the picture is handed
// out. Unless the options say to keep going, the first error in search order
// ends the run with its message, once the pictures in hand are made (so
// pictures after it may have their thumbnails); thumbnails written before it
// stay, and an earlier page is left as it was.
RunEnd runFolder(RunHost& host, const Directory& folder, std::int32_t number, const std::vector<FoundFile>& photographs,
                 const RunOptions& options);

// The run behind the start button, every picture made on the calling thread.
RunEnd Button1Click(RunHost& host, const std::string& folderText, const std::string& numberText);

} // namespace tamblure::batch
