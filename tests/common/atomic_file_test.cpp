#include "common/atomic_file.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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
    EXPECT_EQ(test::readText(target), "old");
    ASSERT_TRUE(out.commit());
    EXPECT_EQ(test::readText(target), "new content");
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
        ASSERT_TRUE(out.write(std::string_view("half")));
    }
    EXPECT_EQ(test::readText(target), "old");
    EXPECT_EQ(entriesIn(dir.path()), 1u);
}

TEST(AtomicFile, FailsInAMissingFolderWithItsReasonWithoutCreatingAnything)
{
    test::TempDir dir;
    AtomicFile out(dir / "missing" / "a.jpg");
    EXPECT_FALSE(out.open());
    EXPECT_EQ(out.error(), ENOENT);
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
    ASSERT_TRUE(out.write(std::string_view("thumbnail")));
    ASSERT_TRUE(out.commit());
    EXPECT_FALSE(fs::is_symlink(target));
    EXPECT_EQ(test::readText(outside), "precious");
    EXPECT_EQ(test::readText(target), "thumbnail");
}

TEST(AtomicFile, WritesTargetsWhoseNamesTakeAllTheRoomAFolderAllows)
{
    test::TempDir dir;
    const std::string name = std::string(251, 'n') + ".jpg";
    AtomicFile out(dir / name);
    ASSERT_TRUE(out.open());
    ASSERT_TRUE(out.write(std::string_view("255 bytes")));
    ASSERT_TRUE(out.commit()) << out.error();
    EXPECT_EQ(test::readText(dir / name), "255 bytes");
}

TEST(AtomicFile, GivesTheFileAtMostThePermissionsAsked)
{
    test::TempDir dir;
    const mode_t mask = ::umask(022);
    for (const unsigned asked : {0600u, 0640u, 0444u, 0755u}) {
        AtomicFile out(dir / "a.jpg");
        ASSERT_TRUE(out.open(asked));
        ASSERT_TRUE(out.commit());
        struct stat info {};
        ASSERT_EQ(::stat((dir / "a.jpg").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, asked & 0644) << std::oct << asked;
    }
    ::umask(mask);
}

TEST(AtomicFile, ManyWritersOfOneTargetNeverDisturbEachOther)
{
    test::TempDir dir;
    const auto target = dir / "shared.jpg";
    std::atomic<int> failures{0};
    const auto writer = [&](char mark) {
        const std::string content(1000, mark);
        for (int i = 0; i < 300; ++i) {
            AtomicFile out(target);
            if (!(out.open() && out.write(content) && out.commit()))
                ++failures;
        }
    };
    std::thread a(writer, 'a'), b(writer, 'b'), c(writer, 'c');
    a.join();
    b.join();
    c.join();
    EXPECT_EQ(failures, 0);
    const std::string last = test::readText(target);
    EXPECT_TRUE(last == std::string(1000, 'a') || last == std::string(1000, 'b') || last == std::string(1000, 'c'));
    EXPECT_EQ(entriesIn(dir.path()), 1u);
}

TEST(AtomicFile, CopiesAFileFromAnOffsetAfterWhatWasWritten)
{
    test::TempDir dir;
    std::vector<std::uint8_t> bytes(300000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    test::writeFile(dir / "src.jpg", bytes);
    const int fd = ::open((dir / "src.jpg").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    AtomicFile out(dir / "dst.jpg");
    ASSERT_TRUE(out.open());
    ASSERT_TRUE(out.write(std::string_view("head")));
    ASSERT_TRUE(out.copyFrom(fd, 1000));
    ASSERT_TRUE(out.commit());
    ::close(fd);
    std::vector<std::uint8_t> expected = {'h', 'e', 'a', 'd'};
    expected.insert(expected.end(), bytes.begin() + 1000, bytes.end());
    EXPECT_EQ(test::readFile(dir / "dst.jpg"), expected);
}

TEST(AtomicFile, CopiesStretchesOfAFileEachUpToItsLengthOrTheEnd)
{
    test::TempDir dir;
    std::vector<std::uint8_t> bytes(300000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 13 + i / 251);
    test::writeFile(dir / "src.jpg", bytes);
    const int fd = ::open((dir / "src.jpg").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    AtomicFile out(dir / "dst.jpg");
    ASSERT_TRUE(out.open());
    // A stretch, a written piece between two, a stretch of none, a stretch
    // longer than what is left of the file.
    ASSERT_TRUE(out.copyFrom(fd, 5, 70000));
    ASSERT_TRUE(out.write(std::string_view("mid")));
    ASSERT_TRUE(out.copyFrom(fd, 200000, 0));
    ASSERT_TRUE(out.copyFrom(fd, 299990, 50));
    ASSERT_TRUE(out.commit());
    ::close(fd);
    std::vector<std::uint8_t> expected(bytes.begin() + 5, bytes.begin() + 70005);
    expected.insert(expected.end(), {'m', 'i', 'd'});
    expected.insert(expected.end(), bytes.end() - 10, bytes.end());
    EXPECT_EQ(test::readFile(dir / "dst.jpg"), expected);
}

TEST(AtomicFile, ACopyThatCannotReadItsSourceFailsAndLeavesTheTarget)
{
    test::TempDir dir;
    test::writeFile(dir / "dst.jpg", std::string("old"));
    const int writeOnly = ::open((dir / "dst.jpg").c_str(), O_WRONLY);
    AtomicFile out(dir / "dst.jpg");
    ASSERT_TRUE(out.open());
    EXPECT_FALSE(out.copyFrom(writeOnly, 0));
    EXPECT_NE(out.error(), 0);
    EXPECT_FALSE(out.commit());
    ::close(writeOnly);
    EXPECT_EQ(test::readText(dir / "dst.jpg"), "old");
    EXPECT_EQ(entriesIn(dir.path()), 1u);
}

struct Leftover {
    const char* name;
    bool held; // a live writer holds its lock
    bool removed;
};

class AbandonedTemporaries : public testing::TestWithParam<Leftover> {};

TEST_P(AbandonedTemporaries, AreRemovedOnlyWhenNoWriterHoldsThem)
{
    test::TempDir dir;
    const fs::path path = dir / GetParam().name;
    test::writeFile(path, std::string("left"));
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    if (GetParam().held) {
        ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    }
    removeAbandonedTemporaries(dir.path());
    ::close(fd);
    EXPECT_EQ(fs::exists(path), !GetParam().removed);
}

INSTANTIATE_TEST_SUITE_P(Table, AbandonedTemporaries,
                         testing::Values(Leftover{".tamblure-0123456789abcdef", false, true},
                                         Leftover{".tamblure-0123456789abcdef", true, false},
                                         Leftover{".a.jpg.tamblure~", false, true}, // left by earlier versions
                                         Leftover{".tamblure-0123456789abcdeg", false, false}, // not one of ours
                                         Leftover{".tamblure-0123", false, false}, Leftover{"a.jpg", false, false},
                                         Leftover{".hidden.jpg", false, false}));

} // namespace
} // namespace tamblure
