#include "common/file_io.h"

#include "common/errors.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tamblure {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::TempDir;

Bytes pattern(std::size_t size)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return bytes;
}

Bytes held(const PhotographBytes& file)
{
    return {file.bytes().begin(), file.bytes().end()};
}

TEST(PhotographBytes, HoldsEveryByteOfARegularFile)
{
    TempDir dir;
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{70000}}) {
        test::writeFile(dir / "p.jpg", pattern(size));
        const PhotographBytes file(dir / "p.jpg");
        EXPECT_TRUE(file.readable());
        EXPECT_EQ(file.error(), 0);
        EXPECT_EQ(held(file), pattern(size)) << size << " bytes";
    }
}

TEST(PhotographBytes, ReadsTwoFilesAtOnceOnOneThreadEachIntoItsOwnBytes)
{
    TempDir dir;
    test::writeFile(dir / "a.jpg", pattern(5000));
    test::writeFile(dir / "b.jpg", Bytes(3000, 0xA5));
    const PhotographBytes first(dir / "a.jpg");
    {
        const PhotographBytes second(dir / "b.jpg");
        EXPECT_EQ(held(second), Bytes(3000, 0xA5));
        EXPECT_EQ(held(first), pattern(5000));
    }
    // The thread's block is free again, and the first file's bytes stay.
    const PhotographBytes third(dir / "b.jpg");
    EXPECT_EQ(held(third), Bytes(3000, 0xA5));
    EXPECT_EQ(held(first), pattern(5000));
}

TEST(PhotographBytes, HoldsEveryByteOfAFileAboveTheReadLimit)
{
    TempDir dir;
    // A sparse file: its pages read as zeros and cost no disk.
    const int fd = ::open((dir / "panorama.jpg").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    const auto size = static_cast<off_t>(PhotographBytes::kReadWhole + 4096);
    ASSERT_EQ(::pwrite(fd, "\xFF\xD8", 2, 0), 2);
    ASSERT_EQ(::pwrite(fd, "\xFF\xD9", 2, size - 2), 2);
    ::close(fd);
    const PhotographBytes file(dir / "panorama.jpg");
    ASSERT_TRUE(file.readable());
    ASSERT_EQ(file.bytes().size(), static_cast<std::size_t>(size));
    EXPECT_EQ(file.bytes()[1], 0xD8);
    EXPECT_EQ(file.bytes()[file.bytes().size() / 2], 0x00);
    EXPECT_EQ(file.bytes().back(), 0xD9);
}

struct UnreadableCase {
    const char* name;
    void (*prepare)(const std::filesystem::path& path);
    bool opened;
    int error;
};

class PhotographBytesOf : public testing::TestWithParam<UnreadableCase> {};

TEST_P(PhotographBytesOf, IsNotReadableAndSaysWhyWithoutBlocking)
{
    const UnreadableCase& c = GetParam();
    TempDir dir;
    const auto path = dir / "p.jpg";
    c.prepare(path);
    const PhotographBytes file(path);
    EXPECT_EQ(file.file().opened(), c.opened);
    EXPECT_FALSE(file.readable());
    EXPECT_EQ(file.error(), c.error);
    EXPECT_TRUE(file.bytes().empty());
    try {
        file.requireReadable();
        FAIL() << "no error raised";
    } catch (const EFOpenError& error) {
        EXPECT_EQ(error.message().rfind("Impossible d'ouvrir le fichier " + path.string(), 0), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, PhotographBytesOf,
    testing::Values(
        UnreadableCase{"AMissingFile", [](const std::filesystem::path&) {}, false, ENOENT},
        UnreadableCase{"AFolder", [](const std::filesystem::path& p) { std::filesystem::create_directory(p); }, true,
                       0},
        UnreadableCase{"AFifo", [](const std::filesystem::path& p) { ::mkfifo(p.c_str(), 0600); }, true, 0}),
    [](const testing::TestParamInfo<UnreadableCase>& row) { return std::string(row.param.name); });

TEST(PhotographBytes, OpensANameInsideAnOpenFolderAndFollowsALinkOnlyWhenAsked)
{
    TempDir dir;
    test::writeFile(dir / "p.jpg", pattern(100));
    std::filesystem::create_symlink(dir / "p.jpg", dir / "link.jpg");
    const int folder = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    EXPECT_EQ(held(PhotographBytes(folder, "link.jpg", dir / "link.jpg")), pattern(100));
    const PhotographBytes refused(folder, "link.jpg", dir / "link.jpg", false);
    EXPECT_FALSE(refused.readable());
    EXPECT_EQ(refused.error(), ELOOP);
    ::close(folder);
}

} // namespace
} // namespace tamblure
