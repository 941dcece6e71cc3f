#pragma once

// What a batch run reads from the window that started it, and the few things
// it does to that window. The window, the command-line companion and the
// tests each provide their own.

#include "metadata/metadata_policy.h"

#include <cstddef>
#include <string>
#include <vector>

namespace tamblure::batch {

// How the number field is read: "Dimension maximale" (the thumbnail's
// largest side in pixels) or "Facteur de réduction" (an integer factor).
enum class Criterion {
    LargestDimension,
    ReductionFactor
};

// Which page a run writes: the classic HTML 4.01 page, Latin-1, CR LF, a
// table (the window's, and the default), or the modern HTML5 page, UTF-8,
// whose grid fits the screen (modern_page.h).
enum class PageStyle {
    Classic,
    Modern
};

// A sub-folder whose page the modern page links to, with what that page
// holds: its photographs, and the sub-folders it links to in turn.
struct FolderLink {
    std::string name; // the sub-folder's own name (UTF-8 or any bytes)
    std::size_t photographs = 0;
    std::size_t folders = 0;
};

// The links of a modern page within a library.
struct PageLinks {
    bool parent = false; // a link to the parent folder's page
    std::vector<FolderLink> subFolders;
};

class RunHost {
public:
    virtual ~RunHost() = default;

    // The criterion and the quality are read anew for every picture, as the
    // window's controls are. quality(): 1 to 100.
    virtual Criterion criterion() const = 0;
    virtual int quality() const = 0;
    // The page is asked for once, when a run starts: whether it is wanted,
    // its title (UTF-8) and the page dialog's column count as typed (it may
    // lie outside 1 to 10). A change during the run has no effect on it.
    virtual bool pageWanted() const = 0;
    virtual int columnCount() const = 0;
    virtual std::string title() const = 0;
    // Asked with the above: which page, and the modern page's links.
    virtual PageStyle pageStyle() const { return PageStyle::Classic; }
    virtual PageLinks pageLinks() const { return {}; }
    // What the thumbnails may carry of their photographs' metadata.
    virtual metadata::MetadataPolicy metadataPolicy() const { return metadata::MetadataPolicy::Everything; }

    // The list of pictures done ("resultat"): emptied at the start of a run,
    // one file name (UTF-8) added per picture, in search order.
    virtual void clearList() = 0;
    virtual void addToList(const std::string& fileName) = 0;

    // A picture whose thumbnail was up to date and kept as it was; the list
    // takes it like any other unless the host says otherwise.
    virtual void addKeptToList(const std::string& fileName) { addToList(fileName); }

    // A photograph whose thumbnail was made although libjpeg warned of its
    // data: cut short (the rest of the picture filled with grey), or
    // corrupt; the message says which. Once per photograph.
    virtual void reportWarning(const std::string& fileName, const std::string& message)
    {
        static_cast<void>(fileName);
        static_cast<void>(message);
    }

    // A thumbnail removed because its photograph is gone (a run that prunes).
    virtual void reportPruned(const std::string& fileName) { static_cast<void>(fileName); }

    // A photograph that failed, in a run that goes on past failures; the
    // message is the one the error box would show.
    virtual void reportFailure(const std::string& fileName, const std::string& message)
    {
        static_cast<void>(fileName);
        static_cast<void>(message);
    }

    // How far the run is: `done` pictures of `total` recorded. Called once
    // the photographs are found (0 of total), then after each picture.
    virtual void showProgress(std::size_t done, std::size_t total)
    {
        static_cast<void>(done);
        static_cast<void>(total);
    }

    // Lets the window handle what is pending (painting, input); called
    // between two pictures, and while the run waits for a picture that other
    // threads are making.
    virtual void processEvents() = 0;

    // True once the window is closing: the run ends after the pictures in
    // hand, without its page and without "Terminé".
    virtual bool stopRequested() const { return false; }
};

} // namespace tamblure::batch
