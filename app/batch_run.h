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

} // namespace tamblure::app
