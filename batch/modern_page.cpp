#include "batch/modern_page.h"

#include "batch/folder_search.h"
#include "batch/traite_image.h"
#include "common/translation.h"
#include "metadata/caption.h"

#include <algorithm>
#include <utility>

namespace tamblure::batch {

namespace {

// Every word the page shows, in one place: in the reader's language, as
// every text of the program (the classic page alone stays French).
namespace words {
constexpr const char* kParent = trLater("Dossier parent");
constexpr const char* kFolders = trLater("Dossiers");
constexpr PluralText kPhotographs = trnLater("photo", "photos");
constexpr PluralText kFoldersCount = trnLater("dossier", "dossiers");
constexpr PluralText kBytes = trnLater("octet", "octets");
constexpr const char* kKilo = trLater("ko");
constexpr const char* kMega = trLater("Mo");
constexpr const char* kGiga = trLater("Go");
constexpr const char* kUntitled = trLater("Photographies");
} // namespace words

constexpr const char* kNoBreakSpace = "\u00A0";
constexpr const char* kDash = " \u2014 ";

// The style sheet, but for the grid's column count and widest row. The
// grid's columns are at least 150 px and at least a column count's share of
// the width (the pixel less keeps rounding from losing a column), never
// wider than the page: so at most the columns asked for, fewer on a narrow
// screen. Each thumbnail is as wide as its column or its own width, the less,
// and at least 150 px where the column allows: a small photograph copied
// whole is shown large enough to see, not blown up to the column. The grid is
// never wider than the columns asked for of the widest thumbnail.
constexpr const char* kStyle = R"(:root {
  color-scheme: light dark;
  --fond: #f6f6f4; --carte: #ffffff; --texte: #1b1b1b; --discret: #555555;
  --lien: #0b57d0; --bord: #d4d4d0; --focus: #0b57d0; --espace: 0.75rem;
}
@media (prefers-color-scheme: dark) {
  :root {
    --fond: #121212; --carte: #1e1e1e; --texte: #ececec; --discret: #b8b8b8;
    --lien: #8ab4f8; --bord: #3c3c3c; --focus: #fdd663;
  }
}
*, *::before, *::after { box-sizing: border-box; }
html { -webkit-text-size-adjust: 100%; text-size-adjust: 100%; }
body {
  margin: 0; padding: 0.75rem; background: var(--fond); color: var(--texte);
  font: 1rem/1.45 system-ui, -apple-system, "Segoe UI", Roboto, "DejaVu Sans", sans-serif;
}
a { color: var(--lien); }
a:focus-visible { outline: 3px solid var(--focus); outline-offset: 2px; border-radius: 3px; }
header, nav { max-width: max(48rem, @WIDEST@); margin: 0 auto; }
.parent { margin: 0 0 0.5rem; }
h1 { margin: 0 0 1rem; font-size: 1.6rem; line-height: 1.2; text-align: center; overflow-wrap: anywhere; }
h2 { margin: 0 0 0.5rem; font-size: 1.15rem; }
nav { margin-bottom: 1.25rem; }
.dossiers { list-style: none; margin: 0; padding: 0; display: flex; flex-wrap: wrap; gap: 0.5rem; }
.dossiers li {
  max-width: 100%; padding: 0.4rem 0.75rem; border: 1px solid var(--bord); border-radius: 6px;
  background: var(--carte); overflow-wrap: anywhere;
}
.nombre { color: var(--discret); }
.vignettes {
  list-style: none; margin: 0 auto; padding: 0; display: grid; gap: var(--espace);
  grid-template-columns: repeat(auto-fill, minmax(min(100%, max(150px, @SHARE@)), 1fr));
  max-width: @WIDEST@;
}
figure {
  margin: 0; height: 100%; padding: 0.3rem; border: 1px solid var(--bord); border-radius: 6px;
  background: var(--carte); display: flex; flex-direction: column; gap: 0.35rem;
}
figure a { display: block; }
img { display: block; max-width: 100%; min-width: min(100%, 150px); height: auto; margin: 0 auto; }
figcaption {
  margin-top: auto; font-size: 0.875rem; color: var(--discret); text-align: center; overflow-wrap: anywhere;
}
)";

// Text from file names and captions as the page's UTF-8: valid UTF-8 kept,
// other bytes taken as Latin-1, controls as blanks; then escaped.
std::string shown(std::string_view text)
{
    return htmlText(metadata::captionText(text));
}

// "1 photo", "0 photo" (French counts none in the singular), "3 photos".
std::string counted(std::size_t n, PluralText noun)
{
    const char* word = currentLanguage() == Language::French ? (n < 2 ? noun.singular : noun.plural)
                                                             : trn(noun.singular, noun.plural, n);
    return std::to_string(n) + kNoBreakSpace + word;
}

std::string oneDecimal(std::int64_t tenths, const char* unit)
{
    const char* separator = currentLanguage() == Language::French ? "," : ".";
    return std::to_string(tenths / 10) + separator + std::to_string(tenths % 10) + kNoBreakSpace + tr(unit);
}

// The grid column's least share of the width for n columns.
std::string share(std::int32_t n)
{
    return "calc((100% - " + std::to_string(n - 1) + " * var(--espace)) / " + std::to_string(n) + " - 1px)";
}

// The widest grid: n columns of thumbnails `width` pixels wide, with their
// frames' padding and border, and the gaps.
std::string widest(std::int32_t n, std::int32_t width)
{
    return "calc(" + std::to_string(n) + " * (" + std::to_string(std::max(width, 150)) + "px + 0.6rem + 2px) + " +
           std::to_string(n - 1) + " * var(--espace))";
}

void fill(std::string& text, std::string_view placeholder, const std::string& value)
{
    for (std::size_t at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at))
        text.replace(at, placeholder.size(), value);
}

} // namespace

std::string sizeText(std::int64_t bytes)
{
    constexpr std::int64_t kKibi = 1024, kMebi = kKibi * kKibi, kGibi = kMebi * kKibi;
    bytes = std::max<std::int64_t>(bytes, 0);
    if (bytes < kKibi)
        return counted(static_cast<std::size_t>(bytes), words::kBytes);
    // Rounded to the nearest; a count that rounds up to the next unit is
    // given in that unit ("1,0 Mo", never "1024 ko").
    if (const std::int64_t kilo = bytes / kKibi + (bytes % kKibi >= kKibi / 2 ? 1 : 0); kilo < kKibi)
        return std::to_string(kilo) + kNoBreakSpace + tr(words::kKilo);
    if (bytes < kGibi) {
        if (const std::int64_t tenths = (bytes * 10 + kMebi / 2) / kMebi; tenths < 10 * kKibi)
            return oneDecimal(tenths, words::kMega);
    }
    // In kibibytes, so that no size overflows.
    return oneDecimal((bytes / kKibi * 10 + kMebi / 2) / kMebi, words::kGiga);
}

std::string srcsetAddress(std::string_view fileName)
{
    std::string out;
    for (const char c : htmlAddress(fileName))
        out += c == ',' ? std::string("%2C") : std::string(1, c);
    return out;
}

ModernPage::ModernPage(ModernPageSettings settings) : settings_(std::move(settings))
{
    settings_.columns = std::clamp(settings_.columns, 1, 10);
}

// The page is written whole at its end: its style sheet needs the widest
// thumbnail's width.
void ModernPage::begin(PageFile&) {}

void ModernPage::cell(PageFile&, const PageCell& cell, std::int32_t)
{
    const std::string address = htmlAddress(cell.fileName);
    const std::string thumbnails(kThumbnailFolderName);
    const std::string name = shown(cell.fileName);
    std::string& text = cells_;
    text += "<li><figure><a href=\"" + address + "\"><img src=\"" + thumbnails + "/" + address + "\"";
    if (cell.doubled) {
        const std::string inList = srcsetAddress(cell.fileName);
        text += " srcset=\"" + thumbnails + "/" + inList + " 1x, " + thumbnails + "/" +
                std::string(kDoubledFolderName) + "/" + inList + " 2x\"";
    }
    text += " width=\"" + std::to_string(cell.shownWidth()) + "\" height=\"" + std::to_string(cell.shownHeight()) +
            "\" alt=\"" + (cell.caption.empty() ? name : shown(cell.caption)) + "\" loading=\"lazy\"></a>";
    text += "<figcaption>" + name + kDash + sizeText(cell.bytes) + "</figcaption></figure></li>\n";
    widest_ = std::max(widest_, cell.shownWidth());
}

void ModernPage::end(PageFile& page, std::int32_t)
{
    const std::string& named = settings_.title.empty() ? settings_.folderName : settings_.title;
    const std::string title = named.empty() ? std::string(tr(words::kUntitled)) : shown(named);
    std::string style = kStyle;
    fill(style, "@SHARE@", share(settings_.columns));
    fill(style, "@WIDEST@", widest(settings_.columns, widest_));

    std::string text = std::string("<!DOCTYPE html>\n<html lang=\"") +
                       (currentLanguage() == Language::French ? "fr" : "en") +
                       "\">\n"
                       "<head>\n"
                       "<meta charset=\"utf-8\">\n"
                       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                       "<meta name=\"generator\" content=\"Tamblure\">\n"
                       "<title>" +
                       title + "</title>\n<style>\n" + style + "</style>\n</head>\n<body>\n<header>\n";
    if (settings_.links.parent)
        text += std::string("<p class=\"parent\"><a href=\"../index.html\">") + tr(words::kParent) + "</a></p>\n";
    text += "<h1>" + title + "</h1>\n</header>\n";
    if (!settings_.links.subFolders.empty()) {
        text += std::string("<nav aria-labelledby=\"dossiers\">\n<h2 id=\"dossiers\">") + tr(words::kFolders) +
                "</h2>\n<ul class=\"dossiers\">\n";
        for (const FolderLink& folder : settings_.links.subFolders) {
            std::string count;
            if (folder.photographs > 0 || folder.folders == 0)
                count = counted(folder.photographs, words::kPhotographs);
            if (folder.folders > 0)
                count += (count.empty() ? "" : ", ") + counted(folder.folders, words::kFoldersCount);
            text += "<li><a href=\"" + htmlAddress(folder.name) + "/index.html\">" + shown(folder.name) +
                    "</a> <span class=\"nombre\">" + count + "</span></li>\n";
        }
        text += "</ul>\n</nav>\n";
    }
    text += "<main>\n";
    if (!cells_.empty())
        text += "<ul class=\"vignettes\">\n" + cells_ + "</ul>\n";
    text += "</main>\n</body>\n</html>\n";
    page.writeText(text);
}

} // namespace tamblure::batch
