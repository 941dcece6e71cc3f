#include "batch/page_writer.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tamblure::batch {
namespace {

// Writes a whole page for `count` pictures named p1.jpg, p2.jpg, ... the way
// the run calls the four operations.
std::string writePage(const PageSettings& settings, int count, bool withFooter = true)
{
    test::TempDir dir;
    PageFile page(dir / "index.html");
    EXPECT_TRUE(page.open());
    EcritEntete(page, settings);
    for (int i = 0; i < count; ++i) {
        OuvreCellule(page, settings, i);
        PageCell cell;
        cell.fileName = "p" + std::to_string(i + 1) + ".jpg";
        cell.width = 200;
        cell.height = 133;
        cell.kilobytes = 10 + i;
        EcritCellule(page, settings, cell, i + 1);
    }
    if (withFooter)
        EcritPied(page, settings, count);
    page.finish();
    return test::readText(dir / "index.html");
}

// The expected pages, written out by hand from the page's layout: the head,
// then under one column each cell followed by <br>, under two or more a
// table whose rows hold that many cells, a last row that is not full closed
// all the same.
// Lines end in LF here and in CR LF in the file.

constexpr const char* kHead = R"(<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.01 Transitional//EN"
"http://www.w3.org/TR/html4/loose.dtd">
<html>
<head>
   <meta http-equiv="Content-Type" content="text/html; charset=iso-8859-1">
   <meta name="GENERATOR" content="Tamblure">
   <title>Vacances</title>
</head>
<body>

<h1 align="center">Vacances</h1>

)";

constexpr const char* kTable = "<table BORDER=\"0\" WIDTH=\"100%\" >\n";
constexpr const char* kTableEnd = "</table>\n";
constexpr const char* kFoot = "</body>\n</html>\n";
constexpr const char* kRow = "<tr>\n";
constexpr const char* kRowEnd = "</tr>\n";
constexpr const char* kBr = "<br>\n";

// The cells of p1.jpg to p4.jpg as writePage describes them.
constexpr const char* kCell[] = {
    R"(    <div align="center">
      <a href="p1.jpg">
        <img SRC="tamblure/p1.jpg" height="133" width="200" alt="Tamblure de p1.jpg">
        <br>
        (en grand 10 ko)
      </a>
    </div>
)",
    R"(    <div align="center">
      <a href="p2.jpg">
        <img SRC="tamblure/p2.jpg" height="133" width="200" alt="Tamblure de p2.jpg">
        <br>
        (en grand 11 ko)
      </a>
    </div>
)",
    R"(    <div align="center">
      <a href="p3.jpg">
        <img SRC="tamblure/p3.jpg" height="133" width="200" alt="Tamblure de p3.jpg">
        <br>
        (en grand 12 ko)
      </a>
    </div>
)",
    R"(    <div align="center">
      <a href="p4.jpg">
        <img SRC="tamblure/p4.jpg" height="133" width="200" alt="Tamblure de p4.jpg">
        <br>
        (en grand 13 ko)
      </a>
    </div>
)",
};

// Picture n (from 1) in a table cell.
std::string td(int n)
{
    return std::string("  <td>\n") + kCell[n - 1] + "  </td>\n";
}

std::string page(std::initializer_list<std::string> parts)
{
    std::string text;
    for (const std::string& part : parts)
        text += part;
    std::string crlf;
    for (const char c : text)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return crlf;
}

struct LayoutCase {
    int columns;
    int count;
    std::string expected;
};

void PrintTo(const LayoutCase& c, std::ostream* out)
{
    *out << c.count << " pictures in " << c.columns << " columns";
}

class PageLayout : public testing::TestWithParam<LayoutCase> {};

TEST_P(PageLayout, WritesEveryLineByteForByte)
{
    PageSettings settings;
    settings.columns = GetParam().columns;
    settings.title = "Vacances";
    EXPECT_EQ(writePage(settings, GetParam().count), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, PageLayout,
    testing::Values(
        LayoutCase{1, 0, page({kHead, kFoot})}, LayoutCase{1, 1, page({kHead, kCell[0], kBr, kFoot})},
        LayoutCase{1, 3, page({kHead, kCell[0], kBr, kCell[1], kBr, kCell[2], kBr, kFoot})},
        LayoutCase{1, 4, page({kHead, kCell[0], kBr, kCell[1], kBr, kCell[2], kBr, kCell[3], kBr, kFoot})},
        // Fewer than two columns is one column.
        LayoutCase{0, 2, page({kHead, kCell[0], kBr, kCell[1], kBr, kFoot})},
        LayoutCase{-4, 2, page({kHead, kCell[0], kBr, kCell[1], kBr, kFoot})},
        LayoutCase{2, 0, page({kHead, kTable, kTableEnd, kFoot})},
        LayoutCase{2, 1, page({kHead, kTable, kRow, td(1), kRowEnd, kTableEnd, kFoot})},
        LayoutCase{2, 3, page({kHead, kTable, kRow, td(1), td(2), kRowEnd, kRow, td(3), kRowEnd, kTableEnd, kFoot})},
        LayoutCase{2, 4,
                   page({kHead, kTable, kRow, td(1), td(2), kRowEnd, kRow, td(3), td(4), kRowEnd, kTableEnd, kFoot})},
        LayoutCase{3, 0, page({kHead, kTable, kTableEnd, kFoot})},
        LayoutCase{3, 1, page({kHead, kTable, kRow, td(1), kRowEnd, kTableEnd, kFoot})},
        LayoutCase{3, 3, page({kHead, kTable, kRow, td(1), td(2), td(3), kRowEnd, kTableEnd, kFoot})},
        LayoutCase{3, 4,
                   page({kHead, kTable, kRow, td(1), td(2), td(3), kRowEnd, kRow, td(4), kRowEnd, kTableEnd, kFoot})},
        LayoutCase{10, 0, page({kHead, kTable, kTableEnd, kFoot})}));

// Longer pages, by the number of cells in each row of the table.
struct RowsCase {
    int columns;
    int count;
    std::vector<int> cellsPerRow;
};

class PageRows : public testing::TestWithParam<RowsCase> {};

TEST_P(PageRows, HoldAsManyCellsAsThereAreColumnsAndTheRestInTheLast)
{
    PageSettings settings;
    settings.columns = GetParam().columns;
    std::istringstream in(writePage(settings, GetParam().count));
    std::vector<int> cellsPerRow;
    int open = 0; // rows opened and not yet closed
    for (std::string line; std::getline(in, line);) {
        if (line == "<tr>\r") {
            ++open;
            cellsPerRow.push_back(0);
        } else if (line == "</tr>\r") {
            --open;
        } else if (line == "  <td>\r") {
            ASSERT_EQ(open, 1) << "a cell outside a row";
            ++cellsPerRow.back();
        }
    }
    EXPECT_EQ(open, 0);
    EXPECT_EQ(cellsPerRow, GetParam().cellsPerRow);
}

INSTANTIATE_TEST_SUITE_P(Layouts, PageRows,
                         testing::Values(RowsCase{3, 6, {3, 3}}, RowsCase{3, 7, {3, 3, 1}}, RowsCase{25, 30, {25, 5}},
                                         RowsCase{10, 10, {10}}));

TEST(PageLayout, ThreePicturesInTwoColumnsReadAsTheExampleSays)
{
    PageSettings settings;
    settings.columns = 2;
    const std::string page = writePage(settings, 3);
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
    PageSettings settings;
    settings.title = "<b>Été</b> & co";
    const std::string page = writePage(settings, 0);
    EXPECT_NE(page.find("   <title><b>\xC9t\xE9</b> & co</title>\r\n"), std::string::npos);
    EXPECT_NE(page.find("<h1 align=\"center\"><b>\xC9t\xE9</b> & co</h1>\r\n"), std::string::npos);
    settings.title = "";
    const std::string empty = writePage(settings, 0);
    EXPECT_NE(empty.find("   <title></title>\r\n"), std::string::npos);
    EXPECT_NE(empty.find("<h1 align=\"center\"></h1>\r\n"), std::string::npos);
}

TEST(PageText, CharactersOutsideLatin1BecomeNumericReferences)
{
    PageSettings settings;
    settings.title = "東京 – €";
    const std::string page = writePage(settings, 0);
    EXPECT_NE(page.find("<title>&#26481;&#20140; &#8211; &#8364;</title>"), std::string::npos);
}

TEST(PageCellNames, AreEscapedInTextAndPercentEncodedInAddresses)
{
    test::TempDir dir;
    PageSettings settings;
    PageFile page(dir / "index.html");
    ASSERT_TRUE(page.open());
    PageCell cell;
    cell.fileName = "a \"b\" <c> & #1 50% ?.jpg";
    cell.width = 200;
    cell.height = 100;
    EcritCellule(page, settings, cell, 1);
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
        PageSettings settings;
        PageFile page(dir / "index.html");
        ASSERT_TRUE(page.open());
        PageCell cell;
        cell.fileName = "x.jpg";
        cell.width = 200;
        cell.height = 150;
        cell.orientation = orientation;
        EcritCellule(page, settings, cell, 1);
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
} // namespace tamblure::batch
