// What a shared folder can do to a run: a thumbnail folder that is a link or
// the photographs' folder itself, swapped during the run; and what a batch
// tool's user does to it: a pipe closed early, a signal, a photograph whose
// access changed since its thumbnail was made.

#include "batch_process.h"

#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <map>
#include <string_view>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tamblure {
namespace {

namespace fs = std::filesystem;
using test::runBatch;

void photographs(const fs::path& folder, int count, int width = 320)
{
    fs::create_directories(folder);
    for (int i = 0; i < count; ++i) {
        test::JpegSpec spec;
        spec.width = width;
        spec.height = width * 3 / 4;
        spec.seed = static_cast<std::uint32_t>(i + 1);
        test::writeJpeg(folder / ("p" + std::to_string(i) + ".jpg"), spec);
    }
}

// Every file below folder, outside its thumbnail folder, with a digest of
// its bytes.
std::map<fs::path, std::size_t> filesOutsideThumbnails(const fs::path& folder)
{
    std::map<fs::path, std::size_t> files;
    for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
        if (it->is_symlink() || it->path().filename() == "tamblure") {
            it.disable_recursion_pending();
            continue;
        }
        if (it->is_regular_file()) {
            const auto bytes = test::readFile(it->path());
            files[it->path()] = std::hash<std::string_view>{}(
                std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        }
    }
    return files;
}

struct PlantedFolder {
    const char* name;
    // Puts something at dir/photos/tamblure; dir/elsewhere holds a file
    // named like a photograph.
    void (*plant)(const fs::path& dir);
    const char* says;
};

class ThumbnailFolderThatIsNotOne : public testing::TestWithParam<PlantedFolder> {};

TEST_P(ThumbnailFolderThatIsNotOne, IsRefusedBeforeAnythingIsWritten)
{
    test::TempDir dir;
    photographs(dir / "photos", 2);
    photographs(dir / "elsewhere", 1);
    GetParam().plant(dir.path());
    const auto before = filesOutsideThumbnails(dir.path());
    const test::Outcome o = runBatch({"--html", "-u", (dir / "photos").string()});
    EXPECT_EQ(o.exitCode, 1) << o.err;
    EXPECT_NE(o.err.find(GetParam().says), std::string::npos) << o.err;
    EXPECT_EQ(filesOutsideThumbnails(dir.path()), before);
    EXPECT_FALSE(fs::exists(dir / "photos" / "index.html"));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ThumbnailFolderThatIsNotOne,
    testing::Values(
        PlantedFolder{"LinkToItsOwnFolder", [](const fs::path& d) { fs::create_symlink(".", d / "photos/tamblure"); },
                      "est un lien symbolique"},
        PlantedFolder{"LinkToAnotherFolder",
                      [](const fs::path& d) { fs::create_symlink(d / "elsewhere", d / "photos/tamblure"); },
                      "est un lien symbolique"},
        PlantedFolder{"LinkToAFile",
                      [](const fs::path& d) { fs::create_symlink(d / "elsewhere/p0.jpg", d / "photos/tamblure"); },
                      "est un lien symbolique"},
        PlantedFolder{"DanglingLink",
                      [](const fs::path& d) { fs::create_symlink(d / "nowhere", d / "photos/tamblure"); },
                      "est un lien symbolique"}),
    [](const testing::TestParamInfo<PlantedFolder>& row) { return std::string(row.param.name); });

// The photographs' folder mounted onto its own thumbnail folder: no link
// anywhere, the same folder under two names. Needs a mount namespace.
TEST(ThumbnailFolder, ThatIsThePhotographsFolderItselfIsRefused)
{
    if (::system("unshare -rm true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "unshare -rm is not allowed here: no private mount namespace to bind a folder in";
    test::TempDir dir;
    photographs(dir / "photos", 2);
    fs::create_directory(dir / "photos" / "tamblure");
    const auto before = filesOutsideThumbnails(dir.path());
    test::ProcessOptions how;
    how.wrapper = {"unshare",
                   "-rm",
                   "sh",
                   "-c",
                   "mount --bind \"$1\" \"$1/tamblure\" && shift && exec \"$@\"",
                   "sh",
                   (dir / "photos").string()};
    const test::Outcome o = runBatch({(dir / "photos").string()}, how);
    EXPECT_EQ(o.exitCode, 1) << o.err;
    EXPECT_NE(o.err.find("est le dossier des photographies lui-même"), std::string::npos) << o.err;
    EXPECT_EQ(filesOutsideThumbnails(dir.path()), before);
}

// Another user swaps the thumbnail folder for a link to the photographs'
// folder, again and again, while runs write: the runs may refuse the link,
// but never write through it.
TEST(ThumbnailFolder, SwappedForALinkDuringRunsNeverLetsAPhotographBeReplaced)
{
    test::TempDir dir;
    const fs::path photos = dir / "photos";
    photographs(photos, 24, 640);
    fs::create_directory(photos / "tamblure");
    const auto before = filesOutsideThumbnails(dir.path());
    std::atomic<bool> done{false};
    std::thread swapper([&] {
        const fs::path folder = photos / "tamblure", aside = photos / "aside";
        while (!done) {
            std::error_code ec;
            fs::rename(folder, aside, ec);
            fs::create_symlink(".", folder, ec);
            std::this_thread::sleep_for(std::chrono::microseconds(300));
            fs::remove(folder, ec);
            fs::rename(aside, folder, ec);
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
    });
    int refused = 0;
    for (int run = 0; run < 8; ++run) {
        const test::Outcome o = runBatch({"-j", "2", "-s", "64", "--html", photos.string()});
        refused += o.exitCode != 0;
        EXPECT_TRUE(o.exitCode == 0 || o.err.find("lien symbolique") != std::string::npos) << o.err;
    }
    done = true;
    swapper.join();
    // The swapper may have stopped with the folder set aside.
    if (fs::exists(photos / "aside")) {
        fs::remove(photos / "tamblure");
        fs::rename(photos / "aside", photos / "tamblure");
    }
    auto after = filesOutsideThumbnails(dir.path());
    after.erase(photos / "index.html");
    EXPECT_EQ(after, before) << refused << " runs of 8 refused the link";
}

bool holdsTemporaries(const fs::path& folder)
{
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(".tamblure-") && !name.starts_with(".tamblure-vignettes-"))
            return true;
    }
    return false;
}

TEST(Signals, TheFirstTerminationFinishesThePicturesInHandAndSavesTheRecords)
{
    test::TempDir dir;
    const fs::path photos = dir / "photos";
    photographs(photos, 40, 1600);
    test::writeFile(photos / "index.html", std::string("the earlier page"));
    test::ProcessOptions how;
    // Once the first picture is listed, however loaded the machine: the
    // other 39 cannot be made in the time the signal takes.
    how.whileRunning = [&](pid_t pid, int& output) {
        char c = 0;
        while (::read(output, &c, 1) == 1 && c != '\n') {
        }
        ::kill(pid, SIGTERM);
    };
    const test::Outcome o = runBatch({"-j", "2", "-u", "--html", photos.string()}, how);
    EXPECT_EQ(o.exitCode, 128 + SIGTERM) << o.err;
    EXPECT_EQ(o.out.find("Terminé"), std::string::npos);
    EXPECT_EQ(test::readText(photos / "index.html"), "the earlier page");
    EXPECT_FALSE(test::recordFiles(photos / "tamblure").empty());
    EXPECT_FALSE(holdsTemporaries(photos / "tamblure"));
    EXPECT_FALSE(holdsTemporaries(photos));
    // Stopped, not finished: the next run makes what is missing.
    EXPECT_LT(std::distance(fs::directory_iterator(photos / "tamblure"), fs::directory_iterator()), 41);
}

TEST(Signals, AClosedPipeIsAnOutputErrorAndTheRunGoesOn)
{
    test::TempDir dir;
    const fs::path photos = dir / "photos";
    photographs(photos, 30);
    test::ProcessOptions how;
    // `| head -1`: one line read, then the pipe is closed.
    how.whileRunning = [](pid_t, int& output) {
        char c = 0;
        while (::read(output, &c, 1) == 1 && c != '\n') {
        }
        ::close(output);
        output = -1;
    };
    const test::Outcome o = runBatch({"-j", "1", "-u", "--html", photos.string()}, how);
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_NE(o.err.find("impossible d'écrire sur la sortie standard : tube brisé"), std::string::npos) << o.err;
    EXPECT_TRUE(fs::exists(photos / "index.html"));
    EXPECT_TRUE(fs::exists(photos / "tamblure" / "p29.jpg"));
    EXPECT_FALSE(test::recordFiles(photos / "tamblure").empty());
}

mode_t modeOf(const fs::path& path)
{
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 0777;
}

TEST(Update, BringsAKeptThumbnailToItsPhotographsNewAccess)
{
    test::TempDir dir;
    const fs::path photos = dir / "photos";
    photographs(photos, 1, 640);
    photographs(photos / "small", 1, 32);
    for (const fs::path& folder : {photos, photos / "small"}) {
        ::chmod((folder / "p0.jpg").c_str(), 0644);
        ASSERT_EQ(runBatch({"-u", "-s", "64", folder.string()}).exitCode, 0);
        ASSERT_EQ(modeOf(folder / "tamblure" / "p0.jpg"), 0644u);
        ::chmod((folder / "p0.jpg").c_str(), 0600);
        ASSERT_EQ(runBatch({"-u", "-s", "64", folder.string()}).exitCode, 0);
        EXPECT_EQ(modeOf(folder / "tamblure" / "p0.jpg"), 0600u) << folder;
    }
}

// A thumbnail opened to others by hand since its run is kept as it is, and
// closed again to what its photograph grants.
TEST(Update, ClosesAKeptThumbnailOpenedWiderThanItsPhotograph)
{
    test::TempDir dir;
    const fs::path photos = dir / "photos";
    photographs(photos, 1, 640);
    ::chmod((photos / "p0.jpg").c_str(), 0600);
    ASSERT_EQ(runBatch({"-u", "-s", "64", photos.string()}).exitCode, 0);
    const fs::path thumbnail = photos / "tamblure" / "p0.jpg";
    ::chmod(thumbnail.c_str(), 0644);
    struct stat before {
    }, after{};
    ::stat(thumbnail.c_str(), &before);
    const test::Outcome o = runBatch({"-u", "-s", "64", photos.string()});
    EXPECT_EQ(o.out, "0 vignettes faites, 1 à jour\nTerminé\n") << o.err;
    ::stat(thumbnail.c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(modeOf(thumbnail), 0600u);
}

} // namespace
} // namespace tamblure
