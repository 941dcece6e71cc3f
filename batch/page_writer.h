#pragma once

// The page "index.html": a title and a table of thumbnails, each linking to
// its photograph. The page is written line by line in Latin-1 with CR LF line
// ends into a temporary file beside the target, and put in place only when
// the run has written it to its end: a run ended by an error or stopped
// leaves an earlier page untouched. PageFile writes the modern page
// (modern_page.h) too.

#include "batch/folder_search.h"
#include "common/atomic_file.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace tamblure::batch {

class PageFile {
public:
    explicit PageFile(std::filesystem::path target) : file_(std::move(target)) {}
    // The page `name` inside folder, which must stay open as long as this
    // object.
    PageFile(const Directory& folder, const std::string& name) : file_(folder, name) {}
    PageFile(const PageFile&) = delete;
    PageFile& operator=(const PageFile&) = delete;

    // False when the page cannot be created; the run then goes on without it
    // and finish() reports why.
    bool open();
    bool isOpen() const { return file_.isOpen(); }

    // Writes one line (UTF-8) in Latin-1, followed by CR LF. Characters
    // outside Latin-1 become numeric character references (&#NNNN;); bytes
    // that are not UTF-8 are taken as Latin-1 characters. A failed write is
    // kept for finish().
    void writeLine(std::string_view line);

    // Writes text as it is (the modern page: UTF-8, its own line ends). A
    // failed write is kept for finish().
    void writeText(std::string_view text);

    // Puts the page in place under its name, its bytes on the disk before
    // it takes the name and the name on the disk after. Raises EFCreateError
    // when it could not be created, EWriteError when it could not be written
    // or put in place, each with the system's reason; the old page then
    // stays.
    void finish();

private:
    AtomicFile file_;
    bool opened_ = false;
};

// A file name as text or attribute value: & < > " become character references.
std::string htmlText(std::string_view fileName);

// A file name as a relative address: every byte that a browser would not take
// literally in a path (controls, space, " # % < > ? \ : and the like, and
// every byte of a non-ASCII character) is percent-encoded, and & becomes a
// character reference, so that the link reaches the file whatever its name.
std::string htmlAddress(std::string_view fileName);

// Line 2 of the page: the HTML 4.01 Transitional system identifier.
inline constexpr std::string_view kDtdAddress = "http://www.w3.org/TR/html4/loose.dtd";

// What one cell shows.
struct PageCell {
    std::string fileName;   // the photograph's name (UTF-8)
    std::int32_t width = 0; // the thumbnail's size in pixels
    std::int32_t height = 0;
    std::int64_t kilobytes = 0; // the photograph's size div 1024
    // EXIF orientation of the photograph; 5 to 8 mean it is shown turned a
    // quarter, so the cell's height and width are swapped.
    std::uint16_t orientation = 0;
    // What the modern page shows besides: the photograph's size in bytes,
    // its caption (UTF-8, empty when none) and whether it has a thumbnail at
    // twice the size.
    std::int64_t bytes = 0;
    std::string caption;
    bool doubled = false;

    bool turned() const { return orientation >= 5 && orientation <= 8; }
    std::int32_t shownWidth() const { return turned() ? height : width; }
    std::int32_t shownHeight() const { return turned() ? width : height; }
};

// What the page dialog said when the run started.
struct PageSettings {
    std::string title;        // UTF-8, written as it is: markup in it is the user's
    std::int32_t columns = 1; // as typed; below 2, one picture a line without a table
};

// The four writing operations.
void EcritEntete(PageFile& page, const PageSettings& settings);
void OuvreCellule(PageFile& page, const PageSettings& settings, std::int32_t imageCounter);
void EcritCellule(PageFile& page, const PageSettings& settings, const PageCell& cell, std::int32_t imageCounter);
void EcritPied(PageFile& page, const PageSettings& settings, std::int32_t imageCounter);

} // namespace tamblure::batch
