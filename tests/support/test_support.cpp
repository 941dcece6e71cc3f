#include "support/test_support.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <grp.h>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace tamblure::test {
namespace fs = std::filesystem;

int asOrdinaryUser(const std::function<int()>& check, const std::vector<unsigned>& groups)
{
    if (::geteuid() != 0)
        return check();
    const pid_t child = ::fork();
    if (child < 0)
        return 90;
    if (child == 0) {
        std::vector<gid_t> all{kOrdinaryUser};
        all.insert(all.end(), groups.begin(), groups.end());
        if (::setgroups(all.size(), all.data()) != 0 || ::setresgid(kOrdinaryUser, kOrdinaryUser, kOrdinaryUser) != 0 ||
            ::setresuid(kOrdinaryUser, kOrdinaryUser, kOrdinaryUser) != 0)
            ::_exit(90);
        ::_exit(check());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 91;
}

TempDir::TempDir()
{
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = fs::temp_directory_path() / ("tamblure-test-" + std::to_string(random()));
        if (fs::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir()
{
    std::error_code ignored;
    // Tests may leave read-only folders behind; make them writable first.
    for (auto it = fs::recursive_directory_iterator(path_, ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

fs::path corpusSetting()
{
    return fs::path(TAMBLURE_CORPUS_DIR);
}

std::optional<fs::path> corpusDir()
{
    const fs::path dir = corpusSetting();
    std::error_code ec;
    if (fs::is_directory(dir, ec))
        return fs::canonical(dir, ec);
    return std::nullopt;
}

std::string corpusAbsence()
{
    const fs::path dir = corpusSetting();
    if (dir.empty())
        return "no folder of camera photographs given (TAMBLURE_CORPUS_DIR is empty): test of real photographs skipped";
    return dir.string() + " is absent: test of real photographs skipped";
}

std::string corpusLabelMissing()
{
    const char* labels = std::getenv("TAMBLURE_TEST_LABELS");
    if (labels == nullptr)
        return {};
    std::istringstream list(labels);
    for (std::string label; std::getline(list, label, ',');) {
        if (label == "corpus")
            return {};
    }
    return std::string("this test reads the photographs of the corpus but its CTest entry is not labelled corpus "
                       "(labels: \"") +
           labels + "\"): give it the label, so that ctest -LE corpus leaves it out";
}

std::vector<fs::path> corpusPhotographs(bool includeDamaged)
{
    std::vector<fs::path> result;
    const auto dir = corpusDir();
    if (!dir)
        return result;
    for (const auto& entry : fs::recursive_directory_iterator(*dir)) {
        if (!entry.is_regular_file())
            continue;
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
        if (ext != ".jpg" && ext != ".jpeg")
            continue;
        const bool damaged =
            entry.path().parent_path().filename() == "invalid" || entry.path().filename() == "corrupted.jpg";
        if (damaged && !includeDamaged)
            continue;
        result.push_back(entry.path());
    }
    std::sort(result.begin(), result.end());
    return result;
}

std::vector<std::uint8_t> readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string readText(const fs::path& path)
{
    const auto bytes = readFile(path);
    return std::string(bytes.begin(), bytes.end());
}

void writeFile(const fs::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

void writeFile(const fs::path& path, const std::string& text)
{
    writeFile(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::vector<fs::path> recordFiles(const fs::path& folder)
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().starts_with(".tamblure-vignettes-"))
            files.push_back(entry.path());
    return files;
}

} // namespace tamblure::test
