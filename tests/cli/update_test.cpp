// --update over libraries it did not make itself, over photographs dated in
// the future, over runs that have nothing to do, and --prune.

#include "batch_process.h"
#include "common/file_io.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <map>

namespace tamblure {
namespace {

namespace fs = std::filesystem;
using test::Outcome;
using test::runBatch;

// 400 × 300 photographs a, b, c; small.jpg (80 × 60) is copied whole at
// -s 100.
void library(const fs::path& folder)
{
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
        test::JpegSpec spec = test::sized(400, 300);
        spec.seed = static_cast<std::uint32_t>(name[0]);
        spec.segments.push_back({0xE1, test::exifPayload(200)});
        test::writeJpeg(folder / name, spec);
    }
    test::writeJpeg(folder / "small.jpg", test::sized(80, 60));
}

std::map<std::string, FileStamp> stamps(const fs::path& folder)
{
    std::map<std::string, FileStamp> out;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file())
            out[entry.path().filename().string()] = *stampOf(entry.path(), false);
    return out;
}

struct Earlier {
    const char* name;
    std::vector<std::string> firstRun; // without --update: no records
    void (*touch)(const fs::path& folder);
    std::vector<std::string> remade; // by `-u -s 100`
};

class Adoption : public testing::TestWithParam<Earlier> {};

TEST_P(Adoption, KeepsWhatWasPlainlyMadeForTheRequest)
{
    test::TempDir dir;
    library(dir.path());
    std::vector<std::string> first = GetParam().firstRun;
    first.push_back(dir.path().string());
    ASSERT_EQ(runBatch(first).exitCode, 0);
    GetParam().touch(dir.path());
    const auto before = stamps(dir / "tamblure");
    const Outcome o = runBatch({"-u", "-s", "100", dir.path().string()});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    std::vector<std::string> remade;
    for (const auto& [name, stamp] : stamps(dir / "tamblure"))
        if (before.contains(name) && !(before.at(name).inode == stamp.inode))
            remade.push_back(name);
    EXPECT_EQ(remade, GetParam().remade) << o.out;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Adoption,
    testing::Values(
        Earlier{"MadeByAPlainRun", {"-s", "100"}, [](const fs::path&) {}, {}},
        // small.jpg is copied whole under both sizes.
        Earlier{"AtAnotherSize", {"-s", "120"}, [](const fs::path&) {}, {"a.jpg", "b.jpg", "c.jpg"}},
        Earlier{"AtAnotherQuality", {"-s", "100", "-q", "90"}, [](const fs::path&) {}, {"a.jpg", "b.jpg", "c.jpg"}},
        Earlier{"ByAnotherCriterion", {"-f", "3"}, [](const fs::path&) {}, {"a.jpg", "b.jpg", "c.jpg", "small.jpg"}},
        Earlier{"EditedByHand",
                {"-s", "100"},
                [](const fs::path& f) {
                    test::JpegSpec spec = test::sized(100, 75);
                    spec.quality = 92;
                    test::writeJpeg(f / "tamblure" / "b.jpg", spec);
                },
                {"b.jpg"}},
        // The right width and tables at the default quality, one row short.
        Earlier{"OnlyItsHeightDiffers",
                {"-s", "100"},
                [](const fs::path& f) {
                    test::JpegSpec spec = test::sized(100, 74);
                    spec.quality = 75;
                    test::writeJpeg(f / "tamblure" / "b.jpg", spec);
                },
                {"b.jpg"}},
        Earlier{"CopyWithOtherData",
                {"-s", "100"},
                [](const fs::path& f) {
                    test::JpegSpec spec = test::sized(80, 60);
                    spec.seed = 7;
                    test::writeJpeg(f / "tamblure" / "small.jpg", spec);
                },
                {"small.jpg"}},
        Earlier{"PhotographChangedSince",
                {"-s", "100"},
                [](const fs::path& f) { ::chmod((f / "c.jpg").c_str(), 0600); },
                {"c.jpg"}}),
    [](const testing::TestParamInfo<Earlier>& row) { return std::string(row.param.name); });

// A camera with a wrong clock: its photographs are dated years ahead. Once
// made they are up to date, and a run with nothing to do leaves every file,
// records included, as it was.
TEST(Update, WithNothingToDoChangesNoFileWhateverTheDates)
{
    test::TempDir dir;
    library(dir.path());
    for (const char* name : {"a.jpg", "small.jpg"})
        fs::last_write_time(dir / name, fs::file_time_type::clock::now() + std::chrono::hours(24 * 365 * 3));
    ASSERT_EQ(runBatch({"-u", "--html", "-s", "100", dir.path().string()}).exitCode, 0);
    const auto before = stamps(dir / "tamblure");
    for (int run = 0; run < 2; ++run) {
        const Outcome o = runBatch({"-u", "-s", "100", dir.path().string()});
        EXPECT_EQ(o.out, "0 vignettes faites, 4 à jour\nTerminé\n");
        EXPECT_EQ(stamps(dir / "tamblure"), before);
    }
}

TEST(Prune, RemovesTheThumbnailsOfPhotographsGoneAndNothingElse)
{
    test::TempDir dir;
    library(dir.path());
    ASSERT_EQ(runBatch({"-u", "-s", "100", dir.path().string()}).exitCode, 0);
    fs::remove(dir / "a.jpg");                      // gone: its thumbnail goes
    fs::rename(dir / "b.jpg", dir / "renamed.jpg"); // its old thumbnail goes
    fs::remove(dir / "small.jpg");                  // gone, but its thumbnail was
    test::writeFile(dir / "tamblure" / "small.jpg", std::string("the user's own file now")); // replaced
    test::writeFile(dir / "tamblure" / "mine.jpg", std::string("never made by Tamblure"));

    const Outcome without = runBatch({"-u", "-s", "100", dir.path().string()});
    EXPECT_TRUE(fs::exists(dir / "tamblure" / "a.jpg")) << "nothing is removed without --prune";

    const Outcome o = runBatch({"-u", "--prune", "-s", "100", dir.path().string()});
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.out, "tamblure/a.jpg : vignette supprimée, sa photographie n'est plus là\n"
                     "tamblure/b.jpg : vignette supprimée, sa photographie n'est plus là\n"
                     "0 vignettes faites, 2 à jour\nTerminé\n");
    for (const char* kept : {"c.jpg", "renamed.jpg", "small.jpg", "mine.jpg"})
        EXPECT_TRUE(fs::exists(dir / "tamblure" / kept)) << kept;
    for (const char* gone : {"a.jpg", "b.jpg"})
        EXPECT_FALSE(fs::exists(dir / "tamblure" / gone)) << gone;
    EXPECT_EQ(runBatch({"--prune", dir.path().string()}).exitCode, 2);
}

} // namespace
} // namespace tamblure
