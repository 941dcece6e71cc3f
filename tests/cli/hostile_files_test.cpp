// Tiny files whose frame header claims far more picture than their bytes
// carry, a large photograph whose bytes pay for it, and photographs whose
// thumbnails take the memory decode_memory.h counts for them, run through
// the command-line companion so that its memory can be read from the
// outside.
// Their times are recorded among the test's properties (--gtest_output=xml),
// not judged, since a loaded or sanitised machine stretches them: only a run
// that has not ended after a minute, a thousand times what it takes, is
// stopped and counted as hanging.

#include "imaging/reduction.h"
#include "jpeg/decode_memory.h"
#include "jpeg/jpeg_util.h"
#include "support/hostile_jpeg.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tamblure {
namespace {

constexpr auto kHangLimit = std::chrono::seconds(60);

struct Measured {
    int exitCode = -1;
    std::string err;
    bool hung = false; // still running after kHangLimit, then killed
    double seconds = 0;
    double peakMiB = 0;
};

// The run's own peak, measured by GNU time from a process of its own: a child
// forked from the test would count the test's pages, which it shares until
// it runs the program, in its peak.
Measured runBatch(const std::filesystem::path& folder, const char* criterion, const char* number,
                  const std::vector<std::string>& options = {"-j", "1"})
{
    test::TempDir scratch;
    const auto errPath = scratch / "err";
    const auto peakPath = scratch / "peak";
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0); // so that a hanging run goes with its timer
        const int null = ::open("/dev/null", O_WRONLY);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(null, 1);
        ::dup2(err, 2);
        std::vector<const char*> argv{"/usr/bin/time", "-f", "%M", "-o", peakPath.c_str(), TAMBLURE_BATCH_EXE};
        for (const std::string& option : options)
            argv.push_back(option.c_str());
        argv.insert(argv.end(), {criterion, number, folder.c_str(), nullptr});
        ::execv(argv[0], const_cast<char* const*>(argv.data()));
        ::_exit(127);
    }
    int status = 0;
    Measured m;
    for (;;) {
        const pid_t ended = ::waitpid(pid, &status, WNOHANG);
        if (ended == pid || (ended < 0 && errno != EINTR))
            break;
        if (std::chrono::steady_clock::now() - start > kHangLimit) {
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            m.hung = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    // The peak in kilobytes is the last line ("Command exited with non-zero
    // status N" may come before it).
    const auto peak = test::readFile(peakPath);
    std::string text(peak.begin(), peak.end());
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    m.peakMiB = std::stod("0" + text.substr(text.find_last_of('\n') + 1)) / 1024.0;
    const auto err = test::readFile(errPath);
    m.err.assign(err.begin(), err.end());
    return m;
}

struct HostileCase {
    const char* name;
    int side; // the picture the frame declares, side by side
    int components;
    bool arithmetic;
    bool progressive;
};

// Each option the step decodes differently by: to a size at 1/8, and by
// factors of 1 (the whole picture encoded again) and 8.
const std::vector<std::vector<const char*>> kOptions = {{"-s", "200"}, {"-f", "1"}, {"-f", "8"}};

class HugeClaim : public testing::TestWithParam<HostileCase> {};

TEST_P(HugeClaim, EndsTheRunWithAMessageNamingTheFileInLittleMemory)
{
    test::FlatSpec spec;
    spec.width = spec.height = GetParam().side;
    spec.components = GetParam().components;
    spec.arithmetic = GetParam().arithmetic;
    spec.progressive = GetParam().progressive;
    spec.encodedRows = 16; // the data ends there
    test::TempDir dir;
    test::writeFile(dir / "huge.jpg", test::makeFlatJpeg(spec));
    for (const auto& option : kOptions) {
        const Measured m = runBatch(dir.path(), option[0], option[1]);
        ASSERT_FALSE(m.hung) << option[0] << option[1];
        EXPECT_EQ(m.exitCode, 1) << option[0] << option[1] << ": " << m.err;
        EXPECT_NE(m.err.find((dir / "huge.jpg").string()), std::string::npos) << m.err;
        EXPECT_LT(m.peakMiB, 64.0) << option[0] << option[1];
        RecordProperty(std::string(option[0]) + option[1] + "_ms", static_cast<int>(m.seconds * 1000));
        RecordProperty(std::string(option[0]) + option[1] + "_peak_MiB", static_cast<int>(m.peakMiB));
    }
}

INSTANTIATE_TEST_SUITE_P(Files, HugeClaim,
                         testing::Values(HostileCase{"Colour", 65500, 3, false, false},
                                         HostileCase{"ColourProgressive", 65500, 3, false, true},
                                         HostileCase{"Grey", 65500, 1, false, false},
                                         HostileCase{"GreyProgressive", 65500, 1, false, true},
                                         HostileCase{"ColourOf18900", 18900, 3, false, false},
                                         HostileCase{"ArithmeticColour", 65500, 3, true, false},
                                         HostileCase{"ArithmeticCmykOf18900", 18900, 4, true, false}),
                         [](const testing::TestParamInfo<HostileCase>& row) { return std::string(row.param.name); });

TEST(LargePhotograph, PastTheFreeBlocksIsMadeUnderEachOption)
{
    // 24 megapixels of texture, which its bytes pay for.
    test::TempDir dir;
    test::writeJpeg(dir / "large.jpg", test::sized(6000, 4000));
    for (const auto& option : kOptions) {
        const Measured m = runBatch(dir.path(), option[0], option[1]);
        ASSERT_FALSE(m.hung);
        EXPECT_EQ(m.exitCode, 0) << option[0] << option[1] << ": " << m.err;
        EXPECT_TRUE(std::filesystem::exists(dir / "tamblure" / "large.jpg"));
        RecordProperty(std::string(option[0]) + option[1] + "_ms", static_cast<int>(m.seconds * 1000));
        RecordProperty(std::string(option[0]) + option[1] + "_peak_MiB", static_cast<int>(m.peakMiB));
    }
}

// --- The memory counted for a picture -------------------------------------

struct MemoryCase {
    const char* name;
    test::JpegSpec spec;
    const char* criterion;
    const char* number;
    std::uint8_t scale; // the decoder's, as the step chooses it
    imaging::ReductionPlan plan;
};

test::JpegSpec photograph(int components, bool progressive)
{
    test::JpegSpec spec = test::sized(4000, 3000, components);
    spec.progressive = progressive;
    return spec;
}

class CountedMemory : public testing::TestWithParam<MemoryCase> {};

// The peak of a run making the thumbnail, less the peak of a run making a
// tiny one (the program's own), is at most the count, and not far below it.
TEST_P(CountedMemory, BoundsWhatTheRunTakesForThePicture)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's shadow and quarantine take memory of their own";
#endif
    const MemoryCase& c = GetParam();
    test::TempDir tiny, dir;
    test::writeJpeg(tiny / "tiny.jpg", test::sized(400, 300, c.spec.components));
    test::writeJpeg(dir / "p.jpg", c.spec);
    const std::optional<jpeg::JpegFrame> frame = jpeg::ProbeJpegFrame(test::readFile(dir / "p.jpg"));
    ASSERT_TRUE(frame);
    jpeg::DecodeRoute route{c.scale, c.plan, std::filesystem::file_size(dir / "p.jpg")};
    const double counted = static_cast<double>(jpeg::thumbnailMemory(*frame, route)) / 1048576.0;
    const Measured own = runBatch(tiny.path(), c.criterion, c.number);
    const Measured m = runBatch(dir.path(), c.criterion, c.number);
    ASSERT_EQ(m.exitCode, 0) << m.err;
    const double taken = m.peakMiB - own.peakMiB;
    EXPECT_LE(taken, counted) << "counted " << counted << " MiB";
    EXPECT_GE(taken, counted / 2 - 8) << "counted " << counted << " MiB";
    RecordProperty("counted_MiB", static_cast<int>(counted));
    RecordProperty("taken_MiB", static_cast<int>(taken));
}

INSTANTIATE_TEST_SUITE_P(Routes, CountedMemory,
                         testing::Values(MemoryCase{"ProgressiveAtOneEighth", photograph(3, true), "-s", "200", 3,
                                                    imaging::ReductionPlan::toSize(200, 150)},
                                         MemoryCase{"ProgressiveEncodedAgain", photograph(3, true), "-f", "1", 0,
                                                    imaging::ReductionPlan::byFactor(1)},
                                         MemoryCase{"BaselineByThree", photograph(3, false), "-f", "3", 0,
                                                    imaging::ReductionPlan::byFactor(3)},
                                         MemoryCase{"GreyStreamedEncodedAgain", photograph(1, false), "-f", "1", 0,
                                                    imaging::ReductionPlan::byFactor(1)},
                                         MemoryCase{"CmykProgressiveStreamed", photograph(4, true), "-s", "200", 0,
                                                    imaging::ReductionPlan::toSize(200, 150)}),
                         [](const testing::TestParamInfo<MemoryCase>& row) { return std::string(row.param.name); });

// Four photographs of some 30 MiB of work each, made four at once: the
// budget lets two go at a time, and the run holds no more than it; also when
// their frames lie past the head read before the file (behind comments).
class MemoryBudget : public testing::TestWithParam<std::size_t> {};

TEST_P(MemoryBudget, HoldsTheRunToItWhateverTheJobs)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's shadow and quarantine take memory of their own";
#endif
    test::TempDir tiny, dir;
    test::writeJpeg(tiny / "tiny.jpg", test::sized(400, 300));
    for (int i = 0; i < 4; ++i) {
        test::JpegSpec spec = test::sized(3000, 2000);
        spec.progressive = true;
        spec.seed = static_cast<std::uint32_t>(i + 1);
        const auto path = dir / ("p" + std::to_string(i) + ".jpg");
        test::writeJpeg(path, spec);
        const auto bytes = test::readFile(path);
        test::writeFile(path, test::withComments(bytes, bytes.size() + GetParam()));
    }
    const Measured own = runBatch(tiny.path(), "-s", "200", {"-j", "4", "--memory", "64"});
    const Measured m = runBatch(dir.path(), "-s", "200", {"-j", "4", "--memory", "64"});
    ASSERT_EQ(m.exitCode, 0) << m.err;
    EXPECT_LE(m.peakMiB - own.peakMiB, 64.0);
    RecordProperty("taken_MiB", static_cast<int>(m.peakMiB - own.peakMiB));

    const Measured refused = runBatch(dir.path(), "-s", "200", {"-j", "4", "--memory", "16"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("Mio de mémoire, plus que les 16 Mio permis"), std::string::npos) << refused.err;
}

INSTANTIATE_TEST_SUITE_P(FrameInTheHead, MemoryBudget, testing::Values(0));
INSTANTIATE_TEST_SUITE_P(FramePastTheHead, MemoryBudget, testing::Values(600 * 1024));

} // namespace
} // namespace tamblure
