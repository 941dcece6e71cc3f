// The command-line companion, run as a separate process.

#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <sys/wait.h>

namespace tamblure {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string shellQuote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

Outcome run(const std::string& arguments)
{
    test::TempDir scratch;
    const std::string command = std::string(TAMBLURE_BATCH_EXE) + " " + arguments + " >" +
                                shellQuote((scratch / "out").string()) + " 2>" + shellQuote((scratch / "err").string());
    const int status = std::system(command.c_str());
    Outcome o;
    o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const auto out = test::readFile(scratch / "out");
    const auto err = test::readFile(scratch / "err");
    o.out.assign(out.begin(), out.end());
    o.err.assign(err.begin(), err.end());
    return o;
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
    const Outcome o = run("-s 100 " + shellQuote(dir.path().string()));
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.out, "p0.jpg\np1.jpg\np2.jpg\nTerminé\n");
    EXPECT_TRUE(fs::exists(dir / "tamblure" / "p2.jpg"));
}

TEST(TamblureBatch, ManyJobsGiveTheSameListPageAndThumbnailsAsOne)
{
    test::TempDir one, many;
    photos(one, 9);
    photos(many, 9);
    const Outcome a = run("-j 1 -s 120 --html --columns 4 --title Essai " + shellQuote(one.path().string()));
    const Outcome b = run("-j 4 -s 120 --html --columns 4 --title Essai " + shellQuote(many.path().string()));
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
        const Outcome o = run(std::string("-j ") + jobs + " -f 2 " + shellQuote(dir.path().string()));
        EXPECT_EQ(o.exitCode, 1);
        EXPECT_EQ(o.out, "p0.jpg\n") << "jobs " << jobs;
        EXPECT_EQ(o.err, "Le fichier « " + dir.path().string() + "/p1.jpg » n'est pas une photographie JPEG lisible.\n");
    }
}

struct BadCall {
    const char* arguments;
    int exitCode;
    const char* message; // on standard error
};

class TamblureBatchArguments : public testing::TestWithParam<BadCall> {};

TEST_P(TamblureBatchArguments, AreRefusedWithUsageOrTheFieldsMessage)
{
    test::TempDir dir;
    const Outcome o = run(std::string(GetParam().arguments) + " " + shellQuote(dir.path().string()));
    EXPECT_EQ(o.exitCode, GetParam().exitCode) << o.err;
    EXPECT_NE(o.err.find(GetParam().message), std::string::npos) << o.err;
    EXPECT_EQ(o.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Table, TamblureBatchArguments,
    testing::Values(BadCall{"-s abc", 1, "'abc' n'est pas une valeur entière correcte.\n"},
                    BadCall{"-f 0", 1, "La valeur doit être supérieure ou égale à 1.\n"},
                    BadCall{"-s 100 -f 2", 2, "Usage"}, BadCall{"-q 0", 2, "Usage"}, BadCall{"-q 101", 2, "Usage"},
                    BadCall{"--bogus", 2, "Usage"}, BadCall{"--title x", 2, "Usage"},
                    BadCall{"-j 0", 2, "Usage"}, BadCall{"extra", 2, "Usage"}));

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
