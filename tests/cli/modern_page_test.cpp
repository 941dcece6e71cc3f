// tamblure-batch --page moderne: the page read back as a browser reads it
// (modern_page_check.py, html5lib in strict mode) over names made to break
// it, a library's links between pages, and the thumbnails at twice the size
// (--hidpi): byte for byte those of a run at that size, kept and removed as
// the others are.

#include "batch_process.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>

namespace tamblure {
namespace {

namespace fs = std::filesystem;
using test::Outcome;
using test::runBatch;

using Lines = std::vector<std::vector<std::string>>;

// The check's lines of one kind, split at their tabs.
struct PageFacts {
    int exitCode = -1;
    std::map<std::string, Lines> lines;
    std::string of(const std::string& kind) const
    {
        const auto found = lines.find(kind);
        return found == lines.end() ? std::string() : found->second.front().at(0);
    }
    Lines all(const std::string& kind) const
    {
        const auto found = lines.find(kind);
        return found == lines.end() ? Lines() : found->second;
    }
};

PageFacts readPage(const fs::path& page)
{
    PageFacts facts;
    const std::string command = std::string(TAMBLURE_PAGE_CHECK) + " '" + page.string() + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string output;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    const int status = ::pclose(pipe);
    facts.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, '\t');)
            fields.push_back(field);
        const std::string kind = fields.empty() ? "" : fields.front();
        facts.lines[kind].emplace_back(fields.begin() + (fields.empty() ? 0 : 1), fields.end());
    }
    if (facts.exitCode != 0 && facts.exitCode != 77)
        ADD_FAILURE() << page << ": " << output;
    return facts;
}

std::vector<std::uint8_t> iptcCaption(const std::string& caption)
{
    std::vector<std::uint8_t> dataset{0x1C, 2, 120, 0, static_cast<std::uint8_t>(caption.size())};
    dataset.insert(dataset.end(), caption.begin(), caption.end());
    std::vector<std::uint8_t> payload{
        'P', 'h', 'o', 't', 'o', 's',  'h',  'o', 'p', ' ', '3', '.', '0',
        0,   '8', 'B', 'I', 'M', 0x04, 0x04, 0,   0,   0,   0,   0,   static_cast<std::uint8_t>(dataset.size())};
    payload.insert(payload.end(), dataset.begin(), dataset.end());
    if (payload.size() % 2 != 0)
        payload.push_back(0);
    return payload;
}

void photo(const fs::path& path, int width = 320, int height = 213, const std::string& caption = "")
{
    test::JpegSpec spec = test::sized(width, height);
    spec.seed = static_cast<std::uint32_t>(std::hash<std::string>()(path.filename().string()));
    if (!caption.empty())
        spec.segments.push_back({0xED, iptcCaption(caption)});
    fs::create_directories(path.parent_path());
    test::writeJpeg(path, spec);
}

// "a b.jpg — 12 ko": the caption as the check gives it (blanks as spaces).
std::string captionOf(const fs::path& photograph)
{
    return photograph.filename().string() + " — " + std::to_string((fs::file_size(photograph) + 512) / 1024) + " ko";
}

const std::string kQuoted = "a \"quoted\" <b>&c.jpg";
const std::string kJapanese = "l'été 東京.jpg";
const std::string kComma = "x,y.jpg";
const std::string kCaptioned = "plain.jpg";
const std::string kCaption = "Le <lac> & \"ciel\"";
const std::string kSub = "Sous & \"dossier\" <1>";

TEST(ModernPage, HostileNamesGiveAValidPageWhoseCellsAndLinksLeadToTheirFiles)
{
    test::TempDir dir;
    const fs::path top = dir / "Bibli";
    for (const std::string& name : {kQuoted, kJapanese, kComma})
        photo(top / name);
    photo(top / kCaptioned, 320, 213, kCaption);
    photo(top / kSub / "p1.jpg");
    photo(top / kSub / "p2.jpg");
    photo(top / kSub / "日本" / "p3.jpg");
    photo(top / "seulement" / "bas" / "p4.jpg");
    fs::create_directories(top / "vide");

    const Outcome o = runBatch({"-r", "-s", "100", "--html", "--page", "moderne", "--hidpi", "--columns", "3",
                                "--title", "Été <b> & \"co\"", top.string()});
    ASSERT_EQ(o.exitCode, 0) << o.err;

    const PageFacts page = readPage(top / "index.html");
    if (page.exitCode == 77)
        GTEST_SKIP() << "python3-html5lib is not installed";
    EXPECT_EQ(page.of("title"), "Été <b> & \"co\"");
    EXPECT_EQ(page.of("h1"), "Été <b> & \"co\"");
    EXPECT_EQ(page.of("lang"), "fr");
    EXPECT_EQ(page.of("charset"), "utf-8");
    EXPECT_EQ(page.of("viewport"), "width=device-width, initial-scale=1");
    EXPECT_EQ(page.of("columns"), "3");
    EXPECT_EQ(page.all("parent"), Lines{}) << "the top of the run has no parent page";
    EXPECT_EQ(page.all("missing"), Lines{});
    EXPECT_EQ(page.all("folder"),
              (Lines{{"seulement/index.html", "seulement", "1 dossier"},
                     {"Sous%20&%20%22dossier%22%20%3C1%3E/index.html", kSub, "2 photos, 1 dossier"}}));
    // In the folder's order; each cell its picture's name, caption and both
    // thumbnails.
    const std::string names[] = {kQuoted, kJapanese, kCaptioned, kComma};
    const Lines cells = page.all("cell");
    ASSERT_EQ(cells.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        const std::vector<std::string>& c = cells[i];
        SCOPED_TRACE(names[i]);
        const std::string src = c[1];
        EXPECT_EQ(src, "tamblure/" + c[0]);
        const std::string inList = names[i] == kComma ? "x%2Cy.jpg" : c[0];
        EXPECT_EQ(c[2], "tamblure/" + inList + " 1x, tamblure/2x/" + inList + " 2x");
        EXPECT_EQ(c[3], "100");
        EXPECT_EQ(c[4], "66");
        EXPECT_EQ(c[5], names[i] == kCaptioned ? kCaption : names[i]);
        EXPECT_EQ(c[6], "lazy");
        EXPECT_EQ(c[7], captionOf(top / names[i]));
    }

    const PageFacts sub = readPage(top / kSub / "index.html");
    EXPECT_EQ(sub.of("parent"), "../index.html");
    EXPECT_EQ(sub.all("folder"), (Lines{{"%E6%97%A5%E6%9C%AC/index.html", "日本", "1 photo"}}));
    EXPECT_EQ(sub.all("cell").size(), 2u);
    EXPECT_EQ(sub.all("missing"), Lines{});

    // A folder with no photograph of its own leads to those below it, and
    // gets no thumbnail folder; an empty one gets no page.
    const PageFacts through = readPage(top / "seulement" / "index.html");
    EXPECT_EQ(through.all("folder"), (Lines{{"bas/index.html", "bas", "1 photo"}}));
    EXPECT_EQ(through.all("cell"), Lines{});
    EXPECT_FALSE(fs::exists(top / "seulement" / "tamblure"));
    EXPECT_FALSE(fs::exists(top / "vide" / "index.html"));

    // Sub-folders are made before their folder, so that its page can count
    // their pages.
    EXPECT_LT(o.out.find("日本/p3.jpg"), o.out.find(kSub + "/p1.jpg"));
    EXPECT_LT(o.out.find(kSub + "/p1.jpg"), o.out.find(kQuoted));
}

TEST(ModernPage, WithoutHidpiOffersNoSecondThumbnail)
{
    test::TempDir dir;
    photo(dir / "a.jpg");
    ASSERT_EQ(runBatch({"--html", "--page", "moderne", dir.path().string()}).exitCode, 0);
    const PageFacts page = readPage(dir / "index.html");
    if (page.exitCode == 77)
        GTEST_SKIP() << "python3-html5lib is not installed";
    ASSERT_EQ(page.all("cell").size(), 1u);
    EXPECT_EQ(page.all("cell")[0][2], "");
    EXPECT_EQ(page.of("columns"), "1");
    EXPECT_EQ(page.of("title"), dir.path().filename().string()) << "no title: the folder's name";
    EXPECT_FALSE(fs::exists(dir / "tamblure" / "2x"));
}

// The sizes of thumbnails made with and without --hidpi, and their doubles'
// at twice the size alone: photographs whose thumbnails decode at the same
// scale share one decode, the others are decoded twice, a small one is
// copied at twice the size, a grey one is decoded whole.
struct DoubleCase {
    std::vector<std::string> single; // the size options
    std::vector<std::string> twice;  // the same at twice the size
};

class Hidpi : public testing::TestWithParam<DoubleCase> {};

TEST_P(Hidpi, MakesBothThumbnailsByteForByteAsRunsAtEachSizeAlone)
{
    test::TempDir dir;
    const auto library = [](const fs::path& folder) {
        photo(folder / "small.jpg", 320, 240);
        photo(folder / "medium.jpg", 1000, 750);
        photo(folder / "large.jpg", 4000, 3000);
        test::JpegSpec grey = test::sized(900, 600);
        grey.components = 1;
        test::writeJpeg(folder / "grey.jpg", grey);
    };
    for (const char* folder : {"both", "single", "twice"})
        library(dir / folder);
    const auto run = [&](std::vector<std::string> arguments, const char* folder) {
        arguments.push_back((dir / folder).string());
        const Outcome o = runBatch(arguments);
        EXPECT_EQ(o.exitCode, 0) << o.err;
    };
    std::vector<std::string> both = GetParam().single;
    both.insert(both.end(), {"--html", "--page", "moderne", "--hidpi"});
    run(both, "both");
    run(GetParam().single, "single");
    run(GetParam().twice, "twice");
    for (const char* name : {"small.jpg", "medium.jpg", "large.jpg", "grey.jpg"}) {
        EXPECT_EQ(test::readFile(dir / "both" / "tamblure" / name), test::readFile(dir / "single" / "tamblure" / name))
            << name;
        EXPECT_EQ(test::readFile(dir / "both" / "tamblure" / "2x" / name),
                  test::readFile(dir / "twice" / "tamblure" / name))
            << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Hidpi,
                         testing::Values(DoubleCase{{"-s", "200"}, {"-s", "400"}}, DoubleCase{{"-f", "8"}, {"-f", "4"}},
                                         DoubleCase{{"-f", "16"}, {"-f", "8"}}));

// Under --update each size keeps what is up to date by its own records; a
// kept picture keeps its caption; --prune takes both thumbnails of a
// photograph gone.
TEST(Hidpi, KeepsAndPrunesTheDoublesAsTheThumbnails)
{
    test::TempDir dir;
    photo(dir / "a.jpg");
    photo(dir / "b.jpg", 320, 213, kCaption);
    photo(dir / "c.jpg");
    const std::vector<std::string> update{"-u", "-s", "100", "--html", "--page", "moderne", "--hidpi"};
    const auto run = [&](std::vector<std::string> arguments) {
        arguments.push_back(dir.path().string());
        return runBatch(arguments);
    };
    ASSERT_EQ(run(update).exitCode, 0);
    EXPECT_EQ(run(update).out, "0 vignettes faites, 3 à jour\nTerminé\n");
    const PageFacts kept = readPage(dir / "index.html");
    if (kept.exitCode != 77) {
        ASSERT_EQ(kept.all("cell").size(), 3u);
        EXPECT_EQ(kept.all("cell")[1][5], kCaption);
        EXPECT_NE(kept.all("cell")[1][2], "");
    }

    fs::remove(dir / "tamblure" / "2x" / "b.jpg");
    EXPECT_EQ(run(update).out, "b.jpg\n1 vignette faite, 2 à jour\nTerminé\n");
    EXPECT_TRUE(fs::exists(dir / "tamblure" / "2x" / "b.jpg"));

    fs::remove(dir / "a.jpg");
    std::vector<std::string> prune = update;
    prune.push_back("--prune");
    const Outcome o = run(prune);
    EXPECT_EQ(o.out, "tamblure/a.jpg : vignette supprimée, sa photographie n'est plus là\n"
                     "0 vignettes faites, 2 à jour\nTerminé\n");
    EXPECT_FALSE(fs::exists(dir / "tamblure" / "a.jpg"));
    EXPECT_FALSE(fs::exists(dir / "tamblure" / "2x" / "a.jpg"));
    EXPECT_TRUE(fs::exists(dir / "tamblure" / "2x" / "c.jpg"));
}

} // namespace
} // namespace tamblure
