#include "batch/batch_run.h"

#include "common/errors.h"
#include "fake_host.h"
#include "jpeg/jpeg_util.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <regex>
#include <sys/stat.h>
#include <unistd.h>

namespace tamblure::batch {
namespace {

namespace fs = std::filesystem;
using test::FakeHost;

void photo(const fs::path& path, int width = 320, int height = 240)
{
    test::JpegSpec spec;
    spec.width = width;
    spec.height = height;
    test::writeJpeg(path, spec);
}

// Width and height as the JPEG file's frame header gives them; 0 × 0 when it
// cannot be read.
std::pair<int, int> frameSize(const fs::path& path)
{
    std::uint16_t width = 0, height = 0;
    bool threeComponents = false;
    if (!jpeg::ProbeJpegHeader(path, width, height, threeComponents))
        return {0, 0};
    return {width, height};
}

TEST(BatchRun, MakesAThumbnailForEveryPhotographInCaseInsensitiveOrder)
{
    test::TempDir dir;
    // Byte order would put C.Jpg before b.jpg.
    for (const char* name : {"b.jpg", "A.JPG", "C.Jpg"})
        photo(dir / name);
    FakeHost host;
    host.list = {"old line"};
    EXPECT_EQ(Button1Click(host, dir.path().string(), "100"), RunEnd::Finished);
    EXPECT_EQ(host.list, (std::vector<std::string>{"A.JPG", "b.jpg", "C.Jpg"}));
    EXPECT_EQ(host.eventsProcessed, 2); // between pictures, not before the first nor after the last
    for (const char* name : {"b.jpg", "A.JPG", "C.Jpg"})
        EXPECT_TRUE(fs::is_regular_file(dir / "tamblure" / name)) << name;
    EXPECT_FALSE(fs::exists(dir / "index.html"));
}

TEST(BatchRun, GivesTheSameRunWithOrWithoutTheFinalSlash)
{
    test::TempDir dir;
    photo(dir / "p.jpg");
    FakeHost a, b;
    Button1Click(a, dir.path().string(), "100");
    const auto first = test::readFile(dir / "tamblure" / "p.jpg");
    Button1Click(b, dir.path().string() + "/", "100");
    EXPECT_EQ(test::readFile(dir / "tamblure" / "p.jpg"), first);
    EXPECT_EQ(a.list, b.list);
}

TEST(BatchRun, OnAFolderWithoutPhotographsMakesNothing)
{
    test::TempDir dir;
    test::writeFile(dir / "index.html", std::string("mine"));
    fs::create_directory(dir / "sub.jpg");
    FakeHost host;
    host.pageValue = true;
    host.list = {"x"};
    EXPECT_EQ(Button1Click(host, dir.path().string(), "200"), RunEnd::Finished);
    EXPECT_TRUE(host.list.empty());
    EXPECT_FALSE(fs::exists(dir / "tamblure"));
    EXPECT_EQ(test::readText(dir / "index.html"), "mine");
}

struct UnreadableFolder {
    const char* name;
    void (*make)(const fs::path& folder);
    const char* reason;
};

class FolderThatCannotBeSearched : public testing::TestWithParam<UnreadableFolder> {};

TEST_P(FolderThatCannotBeSearched, EndsTheRunWithItsReason)
{
    test::TempDir dir;
    const fs::path folder = dir / "photos";
    GetParam().make(folder);
    FakeHost host;
    try {
        Button1Click(host, folder.string(), "200");
        FAIL() << "no error";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.message(), "Impossible de lire le dossier " + folder.string() + "/ : " + GetParam().reason);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, FolderThatCannotBeSearched,
    testing::Values(UnreadableFolder{"Missing", [](const fs::path&) {}, "fichier ou dossier inexistant"},
                    UnreadableFolder{"AFile", [](const fs::path& f) { test::writeFile(f, std::string("x")); },
                                     "n'est pas un dossier"},
                    UnreadableFolder{"ALoop", [](const fs::path& f) { fs::create_symlink(f, f); },
                                     "trop de niveaux de liens symboliques"}),
    [](const testing::TestParamInfo<UnreadableFolder>& row) { return std::string(row.param.name); });

TEST(BatchRun, RefusesABadNumberBeforeEmptyingTheList)
{
    test::TempDir dir;
    photo(dir / "p.jpg");
    FakeHost host;
    host.list = {"kept"};
    try {
        Button1Click(host, dir.path().string(), "12 ");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.message(), "'12 ' n'est pas une valeur entière correcte");
    }
    for (const char* number : {"0", "-3", "$FFFFFFFF"}) {
        try {
            Button1Click(host, dir.path().string(), number);
            FAIL() << number;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.message(), "La valeur doit être supérieure ou égale à 1");
        }
    }
    EXPECT_EQ(host.list, std::vector<std::string>{"kept"});
    EXPECT_FALSE(fs::exists(dir / "tamblure"));
}

TEST(BatchRun, RefusesAnEmptyFolderField)
{
    FakeHost host;
    EXPECT_THROW(Button1Click(host, "", "200"), EInOutError);
}

TEST(BatchRun, StopsWhenTheThumbnailFolderIsBlockedByAFile)
{
    test::TempDir dir;
    photo(dir / "p.jpg");
    test::writeFile(dir / "tamblure", std::string("a file"));
    FakeHost host;
    host.list = {"x"};
    try {
        Button1Click(host, dir.path().string(), "200");
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.message(), "Impossible de créer " + dir.path().string() + "/tamblure : le fichier existe déjà");
    }
    EXPECT_TRUE(host.list.empty());
}

TEST(BatchRun, NeverProcessesHiddenFilesSubFoldersOrTheThumbnailFolder)
{
    test::TempDir dir;
    photo(dir / "seen.jpg");
    photo(dir / ".hidden.jpg");
    fs::create_directory(dir / "folder.jpg");
    fs::create_directory(dir / "sub");
    photo(dir / "sub" / "inner.jpg");
    fs::create_symlink(dir / "seen.jpg", dir / "link.jpg");
    photo(dir / "notes.txt");
    FakeHost host;
    Button1Click(host, dir.path().string(), "100");
    EXPECT_EQ(host.list, (std::vector<std::string>{"link.jpg", "seen.jpg"}));
    // A second run must not take the thumbnails for photographs.
    Button1Click(host, dir.path().string(), "100");
    EXPECT_EQ(host.list, (std::vector<std::string>{"link.jpg", "seen.jpg"}));
    EXPECT_FALSE(fs::exists(dir / "tamblure" / "tamblure"));
}

struct OddEntry {
    const char* name;
    void (*make)(const fs::path& entry);
    const char* says; // what the failure says after the entry's path
};

class EntryNamedLikeAPhotograph : public testing::TestWithParam<OddEntry> {};

// Anything named like a photograph that is no regular file is reported in
// its place, never passed over, and never opened (a FIFO would hang a run).
TEST_P(EntryNamedLikeAPhotograph, IsAFailureNamingIt)
{
    test::TempDir dir;
    photo(dir / "a.jpg");
    GetParam().make(dir / "b.jpg");
    photo(dir / "c.jpg");
    FakeHost host;
    RunOptions options;
    options.keepGoing = true;
    ASSERT_EQ(runBatch(host, dir.path().string(), "100", options), RunEnd::Finished);
    EXPECT_EQ(host.list, (std::vector<std::string>{"a.jpg", "c.jpg"}));
    ASSERT_EQ(host.failures.size(), 1u);
    EXPECT_NE(host.failures[0].find((dir / "b.jpg").string() + GetParam().says), std::string::npos) << host.failures[0];
}

INSTANTIATE_TEST_SUITE_P(
    Table, EntryNamedLikeAPhotograph,
    testing::Values(
        OddEntry{"Fifo", [](const fs::path& e) { ::mkfifo(e.c_str(), 0644); }, " » n'est pas un fichier ordinaire"},
        OddEntry{"Device", [](const fs::path& e) { fs::create_symlink("/dev/zero", e); },
                 " » n'est pas un fichier ordinaire"},
        OddEntry{"DanglingLink", [](const fs::path& e) { fs::create_symlink(e.parent_path() / "nowhere", e); },
                 " : fichier ou dossier inexistant"},
        OddEntry{"LoopingLink", [](const fs::path& e) { fs::create_symlink(e, e); },
                 " : trop de niveaux de liens symboliques"}),
    [](const testing::TestParamInfo<OddEntry>& row) { return std::string(row.param.name); });

TEST(BatchRun, AFolderThatCanBeListedButNotSearchedIsAnError)
{
    test::TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    const fs::path folder = dir / "photos";
    fs::create_directory(folder);
    photo(folder / "a.jpg");
    // Handed to the ordinary user the test runs as when it is root.
    ASSERT_TRUE(::geteuid() != 0 || ::chown(folder.c_str(), test::kOrdinaryUser, test::kOrdinaryUser) == 0);
    ::chmod(folder.c_str(), 0400); // r--: its names can be read, not its files
    const int outcome = test::asOrdinaryUser([&] {
        try {
            findPhotographs(folder);
        } catch (const EInOutError& e) {
            return e.message() == "Impossible de lire le dossier " + folder.string() + " : permission refusée" ? 0 : 2;
        }
        return 1;
    });
    ::chmod(folder.c_str(), 0700);
    EXPECT_EQ(outcome, 0);
}

TEST(BatchRun, EndedByAnErrorKeepsWhatWasDoneAndTheEarlierPage)
{
    test::TempDir dir;
    photo(dir / "a.jpg");
    photo(dir / "b.jpg");
    test::writeFile(dir / "c.jpg", std::string("not a photograph at all"));
    photo(dir / "d.jpg");
    test::writeFile(dir / "index.html", std::string("the earlier, complete page"));
    FakeHost host;
    host.pageValue = true;
    host.columnsValue = 2;
    EXPECT_THROW(Button1Click(host, dir.path().string(), "2"), EJPEG);
    EXPECT_EQ(host.list, (std::vector<std::string>{"a.jpg", "b.jpg"}));
    EXPECT_TRUE(fs::exists(dir / "tamblure" / "a.jpg"));
    EXPECT_TRUE(fs::exists(dir / "tamblure" / "b.jpg"));
    EXPECT_FALSE(fs::exists(dir / "tamblure" / "c.jpg"));
    EXPECT_FALSE(fs::exists(dir / "tamblure" / "d.jpg"));
    EXPECT_EQ(test::readText(dir / "index.html"), "the earlier, complete page");
    for (const fs::path& folder : {dir.path(), dir / "tamblure"})
        for (const auto& entry : fs::directory_iterator(folder))
            EXPECT_NE(entry.path().filename().string().front(), '.') << "temporary file left: " << entry.path();
}

TEST(BatchRun, APageThatCannotBePutInPlaceIsTheRunsErrorAfterEveryThumbnail)
{
    test::TempDir dir;
    photo(dir / "a.jpg");
    photo(dir / "b.jpg");
    // A folder that is not empty cannot be replaced by the page.
    fs::create_directories(dir / "index.html" / "inside");
    FakeHost host;
    host.pageValue = true;
    try {
        Button1Click(host, dir.path().string(), "100");
        FAIL() << "no error";
    } catch (const EWriteError& e) {
        EXPECT_EQ(e.message(),
                  "Impossible d'écrire le fichier " + dir.path().string() + "/index.html : est un dossier");
    }
    EXPECT_EQ(host.list, (std::vector<std::string>{"a.jpg", "b.jpg"}));
    EXPECT_TRUE(fs::exists(dir / "tamblure" / "b.jpg"));
}

TEST(BatchRun, StopsBetweenTwoPicturesWhenTheWindowCloses)
{
    test::TempDir dir;
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
        photo(dir / name);
    FakeHost host;
    host.onEvents = [](FakeHost& h) { h.stop = true; };
    EXPECT_EQ(Button1Click(host, dir.path().string(), "100"), RunEnd::Stopped);
    EXPECT_EQ(host.list, std::vector<std::string>{"a.jpg"});
}

TEST(BatchRun, ReadsTheCriterionAnewForEveryPicture)
{
    test::TempDir dir;
    photo(dir / "a.jpg", 400, 200);
    photo(dir / "b.jpg", 400, 200);
    FakeHost host;
    host.onEvents = [](FakeHost& h) { h.criterionValue = Criterion::ReductionFactor; };
    Button1Click(host, dir.path().string(), "4");
    // "Dimension maximale" 4 for a, factor 4 for b.
    EXPECT_EQ(frameSize(dir / "tamblure" / "a.jpg"), (std::pair<int, int>{4, 2}));
    EXPECT_EQ(frameSize(dir / "tamblure" / "b.jpg"), (std::pair<int, int>{100, 50}));
}

std::string percentDecode(const std::string& address)
{
    std::string out;
    for (std::size_t i = 0; i < address.size(); ++i) {
        if (address[i] == '%' && i + 2 < address.size()) {
            out += static_cast<char>(std::stoi(address.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += address[i];
        }
    }
    return out;
}

std::string unescapeAttribute(std::string text)
{
    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
             {"&quot;", "\""}, {"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}}) {
        for (std::size_t at; (at = text.find(from)) != std::string::npos;)
            text.replace(at, from.size(), to);
    }
    return text;
}

TEST(BatchRunPage, LinksReachEveryFileWhateverItsName)
{
    test::TempDir dir;
    const std::vector<std::string> names = {"a \"quoted\".jpg", "x<y>.jpg", "r&d.jpg", "#1.jpg",
                                            "50%.jpg",          "why?.jpg", "été.jpg", "東京.jpg"};
    for (const auto& name : names)
        photo(dir / name, 64, 48);
    FakeHost host;
    host.pageValue = true;
    host.columnsValue = 3;
    host.titleValue = "Photos";
    ASSERT_EQ(Button1Click(host, dir.path().string(), "32"), RunEnd::Finished);
    const std::string page = test::readText(dir / "index.html");
    const std::regex link(R"re((href|SRC)="([^"]*)")re");
    int links = 0;
    for (auto it = std::sregex_iterator(page.begin(), page.end(), link); it != std::sregex_iterator(); ++it) {
        const std::string target = percentDecode(unescapeAttribute((*it)[2]));
        EXPECT_TRUE(fs::is_regular_file(dir / target)) << (*it)[0] << " -> " << target;
        ++links;
    }
    EXPECT_EQ(links, 2 * static_cast<int>(names.size()));
    EXPECT_TRUE(page.ends_with("</table>\r\n</body>\r\n</html>\r\n"));
}

} // namespace
} // namespace tamblure::batch
