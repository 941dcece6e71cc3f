// A run killed at random moments never leaves a thumbnail or a page that is
// not either the old file or the complete new one.

#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tamblure {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

pid_t startRun(const fs::path& folder)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execl(TAMBLURE_BATCH_EXE, TAMBLURE_BATCH_EXE, "-j", "2", "-s", "64", "--html", "--columns", "3",
                folder.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return pid;
}

int waitFor(pid_t pid)
{
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

TEST(KilledRun, LeavesOnlyOldOrCompleteFiles)
{
    test::TempDir dir;
    constexpr int kPhotos = 12;
    std::vector<std::string> names;
    for (int i = 0; i < kPhotos; ++i) {
        test::JpegSpec spec;
        spec.width = 640 + 8 * i;
        spec.height = 480;
        spec.seed = static_cast<std::uint32_t>(i + 1);
        names.push_back("p" + std::to_string(i) + ".jpg");
        test::writeJpeg(dir / names.back(), spec);
    }

    // The complete new files, from a run left to finish.
    const auto start = Clock::now();
    ASSERT_EQ(WEXITSTATUS(waitFor(startRun(dir.path()))), 0);
    const auto runTime = Clock::now() - start;
    std::map<std::string, std::vector<std::uint8_t>> complete;
    for (const auto& name : names)
        complete[name] = test::readFile(dir / "tamblure" / name);
    complete["index.html"] = test::readFile(dir / "index.html");

    const std::vector<std::uint8_t> old = {'o', 'l', 'd'};
    std::mt19937 random(20261207);
    int killedMidway = 0;
    for (int round = 0; round < 200 && killedMidway < 50; ++round) {
        for (const auto& name : names)
            test::writeFile(dir / "tamblure" / name, old);
        test::writeFile(dir / "index.html", old);

        const pid_t pid = startRun(dir.path());
        const auto delay = std::chrono::duration_cast<std::chrono::microseconds>(runTime) *
                           std::uniform_real_distribution<double>(0.0, 0.9)(random);
        std::this_thread::sleep_for(delay);
        ::kill(pid, SIGKILL);
        const int status = waitFor(pid);
        if (WIFSIGNALED(status))
            ++killedMidway;

        for (const auto& [name, bytes] : complete) {
            const fs::path path = name == "index.html" ? dir / name : dir / "tamblure" / name;
            const auto now = test::readFile(path);
            EXPECT_TRUE(now == old || now == bytes) << name << " is neither old nor complete, round " << round;
        }
        // A kill between the link and the rename of a file may leave its
        // complete copy under its temporary name; nothing else may be left.
        for (const fs::path& folder : {dir.path(), dir / "tamblure"}) {
            for (const auto& entry : fs::directory_iterator(folder)) {
                const std::string name = entry.path().filename().string();
                if (name.front() == '.') {
                    EXPECT_TRUE(name.starts_with(".tamblure-")) << "left behind: " << entry.path();
                }
            }
        }
    }
    EXPECT_GE(killedMidway, 50);

    // A run left to finish takes away what killed runs left.
    ASSERT_EQ(WEXITSTATUS(waitFor(startRun(dir.path()))), 0);
    for (const fs::path& folder : {dir.path(), dir / "tamblure"})
        for (const auto& entry : fs::directory_iterator(folder))
            EXPECT_NE(entry.path().filename().string().front(), '.') << "left behind: " << entry.path();
}

} // namespace
} // namespace tamblure
