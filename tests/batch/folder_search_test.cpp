#include "batch/folder_search.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <system_error>

namespace tamblure::batch {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> namesFound(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const FoundFile& file : findPhotographs(folder))
        names.push_back(file.name);
    return names;
}

// Names made in the folder in one order, and the order the search must give.
// Each row's names sort differently byte by byte: capitals come before "_",
// which comes before small letters.
struct OrderRow {
    const char* name;
    std::vector<std::string> made;
    std::vector<std::string> expected;
};

void PrintTo(const OrderRow& row, std::ostream* out)
{
    *out << row.name;
}

class FolderSearchOrder : public testing::TestWithParam<OrderRow> {};

TEST_P(FolderSearchOrder, ComparesNamesWithoutRegardToCaseThenByteByByte)
{
    test::TempDir dir;
    for (const std::string& name : GetParam().made)
        test::writeFile(dir / name, std::string("x"));
    EXPECT_EQ(namesFound(dir.path()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FolderSearchOrder,
    testing::Values(OrderRow{"CapitalAfterSmall", {"B.jpg", "a.jpg"}, {"a.jpg", "B.jpg"}},
                    OrderRow{"UnderscoreBeforeLetters", {"b.jpg", "_.jpg", "A.jpg"}, {"_.jpg", "A.jpg", "b.jpg"}},
                    OrderRow{"ShorterFirst", {"A1.jpg", "a.jpg"}, {"a.jpg", "A1.jpg"}},
                    OrderRow{"SameButForCase", {"ab.jpg", "Aa.jpg", "AB.JPG"}, {"Aa.jpg", "AB.JPG", "ab.jpg"}},
                    // The longer extension is a photograph's too, in any
                    // case, in the same order; lookalikes are not.
                    OrderRow{"JpegNames",
                             {"c.JPEG", "b.jpeg", "a.jpg", "d.jpe", "e.jpegx", "f.peg", "jpeg"},
                             {"a.jpg", "b.jpeg", "c.JPEG"}}),
    [](const testing::TestParamInfo<OrderRow>& row) { return std::string(row.param.name); });

TEST(FolderTree, TakesSubFoldersWithoutRegardToCaseDepthFirst)
{
    test::TempDir dir;
    for (const char* folder : {"B", "a/Z", "a/y", "_c"})
        fs::create_directories(dir / folder);
    const fs::path top = dir.path();
    EXPECT_EQ(folderTree(top),
              (std::vector<fs::path>{top, top / "_c", top / "a", top / "a" / "y", top / "a" / "Z", top / "B"}));
}

TEST(FolderSearch, GivesSizesPastFourGibibytes)
{
    test::TempDir dir;
    const std::uintmax_t size = (std::uintmax_t{5} << 30) + 3;
    test::writeFile(dir / "p.jpg", std::string("x"));
    std::error_code ec;
    // A sparse file: no disk space is used.
    fs::resize_file(dir / "p.jpg", size, ec);
    if (ec)
        GTEST_SKIP() << "no file of 5 GiB here (" << ec.message() << ")";
    const auto found = findPhotographs(dir.path());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, "p.jpg");
    EXPECT_EQ(found[0].size, static_cast<std::int64_t>(size));
}

} // namespace
} // namespace tamblure::batch
