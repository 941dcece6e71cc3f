#include "common/atomic_file.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

namespace tamblure {
namespace {
namespace fs = std::filesystem;

std::size_t entriesIn(const fs::path& dir)
{
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

TEST(AtomicFile, ReplacesTheTargetOnlyOnCommit)
{
    test::TempDir dir;
    const auto target = dir / "a.jpg";
    test::writeFile(target, std::string("old"));
    AtomicFile out(target);
    ASSERT_TRUE(out.open());
    ASSERT_TRUE(out.write(std::string_view("new content")));
    EXPECT_EQ(test::readFile(target), std::vector<std::uint8_t>({'o', 'l', 'd'}));
    ASSERT_TRUE(out.commit());
    const auto bytes = test::readFile(target);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "new content");
    EXPECT_EQ(entriesIn(dir.path()), 1u);
}

TEST(AtomicFile, DroppedWithoutCommitLeavesTheOldFileAndNothingElse)
{
    test::TempDir dir;
    const auto target = dir / "a.jpg";
    test::writeFile(target, std::string("old"));
    {
        AtomicFile out(target);
        ASSERT_TRUE(out.open());
        out.write(std::string_view("half"));
    }
    EXPECT_EQ(test::readFile(target).size(), 3u);
    EXPECT_EQ(entriesIn(dir.path()), 1u);
}

TEST(AtomicFile, FailsInAMissingFolderWithoutCreatingAnything)
{
    test::TempDir dir;
    AtomicFile out(dir / "missing" / "a.jpg");
    EXPECT_FALSE(out.open());
    EXPECT_FALSE(out.commit());
    EXPECT_EQ(entriesIn(dir.path()), 0u);
}

TEST(AtomicFile, ReplacesALinkAtTheTargetInsteadOfWritingThroughIt)
{
    test::TempDir dir;
    const auto outside = dir / "outside.txt";
    test::writeFile(outside, std::string("precious"));
    const auto target = dir / "thumb.jpg";
    fs::create_symlink(outside, target);
    AtomicFile out(target);
    ASSERT_TRUE(out.open());
    out.write(std::string_view("thumbnail"));
    ASSERT_TRUE(out.commit());
    EXPECT_FALSE(fs::is_symlink(target));
    EXPECT_EQ(test::readFile(outside).size(), 8u);
    EXPECT_EQ(test::readFile(target).size(), 9u);
}

TEST(AtomicFile, TakesAwayWhatAKilledWriterLeftUnderTheHiddenName)
{
    test::TempDir dir;
    test::writeFile(dir / ".a.jpg.tamblure~", std::string("left by a killed run"));
    AtomicFile out(dir / "a.jpg");
    ASSERT_TRUE(out.open());
    out.write(std::string_view("new"));
    ASSERT_TRUE(out.commit());
    EXPECT_EQ(entriesIn(dir.path()), 1u);
    EXPECT_EQ(test::readFile(dir / "a.jpg").size(), 3u);
}

TEST(CopyFileAtomically, CopiesByteForByteAndRefusesAMissingSource)
{
    test::TempDir dir;
    std::vector<std::uint8_t> bytes(100000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7);
    test::writeFile(dir / "src.jpg", bytes);
    ASSERT_TRUE(copyFileAtomically(dir / "src.jpg", dir / "dst.jpg"));
    EXPECT_EQ(test::readFile(dir / "dst.jpg"), bytes);
    EXPECT_FALSE(copyFileAtomically(dir / "none.jpg", dir / "dst2.jpg"));
    EXPECT_FALSE(fs::exists(dir / "dst2.jpg"));
}

} // namespace
} // namespace tamblure
