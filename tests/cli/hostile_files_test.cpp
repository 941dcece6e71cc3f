// Tiny files whose frame header claims 65500 x 65500 pixels, run through the
// command-line companion so that its memory can be read from the outside.
// Their times are recorded among the test's properties (--gtest_output=xml),
// not judged, since a loaded or sanitised machine stretches them: only a run
// that has not ended after a minute, a thousand times what it takes, is
// stopped and counted as hanging.

#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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

Measured runBatch(const std::filesystem::path& folder, const char* criterion, const char* number)
{
    test::TempDir scratch;
    const auto errPath = scratch / "err";
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(null, 1);
        ::dup2(err, 2);
        ::execl(TAMBLURE_BATCH_EXE, TAMBLURE_BATCH_EXE, "-j", "1", criterion, number, folder.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    Measured m;
    for (;;) {
        const pid_t ended = ::wait4(pid, &status, WNOHANG, &usage);
        if (ended == pid || (ended < 0 && errno != EINTR))
            break;
        if (std::chrono::steady_clock::now() - start > kHangLimit) {
            ::kill(pid, SIGKILL);
            ::wait4(pid, &status, 0, &usage);
            m.hung = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    m.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    const auto err = test::readFile(errPath);
    m.err.assign(err.begin(), err.end());
    return m;
}

// A small real file whose frame header is patched to claim 65500 x 65500.
void writeClaimingHugeSize(const std::filesystem::path& path, test::JpegSpec spec)
{
    auto bytes = test::makeJpeg(spec);
    const int sof = spec.progressive ? 0xC2 : 0xC0;
    const std::ptrdiff_t at = test::findMarker(bytes, sof);
    ASSERT_GE(at, 0);
    const auto p = static_cast<std::size_t>(at);
    // FF Cx, length (2), precision (1), height (2), width (2)
    bytes[p + 5] = bytes[p + 7] = 0xFF;
    bytes[p + 6] = bytes[p + 8] = 0xDC;
    test::writeFile(path, bytes);
}

struct HugeCase {
    const char* name;
    int components;
    bool progressive;
};

class HugeProgressive : public testing::TestWithParam<HugeCase> {};

TEST_P(HugeProgressive, EndsTheRunWithAMessageNamingTheFileInLittleMemory)
{
    test::TempDir dir;
    test::JpegSpec spec;
    spec.components = GetParam().components;
    spec.progressive = GetParam().progressive;
    writeClaimingHugeSize(dir / "huge.jpg", spec);
    for (const char* criterion : {"-s", "-f"}) {
        const Measured m = runBatch(dir.path(), criterion, "3");
        ASSERT_FALSE(m.hung) << criterion;
        EXPECT_EQ(m.exitCode, 1) << criterion << ": " << m.err;
        EXPECT_NE(m.err.find((dir / "huge.jpg").string()), std::string::npos) << m.err;
        EXPECT_LT(m.peakMiB, 64.0) << criterion;
        RecordProperty(std::string(criterion) + "_ms", static_cast<int>(m.seconds * 1000));
        RecordProperty(std::string(criterion) + "_peak_MiB", static_cast<int>(m.peakMiB));
    }
}

INSTANTIATE_TEST_SUITE_P(Files, HugeProgressive,
                         testing::Values(HugeCase{"colour", 3, true}, HugeCase{"grey", 1, true},
                                         HugeCase{"greyBaseline", 1, false}));

TEST(HugeBaselineColour, IsDecodedAtOneEighthUnderTheLargestDimension)
{
    test::TempDir dir;
    writeClaimingHugeSize(dir / "huge.jpg", test::JpegSpec{});
    const Measured m = runBatch(dir.path(), "-s", "200");
    ASSERT_FALSE(m.hung);
    // The data ends at once: libjpeg fills the rest, and the run makes a
    // (grey) thumbnail of the claimed size.
    EXPECT_EQ(m.exitCode, 0) << m.err;
    EXPECT_LT(m.peakMiB, 400.0);
    EXPECT_TRUE(std::filesystem::exists(dir / "tamblure" / "huge.jpg"));
    RecordProperty("ms", static_cast<int>(m.seconds * 1000));
    RecordProperty("peak_MiB", static_cast<int>(m.peakMiB));
}

} // namespace
} // namespace tamblure
