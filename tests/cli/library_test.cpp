// tamblure-batch over whole photo libraries: going on past damaged files,
// bringing a folder up to date, walking a tree of folders, several folders,
// parts of one run, and what it prints.

#include "batch/folder_search.h"
#include "batch_process.h"
#include "cli/progress.h"
#include "common/file_io.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <regex>
#include <tuple>

namespace tamblure {
namespace {

namespace fs = std::filesystem;
using test::Outcome;
using test::runBatch;

void photo(const fs::path& path, int width = 320, std::uint32_t seed = 1)
{
    test::JpegSpec spec = test::sized(width, width * 2 / 3);
    spec.seed = seed;
    fs::create_directories(path.parent_path());
    test::writeJpeg(path, spec);
}

// The photographs the page's cells link to, in order.
std::vector<std::string> pageCells(const fs::path& page)
{
    const std::string html = test::readText(page);
    std::vector<std::string> cells;
    const std::regex link("<a href=\"([^\"]*)\">");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), link); it != std::sregex_iterator(); ++it)
        cells.push_back((*it)[1]);
    return cells;
}

TEST(KeepGoing, SkipsWhatFailsReportsItAndWritesAWholePageOfWhatWasDone)
{
    for (const char* jobs : {"1", "2"}) {
        test::TempDir dir;
        photo(dir / "a.jpg", 320, 1);
        test::writeFile(dir / "b.jpg", std::string("not a photograph"));
        photo(dir / "c.jpg", 320, 3);
        auto cut = test::makeJpeg(test::sized(320, 200));
        cut.resize(100);
        test::writeFile(dir / "d.jpg", cut);
        photo(dir / "e.jpg", 320, 5);
        fs::create_directories(dir / "tamblure");
        test::writeFile(dir / "tamblure" / "b.jpg", std::string("an earlier thumbnail"));

        const Outcome o = runBatch({"-k", "-j", jobs, "--html", "--columns", "2", dir.path().string()});
        EXPECT_EQ(o.exitCode, 1) << jobs;
        EXPECT_EQ(o.out, "a.jpg\nc.jpg\ne.jpg\nTerminé\n");
        EXPECT_NE(o.err.find("b.jpg : Le fichier « " + dir.path().string() + "/b.jpg » n'est pas une photographie"),
                  std::string::npos)
            << o.err;
        EXPECT_TRUE(o.err.ends_with("2 photographies sur 5 n'ont pas pu être traitées :\n  b.jpg\n  d.jpg\n")) << o.err;
        EXPECT_EQ(test::readText(dir / "tamblure" / "b.jpg"), "an earlier thumbnail");
        EXPECT_FALSE(fs::exists(dir / "tamblure" / "d.jpg"));
        EXPECT_EQ(pageCells(dir / "index.html"), (std::vector<std::string>{"a.jpg", "c.jpg", "e.jpg"}));
        EXPECT_TRUE(test::readText(dir / "index.html").ends_with("</tr>\r\n</table>\r\n</body>\r\n</html>\r\n"));
    }
}

// Photographs of folders that could not be written count among those not
// made, folder by folder; a folder that could not be read is named apart.
TEST(KeepGoing, CountsEveryPhotographNotMade)
{
    test::TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    photo(dir / "ro" / "a.jpg", 320, 1);
    photo(dir / "ro" / "b.jpg", 320, 2);
    photo(dir / "rw" / "c.jpg", 320, 3);
    test::writeFile(dir / "rw" / "d.jpg", std::string("not a photograph"));
    fs::create_directories(dir / "shut");
    for (const char* folder : {"ro", "rw", "shut"})
        ASSERT_TRUE(::geteuid() != 0 || ::chown((dir / folder).c_str(), test::kOrdinaryUser, test::kOrdinaryUser) == 0);
    ::chmod((dir / "ro").c_str(), 0555);
    ::chmod((dir / "shut").c_str(), 0);
    test::ProcessOptions how;
    if (::geteuid() == 0)
        how.wrapper = {"setpriv", "--reuid=" + std::to_string(test::kOrdinaryUser),
                       "--regid=" + std::to_string(test::kOrdinaryUser), "--clear-groups"};
    const std::string top = dir.path().string() + "/";
    const Outcome o = test::runBatch({"-k", top + "ro", top + "rw", top + "shut"}, how);
    ::chmod((dir / "ro").c_str(), 0755);
    ::chmod((dir / "shut").c_str(), 0755);
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_TRUE(o.err.ends_with("3 photographies sur 4 n'ont pas pu être traitées :\n  " + top +
                                "ro/ (2 photographies)\n  " + top + "rw/d.jpg\n1 dossier n'a pas pu être lu :\n  " +
                                top + "shut/\n"))
        << o.err;
    EXPECT_EQ(o.out, top + "rw/c.jpg\nTerminé\n");
}

// Folders below the limit of a path the system takes in one piece are walked
// and made all the same: each is reached name by name.
TEST(Recursive, ReachesFoldersWhosePathIsLongerThanTheSystemTakes)
{
    test::TempDir dir;
    photo(dir / "top.jpg");
    const std::string name(200, 'd');
    int at = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    for (int depth = 0; depth < 24; ++depth) { // 24 × 201 bytes: past PATH_MAX
        ASSERT_EQ(::mkdirat(at, name.c_str(), 0755), 0);
        const int below = ::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(at);
        at = below;
    }
    const auto bytes = test::makeJpeg(test::sized(320, 240));
    const int out = ::openat(at, "deep.jpg", O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(::write(out, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(out);
    const Outcome o = runBatch({"-r", dir.path().string()});
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_NE(o.out.find("/deep.jpg\n"), std::string::npos);
    struct stat made {};
    EXPECT_EQ(::fstatat(at, "tamblure/deep.jpg", &made, 0), 0);
    ::close(at);
}

TEST(KeepGoing, WithNothingFailingEndsWithExitZeroAndNoSummary)
{
    test::TempDir dir;
    photo(dir / "a.jpg");
    const Outcome o = runBatch({"-k", dir.path().string()});
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_EQ(o.out, "a.jpg\nTerminé\n");
    EXPECT_EQ(o.err, "");
}

// A folder whose photographs are all made but whose page cannot be put in
// place (a folder that is not empty holds its name) fails all the same.
TEST(KeepGoing, EndsWithExitOneWhenOnlyAPageFailed)
{
    test::TempDir dir;
    photo(dir / "a.jpg");
    fs::create_directories(dir / "index.html" / "inside");
    const Outcome o = runBatch({"-k", "--html", dir.path().string()});
    EXPECT_EQ(o.exitCode, 1) << o.err;
    EXPECT_NE(o.err.find("index.html : est un dossier"), std::string::npos) << o.err;
}

std::map<std::string, FileStamp> thumbnailStamps(const fs::path& folder)
{
    std::map<std::string, FileStamp> stamps;
    for (const auto& entry : fs::directory_iterator(folder / "tamblure"))
        if (entry.path().filename().string().front() != '.')
            stamps[entry.path().filename().string()] = *stampOf(entry.path(), false);
    return stamps;
}

struct Change {
    const char* name;
    void (*apply)(const fs::path& folder);
    std::vector<std::string> arguments; // of the second run, before the folder
    std::vector<std::string> remade;
};

class Update : public testing::TestWithParam<Change> {};

TEST_P(Update, MakesAgainOnlyTheThumbnailsThatAreNotUpToDate)
{
    test::TempDir dir;
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
        photo(dir / name, 400, static_cast<std::uint32_t>(name[0]));
    ASSERT_EQ(runBatch({"-u", "-s", "100", dir.path().string()}).exitCode, 0);
    const auto before = thumbnailStamps(dir.path());
    GetParam().apply(dir.path());

    std::vector<std::string> arguments = GetParam().arguments;
    arguments.push_back(dir.path().string());
    const Outcome o = runBatch(arguments);
    EXPECT_EQ(o.exitCode, 0) << o.err;
    const auto after = thumbnailStamps(dir.path());
    std::vector<std::string> remade;
    for (const auto& [name, stamp] : after)
        if (!(before.at(name) == stamp))
            remade.push_back(name);
    EXPECT_EQ(remade, GetParam().remade);
    // Under --update, the names of what was made, then how many were made
    // and how many were kept; without it, every name.
    std::string expected;
    const bool update = std::find(arguments.begin(), arguments.end(), "-u") != arguments.end();
    for (const std::string& name : update ? remade : std::vector<std::string>{"a.jpg", "b.jpg", "c.jpg"})
        expected += name + "\n";
    if (update)
        expected += std::to_string(remade.size()) + (remade.size() == 1 ? " vignette faite, " : " vignettes faites, ") +
                    std::to_string(3 - remade.size()) + " à jour\n";
    EXPECT_EQ(o.out, expected + "Terminé\n");
}

void touchLater(const fs::path& path)
{
    fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(5));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Update,
    testing::Values(
        Change{"Nothing", [](const fs::path&) {}, {"-u", "-s", "100"}, {}},
        Change{"PhotographTouched", [](const fs::path& f) { touchLater(f / "b.jpg"); }, {"-u", "-s", "100"}, {"b.jpg"}},
        Change{"PhotographReplaced",
               [](const fs::path& f) { photo(f / "c.jpg", 500, 9); },
               {"-u", "-s", "100"},
               {"c.jpg"}},
        Change{"ThumbnailRemoved",
               [](const fs::path& f) { fs::remove(f / "tamblure" / "a.jpg"); },
               {"-u", "-s", "100"},
               {"a.jpg"}},
        Change{"ThumbnailReplaced",
               [](const fs::path& f) { test::writeFile(f / "tamblure" / "a.jpg", std::string("other")); },
               {"-u", "-s", "100"},
               {"a.jpg"}},
        Change{"AnotherQuality", [](const fs::path&) {}, {"-u", "-s", "100", "-q", "90"}, {"a.jpg", "b.jpg", "c.jpg"}},
        Change{"AnotherSize", [](const fs::path&) {}, {"-u", "-s", "120"}, {"a.jpg", "b.jpg", "c.jpg"}},
        Change{"AnotherCriterion", [](const fs::path&) {}, {"-u", "-f", "100"}, {"a.jpg", "b.jpg", "c.jpg"}},
        Change{"WithoutGps", [](const fs::path&) {}, {"-u", "-s", "100", "--no-gps"}, {"a.jpg", "b.jpg", "c.jpg"}},
        Change{"Stripped", [](const fs::path&) {}, {"-u", "-s", "100", "--strip"}, {"a.jpg", "b.jpg", "c.jpg"}},
        Change{"WithoutUpdate", [](const fs::path&) {}, {"-s", "100"}, {"a.jpg", "b.jpg", "c.jpg"}},
        // Without usable records, the thumbnails plainly made for the request
        // are adopted.
        Change{"RecordsDamaged",
               [](const fs::path& f) {
                   for (const fs::path& records : test::recordFiles(f / "tamblure"))
                       test::writeFile(records, std::string("tamblure vignettes 2\n0 100 75 x\n\xff\xfe"));
               },
               {"-u", "-s", "100"},
               {}},
        Change{"RecordsFromAnotherVersion",
               [](const fs::path& f) {
                   for (const fs::path& file : test::recordFiles(f / "tamblure")) {
                       std::string records = test::readText(file);
                       records.replace(0, records.find('\n'), "tamblure vignettes 1");
                       test::writeFile(file, records);
                   }
               },
               {"-u", "-s", "100"},
               {}}),
    [](const testing::TestParamInfo<Change>& row) { return std::string(row.param.name); });

TEST(Update, ListsEveryPictureInThePageMadeNowOrBefore)
{
    test::TempDir dir;
    photo(dir / "a.jpg", 400);
    photo(dir / "c.jpg", 400, 3);
    ASSERT_EQ(runBatch({"-u", "--html", dir.path().string()}).exitCode, 0);
    const std::string first = test::readText(dir / "index.html");
    photo(dir / "b.jpg", 400, 2);
    ASSERT_EQ(runBatch({"-u", "--html", dir.path().string()}).exitCode, 0);
    EXPECT_EQ(pageCells(dir / "index.html"), (std::vector<std::string>{"a.jpg", "b.jpg", "c.jpg"}));
    // The cells of the pictures kept are the ones made the first time.
    fs::remove(dir / "b.jpg");
    ASSERT_EQ(runBatch({"-u", "--html", dir.path().string()}).exitCode, 0);
    EXPECT_EQ(test::readText(dir / "index.html"), first);
    // A thumbnail whose photograph is gone is left alone.
    EXPECT_TRUE(fs::exists(dir / "tamblure" / "b.jpg"));
}

TEST(Recursive, RunsEverySubFolderOnItsOwnButThumbnailsHiddenFoldersAndLinks)
{
    test::TempDir dir;
    photo(dir / "top.jpg");
    photo(dir / "B" / "b.jpg");
    photo(dir / "a" / "a.jpg");
    photo(dir / "a" / "deep" / "d.jpg");
    photo(dir / ".hidden" / "h.jpg");
    fs::create_directories(dir / "empty");
    fs::create_directory_symlink(dir / "a", dir / "link");
    const std::string top = dir.path().string() + "/";
    for (int run = 0; run < 2; ++run) {
        const Outcome o = runBatch({"-r", "--html", dir.path().string()});
        EXPECT_EQ(o.exitCode, 0) << o.err;
        EXPECT_EQ(o.out, top + "top.jpg\n" + top + "a/a.jpg\n" + top + "a/deep/d.jpg\n" + top + "B/b.jpg\nTerminé\n");
    }
    for (const char* made : {"tamblure/top.jpg", "a/tamblure/a.jpg", "a/deep/tamblure/d.jpg", "B/tamblure/b.jpg",
                             "index.html", "a/index.html", "a/deep/index.html"})
        EXPECT_TRUE(fs::exists(dir / made)) << made;
    for (const char* never : {".hidden/tamblure", "empty/tamblure", "tamblure/tamblure", "a/tamblure/tamblure"})
        EXPECT_FALSE(fs::exists(dir / never)) << never;
}

TEST(SeveralFolders, AreRunInTurnAndNamedOnTheOutput)
{
    test::TempDir one, two;
    photo(one / "x.jpg");
    photo(two / "y.jpg");
    const Outcome o = runBatch({one.path().string(), two.path().string()});
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.out, one.path().string() + "/x.jpg\n" + two.path().string() + "/y.jpg\nTerminé\n");
}

TEST(Shards, TogetherMakeEveryThumbnailOnceAndThenThePageOfAPlainRun)
{
    test::TempDir plain, parted;
    for (int i = 0; i < 12; ++i) {
        const std::string name = "p" + std::to_string(i) + ".jpg";
        photo(plain / name, 300 + 8 * i, static_cast<std::uint32_t>(i + 1));
        fs::copy_file(plain / name, parted / name);
    }
    ASSERT_EQ(runBatch({"--html", "--columns", "3", plain.path().string()}).exitCode, 0);
    std::size_t listed = 0;
    for (const char* shard : {"1/3", "2/3", "3/3"}) {
        const Outcome o = runBatch({"--shard", shard, parted.path().string()});
        EXPECT_EQ(o.exitCode, 0) << o.err;
        listed += static_cast<std::size_t>(std::count(o.out.begin(), o.out.end(), '\n')) - 1;
    }
    EXPECT_EQ(listed, 12u);
    const auto made = thumbnailStamps(parted.path());
    ASSERT_EQ(runBatch({"-u", "--html", "--columns", "3", parted.path().string()}).exitCode, 0);
    EXPECT_EQ(thumbnailStamps(parted.path()), made); // nothing made again
    EXPECT_EQ(test::readFile(parted / "index.html"), test::readFile(plain / "index.html"));
    for (const auto& [name, stamp] : made)
        EXPECT_EQ(test::readFile(parted / "tamblure" / name), test::readFile(plain / "tamblure" / name)) << name;
}

// Parts record what they made: the run that writes the page afterwards makes
// nothing again, even thumbnails that no adoption would keep (made with less
// metadata than every piece).
TEST(Shards, RecordWhatTheyMadeForTheRunThatWritesThePage)
{
    test::TempDir dir;
    for (int i = 0; i < 4; ++i)
        photo(dir / ("p" + std::to_string(i) + ".jpg"), 300, static_cast<std::uint32_t>(i + 1));
    for (const char* shard : {"1/2", "2/2"})
        ASSERT_EQ(runBatch({"--no-gps", "--shard", shard, dir.path().string()}).exitCode, 0);
    const auto made = thumbnailStamps(dir.path());
    const Outcome o = runBatch({"-u", "--html", "--no-gps", dir.path().string()});
    EXPECT_EQ(o.out, "0 vignettes faites, 4 à jour\nTerminé\n") << o.err;
    EXPECT_EQ(thumbnailStamps(dir.path()), made);
}

TEST(Shards, KeepEachNameInItsPartWhateverElseIsThere)
{
    for (const unsigned parts : {1u, 2u, 5u}) {
        for (int i = 0; i < 200; ++i) {
            const std::string name = "IMG_" + std::to_string(i) + ".jpg";
            int in = 0;
            for (unsigned part = 1; part <= parts; ++part)
                in += batch::inShard(name, part, parts) ? 1 : 0;
            EXPECT_EQ(in, 1) << name << " in " << parts;
        }
    }
    // The parts of 64-bit FNV-1a (worked out apart from the program): a
    // change of the hash would move the photographs of a library already
    // spread over machines.
    for (const auto& [name, ofFour, ofSeven] : std::vector<std::tuple<std::string, unsigned, unsigned>>{
             {"IMG_0001.jpg", 4, 2}, {"IMG_0002.jpg", 3, 6}, {"été.jpg", 3, 7}, {"DSCN0010.jpg", 2, 7}}) {
        EXPECT_TRUE(batch::inShard(name, ofFour, 4)) << name;
        EXPECT_TRUE(batch::inShard(name, ofSeven, 7)) << name;
    }
}

TEST(Arguments, FollowThePosixConventions)
{
    std::vector<std::vector<std::string>> ways = {
        {"-s150", "-j1"}, {"--size=150", "--jobs=1"}, {"-s", "150", "--", ""}, {"", "-s", "150", "-j", "1"}};
    std::vector<std::uint8_t> first;
    for (auto arguments : ways) {
        test::TempDir dir;
        photo(dir / "-a.jpg", 400);
        // The folder goes where the empty word is, or last.
        auto at = std::find(arguments.begin(), arguments.end(), "");
        if (at != arguments.end())
            *at = dir.path().string();
        else
            arguments.push_back(dir.path().string());
        const Outcome o = runBatch(arguments);
        EXPECT_EQ(o.exitCode, 0) << o.err;
        const auto made = test::readFile(dir / "tamblure" / "-a.jpg");
        if (first.empty())
            first = made;
        EXPECT_EQ(made, first);
    }
}

TEST(Quiet, PrintsOnlyErrorsAndTheSummary)
{
    test::TempDir dir;
    photo(dir / "a.jpg");
    test::writeFile(dir / "b.jpg", std::string("text"));
    const Outcome o = runBatch({"--quiet", "-k", dir.path().string()});
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(o.out, "");
    EXPECT_TRUE(o.err.ends_with("1 photographie sur 2 n'a pas pu être traitée :\n  b.jpg\n")) << o.err;
    EXPECT_TRUE(fs::exists(dir / "tamblure" / "a.jpg"));
}

TEST(Progress, ReachesNeitherAPipeNorAFile)
{
    test::TempDir dir;
    photo(dir / "a.jpg");
    const Outcome o = runBatch({dir.path().string()});
    EXPECT_EQ(o.err.find('['), std::string::npos) << o.err;
}

// On a terminal, the line drawn during the run is gone once the run has
// printed its last line: nothing follows "Terminé" on the screen.
TEST(Progress, IsErasedForGoodAtTheEnd)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    std::FILE* terminal = std::fopen(::ptsname(master), "w");
    ASSERT_NE(terminal, nullptr);
    {
        cli::ProgressLine line(terminal, true);
        line.start(2);
        line.update(2);
        line.stop();
        line.redraw(); // as the printing of "Terminé" asks
    }
    std::fclose(terminal);
    std::string shown;
    char buffer[256];
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
        shown.append(buffer, static_cast<std::size_t>(n));
    ::close(master);
    EXPECT_NE(shown.find("[2/2]"), std::string::npos) << shown;
    EXPECT_TRUE(shown.ends_with("\r\033[K")) << shown;
}

struct ProgressCase {
    std::size_t done, total;
    double seconds;
    const char* line;
};

class ProgressText : public testing::TestWithParam<ProgressCase> {};

TEST_P(ProgressText, SaysHowFarHowFastAndHowLong)
{
    EXPECT_EQ(cli::ProgressLine::text(GetParam().done, GetParam().total, GetParam().seconds), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(Table, ProgressText,
                         testing::Values(ProgressCase{0, 1250, 0.0, "[   0/1250]"},
                                         ProgressCase{37, 1250, 2.6, "[  37/1250]  14,2 photos/s  reste 1 min 25 s"},
                                         ProgressCase{5, 10, 10.0, "[ 5/10]  0,5 photos/s  reste 10 s"},
                                         ProgressCase{1, 3601, 1.0, "[   1/3601]  1,0 photos/s  reste 1 h 00 min"},
                                         ProgressCase{1, 61, 1.0, "[ 1/61]  1,0 photos/s  reste 1 min 0 s"},
                                         ProgressCase{1, 60, 1.0, "[ 1/60]  1,0 photos/s  reste 59 s"},
                                         // No time gone yet: no speed to tell.
                                         ProgressCase{4, 10, 0.0, "[ 4/10]"},
                                         ProgressCase{3, 3, 1.5, "[3/3]  2,0 photos/s"}));

} // namespace
} // namespace tamblure
