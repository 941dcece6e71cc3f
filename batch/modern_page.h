#pragma once

// The modern page "index.html" (--page moderne): HTML5 in UTF-8 with LF
// line ends, its style sheet inside it (no script, nothing fetched from
// elsewhere). The thumbnails stand in a grid of at most the columns asked
// for, fewer on a narrow screen and never wider than it; each links to its
// photograph and bears its name and size; the colours follow the reader's
// light or dark setting; every link shows the keyboard's focus. In a
// library, the page links to its sub-folders' pages and to its parent's.
//
// It is written through the same PageFile as the classic page, so it too is
// put in place only when the run gets to its end; its cells are gathered
// and the page written whole at the end, since its style sheet needs the
// widest thumbnail's width. Its words are French, all in one place in
// modern_page.cpp.

#include "batch/page_writer.h"
#include "batch/run_host.h"
#include "batch/run_page.h"

#include <cstdint>
#include <string>

namespace tamblure::batch {

struct ModernPageSettings {
    std::string title;        // UTF-8, escaped when written; empty: the folder's name
    std::string folderName;   // the folder's own name
    std::int32_t columns = 1; // brought into 1 to 10
    PageLinks links;
};

class ModernPage final : public RunPage {
public:
    explicit ModernPage(ModernPageSettings settings);
    void begin(PageFile& page) override;
    void cell(PageFile& page, const PageCell& cell, std::int32_t imageCounter) override;
    void end(PageFile& page, std::int32_t imageCounter) override;

private:
    ModernPageSettings settings_;
    std::string cells_;       // the grid's cells so far
    std::int32_t widest_ = 0; // the widest thumbnail so far, as shown
};

// A file's size as the captions give it, in French: "850 octets", "12 ko",
// "2,9 Mo", "1,2 Go" (units of 1024, one decimal from Mo on, a no-break
// space before the unit).
std::string sizeText(std::int64_t bytes);

// A file name as an address inside a srcset list: htmlAddress, with the
// comma percent-encoded too, since commas separate the list's candidates.
std::string srcsetAddress(std::string_view fileName);

} // namespace tamblure::batch
