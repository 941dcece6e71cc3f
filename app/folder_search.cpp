#include "app/folder_search.h"

#include <algorithm>
#include <cctype>
#include <sys/stat.h>

namespace tamblure::app {

namespace {

bool endsWithJpg(const std::string& name)
{
    if (name.size() < 4)
        return false;
    const std::string tail = name.substr(name.size() - 4);
    return tail[0] == '.' && std::tolower(static_cast<unsigned char>(tail[1])) == 'j' &&
           std::tolower(static_cast<unsigned char>(tail[2])) == 'p' &&
           std::tolower(static_cast<unsigned char>(tail[3])) == 'g';
}

bool lessIgnoringCase(const FoundFile& a, const FoundFile& b)
{
    const auto lower = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
    const bool less = std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
                                                   [&](char x, char y) { return lower(x) < lower(y); });
    const bool greater = std::lexicographical_compare(b.name.begin(), b.name.end(), a.name.begin(), a.name.end(),
                                                      [&](char x, char y) { return lower(x) < lower(y); });
    return less || (!greater && a.name < b.name);
}

} // namespace

std::vector<FoundFile> findPhotographs(const std::filesystem::path& folder)
{
    std::vector<FoundFile> found;
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec)
        return found;
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        std::string name = it->path().filename().string();
        if (name.empty() || name.front() == '.' || !endsWithJpg(name))
            continue;
        // stat follows links: a link to a photograph counts, a loop or a
        // dangling link fails and is skipped.
        struct stat info {};
        if (::stat(it->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        found.push_back({std::move(name), static_cast<std::int64_t>(info.st_size)});
    }
    std::sort(found.begin(), found.end(), lessIgnoringCase);
    return found;
}

} // namespace tamblure::app
