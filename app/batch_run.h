#pragma once

// The batch run behind the start button, without its window: from the number
// field's conversion to the page's end. The page dialog before it and the
// "Terminé" box after it belong to the caller.

#include "app/run_host.h"

#include <string>

namespace tamblure::app {

enum class RunEnd {
    Finished, // every picture done: the caller shows "Terminé"
    Stopped,  // the host asked to stop: no "Terminé"
};

// Runs the batch over the folder named by folderText (the "repertoire" field)
// with the number typed in numberText (the "Largeur" field). Every error
// raises its exception with the message the user sees; thumbnails written
// before it stay, and the page keeps the lines written so far.
RunEnd Button1Click(RunHost& host, const std::string& folderText, const std::string& numberText);

// The same run with up to `jobs` pictures made at once on worker threads. It
// still behaves as one run: the list, the page cells and the image counter
// come in search order, the host is only called from the calling thread, and
// the first error in search order ends the run with its message (pictures
// after it that were already being made may be finished). The criterion and
// the quality are read once per picture when it is handed to a worker.
RunEnd runBatch(RunHost& host, const std::string& folderText, const std::string& numberText, unsigned jobs);

} // namespace tamblure::app
