#include "app/page_writer.h"

#include "fake_host.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tamblure::app {
namespace {

using test::FakeHost;

// The header lines, as the page must hold them, for a title and a column count.
std::vector<std::string> headerLines(const std::string& title, int columns)
{
    std::vector<std::string> lines = {
        R"(<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.01 Transitional//EN")",
        R"("http://www.w3.org/TR/html4/loose.dtd">)",
        "<html>",
        "<head>",
        R"(   <meta http-equiv="Content-Type" content="text/html; charset=iso-8859-1">)",
        R"(   <meta name="GENERATOR" content="Tamblure">)",
        "   <title>" + title + "</title>",
        "</head>",
        "<body>",
        "",
        R"(<h1 align="center">)" + title + "</h1>",
        "",
    };
    if (columns >= 2)
        lines.push_back(R"(<table BORDER="0" WIDTH="100%" >)");
    return lines;
}

std::vector<std::string> cellLines(const std::string& name, int height, int width, int kilobytes)
{
    return {
        R"(    <div align="center">)",
        R"(      <a href=")" + name + R"(">)",
        R"(        <img SRC="tamblure/)" + name + R"(" height=")" + std::to_string(height) + R"(" width=")" +
            std::to_string(width) + R"(" alt="Tamblure de )" + name + R"(">)",
        "        <br>",
        "        (en grand " + std::to_string(kilobytes) + " ko)",
        "      </a>",
        "    </div>",
    };
}

std::string joinCrLf(const std::vector<std::string>& lines)
{
    std::string out;
    for (const auto& line : lines)
        out += line + "\r\n";
    return out;
}

// Writes a whole page for `count` pictures named p1.jpg, p2.jpg, ... the way
// the run calls the four operations.
std::string writePage(FakeHost& host, int count, bool withFooter = true)
{
    test::TempDir dir;
    PageFile page(dir / "index.html");
    EXPECT_TRUE(page.open());
    EcritEntete(page, host);
    for (int i = 0; i < count; ++i) {
        OuvreCellule(page, host, i);
        PageCell cell;
        cell.fileName = "p" + std::to_string(i + 1) + ".jpg";
        cell.width = 200;
        cell.height = 133;
        cell.kilobytes = 10 + i;
        EcritCellule(page, host, cell, i + 1);
    }
    if (withFooter)
        EcritPied(page, host, count);
    page.finish();
    const auto bytes = test::readFile(dir / "index.html");
    return std::string(bytes.begin(), bytes.end());
}

// The expected page for `count` pictures in `columns` columns, built row by
// row from the layout's rule.
std::string expectedPage(const std::string& title, int columns, int count)
{
    std::vector<std::string> lines = headerLines(title, columns);
    for (int i = 0; i < count; ++i) {
        const std::string name = "p" + std::to_string(i + 1) + ".jpg";
        if (columns >= 2) {
            if (i % columns == 0)
                lines.push_back("<tr>");
            lines.push_back("  <td>");
        }
        for (auto& line : cellLines(name, 133, 200, 10 + i))
            lines.push_back(line);
        if (columns >= 2) {
            lines.push_back("  </td>");
            if ((i + 1) % columns == 0)
                lines.push_back("</tr>");
        } else {
            lines.push_back("<br>");
        }
    }
    if (columns >= 2) {
        if (count % columns != 0)
            lines.push_back("</tr>");
        lines.push_back("</table>");
    }
    lines.push_back("</body>");
    lines.push_back("</html>");
    return joinCrLf(lines);
}

struct LayoutCase {
    int columns;
    int count;
};

class PageLayout : public testing::TestWithParam<LayoutCase> {};

TEST_P(PageLayout, WritesEveryLineByteForByte)
{
    FakeHost host;
    host.columnsValue = GetParam().columns;
    host.titleValue = "Vacances";
    EXPECT_EQ(writePage(host, GetParam().count), expectedPage("Vacances", GetParam().columns, GetParam().count));
}

INSTANTIATE_TEST_SUITE_P(Layouts, PageLayout,
                         testing::Values(LayoutCase{2, 3}, LayoutCase{3, 7}, LayoutCase{3, 6}, LayoutCase{1, 3},
                                         LayoutCase{0, 2}, LayoutCase{-4, 2}, LayoutCase{25, 30},
                                         LayoutCase{10, 0}));

TEST(PageLayout, ThreePicturesInTwoColumnsReadAsTheExampleSays)
{
    FakeHost host;
    host.columnsValue = 2;
    const std::string page = writePage(host, 3);
    const std::string body = page.substr(page.find("<table"));
    std::vector<std::string> skeleton;
    std::istringstream in(body);
    for (std::string line; std::getline(in, line);) {
        line.pop_back(); // CR
        if (line == "<tr>" || line == "</tr>" || line == "  <td>" || line == "  </td>" || line == "</table>" ||
            line == "</body>" || line == "</html>")
            skeleton.push_back(line);
    }
    EXPECT_EQ(skeleton, (std::vector<std::string>{"<tr>", "  <td>", "  </td>", "  <td>", "  </td>", "</tr>", "<tr>",
                                                  "  <td>", "  </td>", "</tr>", "</table>", "</body>", "</html>"}));
}

TEST(PageTitle, IsWrittenUnescapedAndMayBeEmpty)
{
    FakeHost host;
    host.titleValue = "<b>Été</b> & co";
    const std::string page = writePage(host, 0);
    EXPECT_NE(page.find("   <title><b>\xC9t\xE9</b> & co</title>\r\n"), std::string::npos);
    EXPECT_NE(page.find("<h1 align=\"center\"><b>\xC9t\xE9</b> & co</h1>\r\n"), std::string::npos);
    host.titleValue = "";
    const std::string empty = writePage(host, 0);
    EXPECT_NE(empty.find("   <title></title>\r\n"), std::string::npos);
    EXPECT_NE(empty.find("<h1 align=\"center\"></h1>\r\n"), std::string::npos);
}

TEST(PageText, CharactersOutsideLatin1BecomeNumericReferences)
{
    FakeHost host;
    host.titleValue = "東京 – €";
    const std::string page = writePage(host, 0);
    EXPECT_NE(page.find("<title>&#26481;&#20140; &#8211; &#8364;</title>"), std::string::npos);
}

TEST(PageCellNames, AreEscapedInTextAndPercentEncodedInAddresses)
{
    test::TempDir dir;
    FakeHost host;
    PageFile page(dir / "index.html");
    ASSERT_TRUE(page.open());
    PageCell cell;
    cell.fileName = "a \"b\" <c> & #1 50% ?.jpg";
    cell.width = 200;
    cell.height = 100;
    EcritCellule(page, host, cell, 1);
    page.finish();
    const auto bytes = test::readFile(dir / "index.html");
    const std::string text(bytes.begin(), bytes.end());
    const std::string address = "a%20%22b%22%20%3Cc%3E%20&amp;%20%231%2050%25%20%3F.jpg";
    EXPECT_NE(text.find("<a href=\"" + address + "\">"), std::string::npos) << text;
    EXPECT_NE(text.find("SRC=\"tamblure/" + address + "\""), std::string::npos);
    EXPECT_NE(text.find("alt=\"Tamblure de a &quot;b&quot; &lt;c&gt; &amp; #1 50% ?.jpg\""), std::string::npos);
}

TEST(PageCellNames, NonAsciiNamesAreUtf8PercentEncodedInAddressesAndLatin1InText)
{
    EXPECT_EQ(htmlAddress("été.jpg"), "%C3%A9t%C3%A9.jpg");
    EXPECT_EQ(htmlAddress("東.jpg"), "%E6%9D%B1.jpg");
    EXPECT_EQ(htmlAddress("a\\b:c.jpg"), "a%5Cb%3Ac.jpg");
    EXPECT_EQ(htmlText("<été>"), "&lt;été&gt;");
}

TEST(PageCell, SwapsHeightAndWidthForQuarterTurnedPhotographs)
{
    for (std::uint16_t orientation = 0; orientation <= 9; ++orientation) {
        test::TempDir dir;
        FakeHost host;
        PageFile page(dir / "index.html");
        ASSERT_TRUE(page.open());
        PageCell cell;
        cell.fileName = "x.jpg";
        cell.width = 200;
        cell.height = 150;
        cell.orientation = orientation;
        EcritCellule(page, host, cell, 1);
        page.finish();
        const auto bytes = test::readFile(dir / "index.html");
        const std::string text(bytes.begin(), bytes.end());
        const bool turned = orientation >= 5 && orientation <= 8;
        EXPECT_NE(text.find(turned ? "height=\"200\" width=\"150\"" : "height=\"150\" width=\"200\""),
                  std::string::npos)
            << "orientation " << orientation;
    }
}

} // namespace
} // namespace tamblure::app
