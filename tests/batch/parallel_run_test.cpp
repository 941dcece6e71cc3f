// The run with its pictures made on worker threads: it must behave as the
// one-thread run does, seen from the host (list, page and errors in search
// order; requests read when a picture is handed out; a stop request honoured
// after the pictures in hand).

#include "batch/batch_run.h"

#include "common/errors.h"
#include "fake_host.h"
#include "jpeg/jpeg_util.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <map>

namespace tamblure::batch {
namespace {

namespace fs = std::filesystem;
using test::FakeHost;

void photo(const fs::path& path, int width, int height, std::uint32_t seed = 1)
{
    test::JpegSpec spec = test::sized(width, height);
    spec.seed = seed;
    test::writeJpeg(path, spec);
}

RunOptions workers(unsigned count)
{
    RunOptions options;
    options.workers = count;
    return options;
}

std::pair<std::uint16_t, std::uint16_t> frameSize(const fs::path& path)
{
    std::uint16_t width = 0, height = 0;
    bool three = false;
    EXPECT_TRUE(jpeg::ProbeJpegHeader(path, width, height, three)) << path;
    return {width, height};
}

TEST(ParallelRun, ReadsEachPicturesCriterionWhenItIsHandedOut)
{
    test::TempDir dir;
    for (int i = 0; i < 8; ++i)
        photo(dir / ("p" + std::to_string(i) + ".jpg"), 400, 200, static_cast<std::uint32_t>(i + 1));
    FakeHost host;
    // "Facteur de réduction" from the first moment the run lets the window
    // react; pictures handed out after that are divided by 4, not fitted to
    // 4 pixels.
    host.onEvents = [](FakeHost& h) { h.criterionValue = Criterion::ReductionFactor; };
    ASSERT_EQ(runBatch(host, dir.path().string(), "4", workers(2)), RunEnd::Finished);
    EXPECT_EQ(frameSize(dir / "tamblure" / "p0.jpg"), std::make_pair(std::uint16_t{4}, std::uint16_t{2}));
    // At most two pictures per worker are out before the first one is taken.
    for (const char* late : {"p4.jpg", "p5.jpg", "p6.jpg", "p7.jpg"})
        EXPECT_EQ(frameSize(dir / "tamblure" / late), std::make_pair(std::uint16_t{100}, std::uint16_t{50})) << late;
}

// A host whose criterion turns to "Facteur de réduction" at its third reading:
// one request is read per picture, in search order, whatever the number of
// workers.
class TurningHost : public FakeHost {
public:
    Criterion criterion() const override
    {
        return ++reads_ > 2 ? Criterion::ReductionFactor : Criterion::LargestDimension;
    }

private:
    mutable int reads_ = 0;
};

TEST(ParallelRun, GivesTheSameThumbnailsAsOneThreadWhenTheCriterionChangesBetweenTwoPictures)
{
    std::map<unsigned, std::vector<std::vector<std::uint8_t>>> made;
    for (const unsigned count : {0u, 1u, 3u}) {
        test::TempDir dir;
        for (int i = 0; i < 6; ++i)
            photo(dir / ("p" + std::to_string(i) + ".jpg"), 400, 200, static_cast<std::uint32_t>(i + 1));
        TurningHost host;
        ASSERT_EQ(runBatch(host, dir.path().string(), "4", workers(count)), RunEnd::Finished);
        for (int i = 0; i < 6; ++i)
            made[count].push_back(test::readFile(dir / "tamblure" / ("p" + std::to_string(i) + ".jpg")));
    }
    EXPECT_EQ(made[1], made[0]);
    EXPECT_EQ(made[3], made[0]);
    EXPECT_NE(made[0][1], made[0][2]);
}

TEST(ParallelRun, StopsAfterThePicturesInHand)
{
    test::TempDir dir;
    const auto name = [](int i) { return std::string(i < 10 ? "p0" : "p") + std::to_string(i) + ".jpg"; };
    for (int i = 0; i < 12; ++i)
        photo(dir / name(i), 1200, 900, static_cast<std::uint32_t>(i + 1));
    FakeHost host;
    host.pageValue = true;
    host.onEvents = [](FakeHost& h) { h.stop = true; };
    EXPECT_EQ(runBatch(host, dir.path().string(), "100", workers(2)), RunEnd::Stopped);
    EXPECT_LE(host.list.size(), 1u);
    // Pictures handed out were finished whole; the others were never started.
    for (int i = 0; i < 12; ++i) {
        if (fs::exists(dir / "tamblure" / name(i))) {
            EXPECT_LT(i, 4) << name(i);
        }
    }
    EXPECT_FALSE(fs::exists(dir / "index.html"));
    for (const fs::path& folder : {dir.path(), dir / "tamblure"})
        for (const auto& entry : fs::directory_iterator(folder))
            EXPECT_NE(entry.path().filename().string().front(), '.') << "left behind: " << entry.path();
}

TEST(ParallelRun, EndsWithTheFirstErrorInSearchOrderWhicheverWorkerFinishesFirst)
{
    for (int round = 0; round < 3; ++round) {
        test::TempDir dir;
        // The second and third pictures are large, the fourth fails at once.
        photo(dir / "p1.jpg", 300, 200, 1);
        photo(dir / "p2.jpg", 3000, 2000, 2);
        photo(dir / "p3.jpg", 3000, 2000, 3);
        test::writeFile(dir / "p4.jpg", std::string("not a photograph"));
        photo(dir / "p5.jpg", 300, 200, 5);
        photo(dir / "p6.jpg", 300, 200, 6);
        FakeHost host;
        host.pageValue = true;
        try {
            runBatch(host, dir.path().string(), "100", workers(3));
            FAIL() << "no error";
        } catch (const EJPEG& e) {
            EXPECT_EQ(e.message(), "Le fichier « " + dir.path().string() +
                                       "/p4.jpg » n'est pas une photographie "
                                       "JPEG lisible");
        }
        EXPECT_EQ(host.list, (std::vector<std::string>{"p1.jpg", "p2.jpg", "p3.jpg"}));
        for (const char* done : {"p1.jpg", "p2.jpg", "p3.jpg"})
            EXPECT_TRUE(fs::exists(dir / "tamblure" / done)) << done;
        EXPECT_FALSE(fs::exists(dir / "index.html"));
    }
}

} // namespace
} // namespace tamblure::batch
