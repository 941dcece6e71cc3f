#pragma once

// Helpers shared by the test suites.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tamblure::test {

// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// The folder of camera photographs that the build was configured with
// (TAMBLURE_CORPUS_DIR, by default ../shared/corpus beside the project).
std::filesystem::path corpusSetting();

// That folder, when it is there.
std::optional<std::filesystem::path> corpusDir();

// Why the corpus is not there: the folder absent, or none given.
std::string corpusAbsence();

// Empty when the running test may read the corpus: run by hand, or by CTest
// with the label corpus (CTest hands the labels over in TAMBLURE_TEST_LABELS);
// otherwise the reason it may not.
std::string corpusLabelMissing();

// The photographs of the corpus (all *.jpg below it, sorted), without the
// damaged ones (invalid/ and corrupted.jpg) unless asked for.
std::vector<std::filesystem::path> corpusPhotographs(bool includeDamaged = false);

// Runs check in a child process as the ordinary user kOrdinaryUser (group
// kOrdinaryUser, and the groups given) when the tests run as root, for what
// only an ordinary user meets (a folder it may not search, a group it may not
// give); as the user itself otherwise. The child's exit code: check's
// result, or 90 when the user could not be taken.
inline constexpr unsigned kOrdinaryUser = 61001;
int asOrdinaryUser(const std::function<int()>& check, const std::vector<unsigned>& groups = {});

std::vector<std::uint8_t> readFile(const std::filesystem::path& path);
std::string readText(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
void writeFile(const std::filesystem::path& path, const std::string& text);

// The record files (.tamblure-vignettes-*) of a thumbnail folder.
std::vector<std::filesystem::path> recordFiles(const std::filesystem::path& folder);

} // namespace tamblure::test

// Skips the current test with a message when the corpus folder is absent.
// Under CTest a test that reads the corpus must carry the label corpus, so
// that `ctest -LE corpus` leaves it out: without it, the test fails, corpus
// or not.
#define TAMBLURE_REQUIRE_CORPUS()                                                                                      \
    do {                                                                                                               \
        if (const std::string unlabelled = ::tamblure::test::corpusLabelMissing(); !unlabelled.empty())                \
            GTEST_FAIL() << unlabelled;                                                                                \
        if (!::tamblure::test::corpusDir())                                                                            \
            GTEST_SKIP() << ::tamblure::test::corpusAbsence();                                                         \
    } while (false)
