#include "batch/page_writer.h"

#include "common/errors.h"
#include "common/utf8.h"

#include <cstdio>

namespace tamblure::batch {

namespace {

// Decodes one UTF-8 character at text[i]; a byte that does not start a valid
// sequence is taken as one Latin-1 character.
char32_t nextCodePoint(std::string_view text, std::size_t& i)
{
    const Utf8Character c = utf8CharacterAt(text, i);
    if (c.length == 0)
        return static_cast<unsigned char>(text[i++]);
    i += c.length;
    return c.codePoint;
}

bool isMultipleOf(std::int32_t counter, std::int32_t columns)
{
    return columns != 0 && counter % columns == 0;
}

std::string inQuotes(std::string_view text)
{
    std::string out = "\"";
    out.append(text);
    out.append("\"");
    return out;
}

} // namespace

bool PageFile::open()
{
    opened_ = file_.open();
    return opened_;
}

void PageFile::finish()
{
    const std::string target = file_.target().string();
    if (!opened_)
        throw EFCreateError(createErrorMessage(target, file_.error()));
    if (!file_.commit(true))
        throw EWriteError(writeErrorMessage(target, file_.error()));
}

void PageFile::writeLine(std::string_view line)
{
    if (!file_.isOpen())
        return;
    std::string latin1;
    latin1.reserve(line.size() + 2);
    for (std::size_t i = 0; i < line.size();) {
        const char32_t cp = nextCodePoint(line, i);
        if (cp <= 0xFF)
            latin1 += static_cast<char>(cp);
        else
            latin1 += "&#" + std::to_string(static_cast<std::uint32_t>(cp)) + ";";
    }
    latin1 += "\r\n";
    // A failure stays with the file, whose commit then fails with it.
    static_cast<void>(file_.write(latin1));
}

void PageFile::writeText(std::string_view text)
{
    if (file_.isOpen())
        static_cast<void>(file_.write(text));
}

std::string htmlText(std::string_view fileName)
{
    std::string out;
    out.reserve(fileName.size());
    for (char c : fileName) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string htmlAddress(std::string_view fileName)
{
    static constexpr std::string_view kLiteralPunctuation = "-._~!$'()*+,;=@[]";
    std::string out;
    out.reserve(fileName.size());
    for (char ch : fileName) {
        const auto c = static_cast<unsigned char>(ch);
        const bool literal = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                             kLiteralPunctuation.find(ch) != std::string_view::npos;
        if (ch == '&') {
            out += "&amp;";
        } else if (literal) {
            out += ch;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

void EcritEntete(PageFile& page, const PageSettings& settings)
{
    page.writeLine("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"");
    page.writeLine(inQuotes(kDtdAddress) + ">");
    page.writeLine("<html>");
    page.writeLine("<head>");
    page.writeLine("   <meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">");
    page.writeLine("   <meta name=\"GENERATOR\" content=\"Tamblure\">");
    page.writeLine("   <title>" + settings.title + "</title>");
    page.writeLine("</head>");
    page.writeLine("<body>");
    page.writeLine("");
    page.writeLine("<h1 align=\"center\">" + settings.title + "</h1>");
    page.writeLine("");
    if (settings.columns >= 2)
        page.writeLine("<table BORDER=\"0\" WIDTH=\"100%\" >");
}

void OuvreCellule(PageFile& page, const PageSettings& settings, std::int32_t imageCounter)
{
    if (settings.columns < 2)
        return;
    if (isMultipleOf(imageCounter, settings.columns))
        page.writeLine("<tr>");
    page.writeLine("  <td>");
}

void EcritCellule(PageFile& page, const PageSettings& settings, const PageCell& cell, std::int32_t imageCounter)
{
    const std::int32_t shownHeight = cell.shownHeight();
    const std::int32_t shownWidth = cell.shownWidth();
    const std::string address = htmlAddress(cell.fileName);

    page.writeLine("    <div align=\"center\">");
    page.writeLine("      <a href=" + inQuotes(address) + ">");
    page.writeLine("        <img SRC=" + inQuotes(std::string(kThumbnailFolderName) + "/" + address) + " height=" +
                   inQuotes(std::to_string(shownHeight)) + " width=" + inQuotes(std::to_string(shownWidth)) +
                   " alt=" + inQuotes("Tamblure de " + htmlText(cell.fileName)) + ">");
    page.writeLine("        <br>");
    page.writeLine("        (en grand " + std::to_string(cell.kilobytes) + " ko)");
    page.writeLine("      </a>");
    page.writeLine("    </div>");
    const std::int32_t columns = settings.columns;
    if (columns < 2) {
        page.writeLine("<br>");
        return;
    }
    page.writeLine("  </td>");
    if (isMultipleOf(imageCounter, columns))
        page.writeLine("</tr>");
}

void EcritPied(PageFile& page, const PageSettings& settings, std::int32_t imageCounter)
{
    const std::int32_t columns = settings.columns;
    if (columns >= 2) {
        if (!isMultipleOf(imageCounter, columns))
            page.writeLine("</tr>");
        page.writeLine("</table>");
    }
    page.writeLine("</body>");
    page.writeLine("</html>");
}

} // namespace tamblure::batch
