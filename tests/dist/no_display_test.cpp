// The window's program started where no display can be reached.

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <sys/wait.h>

namespace tamblure {
namespace {

struct Display {
    const char* variables; // set for the program, after every display variable is removed
    const char* named;     // what the line names in its parenthesis
};

class NoDisplay : public testing::TestWithParam<Display> {};

// Qt alone prints several English lines and aborts (exit code 134).
TEST_P(NoDisplay, OneFrenchLineSaysSoAndTheExitCodeIs1)
{
    test::TempDir scratch;
    const std::string command = std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ") +
                                GetParam().variables + " " TAMBLURE_EXE " </dev/null >/dev/null 2>" +
                                (scratch / "err").string();
    const int status = std::system(command.c_str());
    const auto bytes = test::readFile(scratch / "err");
    const std::string err(bytes.begin(), bytes.end());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_TRUE(err.starts_with("tamblure : aucun affichage graphique n'est accessible (" +
                                std::string(GetParam().named) + ")"))
        << err;
}

INSTANTIATE_TEST_SUITE_P(Displays, NoDisplay,
                         testing::Values(Display{"", "ni DISPLAY ni WAYLAND_DISPLAY n'est défini"},
                                         // No X server answers on that display.
                                         Display{"DISPLAY=:2049", "DISPLAY=:2049"}));

} // namespace
} // namespace tamblure
