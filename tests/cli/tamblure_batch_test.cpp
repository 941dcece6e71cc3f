// The command-line companion, run as a separate process.

#include "batch_process.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <sys/wait.h>

namespace tamblure {
namespace {

namespace fs = std::filesystem;

using test::Outcome;

Outcome run(const std::string& arguments, const std::string& folder = {})
{
    std::vector<std::string> all = test::words(arguments);
    if (!folder.empty())
        all.push_back(folder);
    return test::runBatch(all);
}

void photos(const test::TempDir& dir, int count)
{
    for (int i = 0; i < count; ++i) {
        test::JpegSpec spec;
        spec.width = 300 + 16 * i;
        spec.height = 200;
        spec.seed = static_cast<std::uint32_t>(i + 1);
        test::writeJpeg(dir / ("p" + std::to_string(i) + ".jpg"), spec);
    }
}

TEST(TamblureBatch, PrintsEachNameThenTermine)
{
    test::TempDir dir;
    photos(dir, 3);
    const Outcome o = run("-s 100", dir.path().string());
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.out, "p0.jpg\np1.jpg\np2.jpg\nTerminé\n");
    EXPECT_TRUE(fs::exists(dir / "tamblure" / "p2.jpg"));
}

TEST(TamblureBatch, ManyJobsGiveTheSameListPageAndThumbnailsAsOne)
{
    test::TempDir one, many;
    photos(one, 9);
    photos(many, 9);
    const Outcome a = run("-j 1 -s 120 --html --columns 4 --title Essai", one.path().string());
    const Outcome b = run("-j 4 -s 120 --html --columns 4 --title Essai", many.path().string());
    ASSERT_EQ(a.exitCode, 0) << a.err;
    ASSERT_EQ(b.exitCode, 0) << b.err;
    EXPECT_EQ(a.out, b.out);
    EXPECT_EQ(test::readFile(one / "index.html"), test::readFile(many / "index.html"));
    for (int i = 0; i < 9; ++i) {
        const std::string name = "p" + std::to_string(i) + ".jpg";
        EXPECT_EQ(test::readFile(one / "tamblure" / name), test::readFile(many / "tamblure" / name)) << name;
    }
}

TEST(TamblureBatch, AnErrorEndsTheRunInSearchOrderWithItsMessage)
{
    test::TempDir dir;
    photos(dir, 4);
    test::writeFile(dir / "p1.jpg", std::string("not a photograph"));
    for (const char* jobs : {"1", "3"}) {
        const Outcome o = run(std::string("-j ") + jobs + " -f 2", dir.path().string());
        EXPECT_EQ(o.exitCode, 1);
        EXPECT_EQ(o.out, "p0.jpg\n") << "jobs " << jobs;
        EXPECT_EQ(o.err,
                  "Le fichier « " + dir.path().string() + "/p1.jpg » n'est pas une photographie JPEG lisible.\n");
    }
}

struct QualityCall {
    const char* arguments;
    int quality; // what the thumbnail must have been encoded with
};

void PrintTo(const QualityCall& call, std::ostream* out)
{
    *out << '"' << call.arguments << '"';
}

class TamblureBatchQuality : public testing::TestWithParam<QualityCall> {};

// libjpeg's tables for the quality are the oracle: a quality one off gives
// other tables, and a thumbnail copied from its photograph keeps the
// photograph's (quality 90).
TEST_P(TamblureBatchQuality, IsTheOneAskedForOr75)
{
    test::TempDir dir;
    photos(dir, 1);
    const Outcome o = run(GetParam().arguments, dir.path().string());
    ASSERT_EQ(o.exitCode, 0) << o.err;
    const auto tables = test::quantTablesOf(test::readFile(dir / "tamblure" / "p0.jpg"));
    const int quality = GetParam().quality;
    EXPECT_EQ(tables, test::libjpegQuantTables(quality));
    EXPECT_NE(tables, test::libjpegQuantTables(quality - 1));
    EXPECT_NE(tables, test::libjpegQuantTables(quality + 1));
}

INSTANTIATE_TEST_SUITE_P(Table, TamblureBatchQuality,
                         testing::Values(QualityCall{"", 75}, QualityCall{"-s 150", 75}, QualityCall{"-f 2", 75},
                                         QualityCall{"-q 90", 90}, QualityCall{"--quality=40", 40}));

struct BadCall {
    const char* arguments;
    int exitCode;
    const char* message; // on standard error
};

class TamblureBatchArguments : public testing::TestWithParam<BadCall> {};

TEST_P(TamblureBatchArguments, AreRefusedWithUsageOrTheFieldsMessage)
{
    test::TempDir dir;
    const Outcome o = run(std::string(GetParam().arguments), dir.path().string());
    EXPECT_EQ(o.exitCode, GetParam().exitCode) << o.err;
    EXPECT_NE(o.err.find(GetParam().message), std::string::npos) << o.err;
    EXPECT_EQ(o.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Table, TamblureBatchArguments,
    testing::Values(
        BadCall{"-s abc", 2, "tamblure-batch : --size : 'abc' n'est pas une valeur entière correcte\nUsage"},
        BadCall{"--size=0", 2, "tamblure-batch : --size : La valeur doit être supérieure ou égale à 1\n"},
        BadCall{"-f-3", 2, "tamblure-batch : --factor : La valeur doit être supérieure ou égale à 1\n"},
        BadCall{"-s 100 -f 2", 2, "tamblure-batch : --factor : --size et --factor s'excluent\n"},
        BadCall{"-q 0", 2, "tamblure-batch : --quality : la qualité doit être un entier de 1 à 100\n"},
        BadCall{"--quality=101", 2, "tamblure-batch : --quality : la qualité"},
        BadCall{"--bogus", 2, "tamblure-batch : --bogus : option inconnue\n"},
        BadCall{"--bogus=3", 2, "tamblure-batch : --bogus : option inconnue\n"},
        BadCall{"-x", 2, "tamblure-batch : -x : option inconnue\n"},
        BadCall{"--title x", 2, "tamblure-batch : --title : va avec --html\n"},
        BadCall{"--html --columns 11", 2,
                "tamblure-batch : --columns : le nombre de colonnes doit être un entier "
                "de 1 à 10\n"},
        BadCall{"--html --columns 0", 2, "tamblure-batch : --columns : le nombre"},
        BadCall{"-j 0", 2, "tamblure-batch : --jobs : le nombre de travaux doit être un entier de 1 à 256\n"},
        BadCall{"--shard 3/2", 2, "tamblure-batch : --shard : K/N attendu"},
        BadCall{"--shard 0/2", 2, "tamblure-batch : --shard : K/N attendu"},
        BadCall{"--shard 1/x", 2, "tamblure-batch : --shard : K/N attendu"},
        BadCall{"--shard 1/2 --html", 2, "tamblure-batch : --shard : ne va pas avec --html"},
        BadCall{"--page moderne", 2, "tamblure-batch : --page : va avec --html\n"},
        BadCall{"--html --page joli", 2, "tamblure-batch : --page : « classique » ou « moderne » attendu\n"},
        BadCall{"--html --hidpi", 2, "tamblure-batch : --hidpi : va avec --page moderne\n"},
        BadCall{"--html --page classique --hidpi", 2, "tamblure-batch : --hidpi : va avec --page moderne\n"},
        BadCall{"--html --page moderne --hidpi -f 3", 2, "tamblure-batch : --hidpi : demande un facteur pair"}));

TEST(TamblureBatch, NamesAnOptionThatLacksItsValue)
{
    test::TempDir dir;
    for (const char* option : {"-q", "--columns"}) {
        const Outcome o = test::runBatch({"--html", dir.path().string(), option});
        EXPECT_EQ(o.exitCode, 2);
        EXPECT_EQ(o.err.rfind(std::string("tamblure-batch : ") + (option[1] == 'q' ? "--quality" : option) +
                                  " : une valeur est attendue\n",
                              0),
                  0u)
            << o.err;
    }
}

TEST(TamblureBatch, WantsAFolder)
{
    const Outcome o = run("-s 100");
    EXPECT_EQ(o.exitCode, 2);
    EXPECT_EQ(o.err.rfind("tamblure-batch : indiquez le dossier des images\nUsage", 0), 0u) << o.err;
}

// A photograph cut short is still made, as other tools make it, but the
// user hears of it; the exit status stays 0.
TEST(TamblureBatch, WarnsOfATruncatedPhotographOnStandardError)
{
    test::TempDir dir;
    auto bytes = test::makeJpeg(test::sized(640, 480));
    bytes.resize(bytes.size() * 2 / 3);
    test::writeFile(dir / "cut.jpg", bytes);
    test::writeJpeg(dir / "whole.jpg", test::sized(640, 480));
    const Outcome o = test::runBatch({dir.path().string()});
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_EQ(o.out, "cut.jpg\nwhole.jpg\nTerminé\n");
    EXPECT_EQ(o.err,
              "cut.jpg : fichier tronqué : la fin de la photographie manque, la vignette est complétée en gris\n");
}

TEST(TamblureBatch, RefusesAnEmptyFolderNameBeforeAnyWork)
{
    test::TempDir dir;
    test::writeJpeg(dir / "a.jpg", test::sized(64, 48));
    const Outcome o = test::runBatch({"-k", dir.path().string(), ""});
    EXPECT_EQ(o.exitCode, 2);
    EXPECT_EQ(o.err.rfind("tamblure-batch : un nom de dossier est vide\nUsage", 0), 0u) << o.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "tamblure"));
}

TEST(TamblureBatch, HelpAndVersionExitZero)
{
    const Outcome help = run("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--jobs"), std::string::npos);
    const Outcome version = run("--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("tamblure-batch ", 0), 0u);
}

} // namespace
} // namespace tamblure
