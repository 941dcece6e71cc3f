// tamblure-batch where the system says no: a full disk, a file size limit,
// standard output that cannot be written, runs on one folder at the same
// time, names as long as a folder allows, and a progressive file built to
// waste the decoder's time. Whatever fails, every thumbnail and the page are
// the old file or the complete new one, and the message names the file and
// says why.

#include "batch_process.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>

namespace tamblure {
namespace {

namespace fs = std::filesystem;

using test::Outcome;

Outcome runBatch(const std::vector<std::string>& arguments, rlim_t fileSizeLimit = 0, const char* output = nullptr)
{
    test::ProcessOptions how;
    how.fileSizeLimit = fileSizeLimit;
    if (output != nullptr)
        how.output = output;
    return test::runBatch(arguments, how);
}

// A photograph with an EXIF segment of exifBytes bytes, which its thumbnail
// carries.
void photograph(const fs::path& path, int width, std::size_t exifBytes, std::uint32_t seed = 1)
{
    test::JpegSpec spec = test::sized(width, width * 3 / 4);
    spec.seed = seed;
    spec.segments.push_back({0xE1, test::exifPayload(exifBytes)});
    test::writeJpeg(path, spec);
}

std::vector<std::string> hiddenEntries(const fs::path& folder)
{
    std::vector<std::string> hidden;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().front() == '.')
            hidden.push_back(entry.path().string());
    return hidden;
}

TEST(FileSizeLimit, AThumbnailThatCannotBeWrittenWholeLeavesTheEarlierOneAndSaysWhy)
{
    test::TempDir dir;
    photograph(dir / "p.jpg", 800, 20000);
    const std::string folder = dir.path().string();
    ASSERT_EQ(runBatch({"-j", "1", folder}).exitCode, 0);
    const auto earlier = test::readFile(dir / "tamblure" / "p.jpg");
    ASSERT_GT(earlier.size(), 20000u);

    // The encoded picture alone fits under the limit; with its metadata it
    // does not.
    const Outcome o = runBatch({"-j", "1", "-q", "95", folder}, 12000);
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(o.err, "Error writing JPEG to file " + folder + "/tamblure/p.jpg : fichier trop volumineux.\n");
    EXPECT_EQ(test::readFile(dir / "tamblure" / "p.jpg"), earlier);
    EXPECT_TRUE(hiddenEntries(dir / "tamblure").empty());
}

TEST(FileSizeLimit, ACopyThatCannotBeWrittenSaysWhy)
{
    test::TempDir dir;
    photograph(dir / "small.jpg", 100, 30000);
    const std::string folder = dir.path().string();
    const Outcome o = runBatch({"-j", "1", folder}, 10000);
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(o.err, "Impossible de copier le fichier " + folder + "/small.jpg vers " + folder +
                         "/tamblure/small.jpg : fichier trop volumineux.\n");
    EXPECT_FALSE(fs::exists(dir / "tamblure" / "small.jpg"));
}

// A small tmpfs mounted over a temporary folder, for as long as the object
// lives; tests skip where mounting is not allowed.
class SmallDisk {
public:
    explicit SmallDisk(const fs::path& at, std::size_t bytes) : at_(at)
    {
        const std::string options = "size=" + std::to_string(bytes);
        mounted_ = ::mount("tamblure-test", at.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
        if (!mounted_)
            why_ = std::strerror(errno);
    }
    ~SmallDisk()
    {
        if (mounted_)
            ::umount2(at_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    const std::string& why() const { return why_; }

private:
    fs::path at_;
    bool mounted_ = false;
    std::string why_;
};

TEST(FullDisk, KeepsEveryEarlierThumbnailAndThePageAndNamesTheFileAndTheReason)
{
    test::TempDir dir;
    const SmallDisk disk(dir.path(), 1024 * 1024);
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs here (" << disk.why() << "): full-disk test skipped";
    std::vector<std::string> names;
    for (int i = 0; i < 6; ++i) {
        names.push_back("p" + std::to_string(i) + ".jpg");
        photograph(dir / names.back(), 640, 30000, static_cast<std::uint32_t>(i + 1));
    }
    const std::string folder = dir.path().string();
    ASSERT_EQ(runBatch({"-j", "2", "--html", folder}).exitCode, 0);
    std::map<std::string, std::vector<std::uint8_t>> earlier;
    for (const auto& name : names)
        earlier[name] = test::readFile(dir / "tamblure" / name);
    const auto earlierPage = test::readFile(dir / "index.html");

    // Fill the disk but for a few kilobytes, then make every thumbnail anew.
    {
        std::vector<std::uint8_t> block(4096, 0);
        const int fd = ::open((dir / "filler").c_str(), O_WRONLY | O_CREAT, 0644);
        while (::write(fd, block.data(), block.size()) == static_cast<ssize_t>(block.size())) {
        }
        ::close(fd);
        fs::resize_file(dir / "filler", fs::file_size(dir / "filler") - 16 * 1024);
    }
    const Outcome o = runBatch({"-j", "2", "-q", "95", "--html", folder});
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_NE(o.err.find(" : plus de place sur le périphérique"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find(folder + "/tamblure/p"), std::string::npos) << o.err;
    for (const auto& name : names) {
        const auto now = test::readFile(dir / "tamblure" / name);
        // A new thumbnail that made it is complete: it carries the EXIF
        // segment right after SOI.
        const bool carriesMetadata = now.size() > 30000 && now[2] == 0xFF && now[3] == 0xE1;
        EXPECT_TRUE(now == earlier[name] || carriesMetadata) << name;
    }
    EXPECT_EQ(test::readFile(dir / "index.html"), earlierPage);
    EXPECT_TRUE(hiddenEntries(dir.path()).empty());
    EXPECT_TRUE(hiddenEntries(dir / "tamblure").empty());
}

TEST(StandardOutput, ThatCannotBeWrittenEndsWithExitOne)
{
    test::TempDir dir;
    photograph(dir / "p.jpg", 300, 100);
    const Outcome o = runBatch({dir.path().string()}, 0, "/dev/full");
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(o.err, "tamblure-batch : impossible d'écrire sur la sortie standard : plus de place sur le "
                     "périphérique.\n");
    EXPECT_TRUE(fs::exists(dir / "tamblure" / "p.jpg"));
}

TEST(LongNames, UpToTheFolderLimitGetTheirThumbnails)
{
    test::TempDir dir;
    std::vector<std::string> names;
    for (const std::size_t length : {245u, 250u, 255u}) {
        names.push_back(std::string(length - 4, 'a' + static_cast<char>(names.size())) + ".jpg");
        photograph(dir / names.back(), 300, 100);
    }
    const Outcome o = runBatch({"-j", "1", "--html", dir.path().string()});
    EXPECT_EQ(o.exitCode, 0) << o.err;
    for (const auto& name : names)
        EXPECT_TRUE(fs::exists(dir / "tamblure" / name)) << name.size();
}

TEST(SimultaneousRuns, OnOneFolderNeverDisturbEachOther)
{
    test::TempDir dir;
    for (int i = 0; i < 12; ++i)
        photograph(dir / ("p" + std::to_string(i) + ".jpg"), 320 + 16 * i, 200, static_cast<std::uint32_t>(i + 1));
    const std::vector<std::string> arguments = {"-j", "2", "-s", "64", "--html", dir.path().string()};
    ASSERT_EQ(runBatch(arguments).exitCode, 0);
    const auto page = test::readFile(dir / "index.html");
    const auto thumbnail = test::readFile(dir / "tamblure" / "p7.jpg");
    for (int pair = 0; pair < 8; ++pair) {
        Outcome a, b;
        std::thread other([&] { b = runBatch(arguments); });
        a = runBatch(arguments);
        other.join();
        EXPECT_EQ(a.exitCode, 0) << a.err;
        EXPECT_EQ(b.exitCode, 0) << b.err;
        EXPECT_EQ(test::readFile(dir / "index.html"), page);
        EXPECT_EQ(test::readFile(dir / "tamblure" / "p7.jpg"), thumbnail);
    }
}

TEST(ProgressiveFiles, RepeatingARefinementScanAreRefusedBeforeTheyWasteTheDecodersTime)
{
    test::TempDir dir;
    test::JpegSpec spec = test::sized(4000, 4000);
    spec.flat = true;
    spec.progressive = true;
    const std::vector<std::uint8_t> hostile = test::withLastScanRepeated(test::makeJpeg(spec), 600);
    ASSERT_LT(hostile.size(), 1000000u);
    test::writeFile(dir / "h.jpg", hostile);
    const Outcome o = runBatch({"-j", "1", dir.path().string()});
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(o.err, "Erreur JPEG #16 : balayages progressifs invalides ou trop nombreux (fichier " +
                         dir.path().string() + "/h.jpg)\n");

    // The same picture with its refinement scan once decodes as ever.
    test::writeFile(dir / "h.jpg", test::withLastScanRepeated(test::makeJpeg(spec), 0));
    EXPECT_EQ(runBatch({"-j", "1", dir.path().string()}).exitCode, 0);
}

} // namespace
} // namespace tamblure
