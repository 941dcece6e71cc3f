#include "app/folder_search.h"

#include "common/errors.h"
#include "common/system_reason.h"

#include <algorithm>
#include <cctype>
#include <compare>
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
    const auto order = std::lexicographical_compare_three_way(
        a.name.begin(), a.name.end(), b.name.begin(), b.name.end(), [](char x, char y) {
            return std::tolower(static_cast<unsigned char>(x)) <=> std::tolower(static_cast<unsigned char>(y));
        });
    // Names equal but for case still come in one fixed order.
    return order != 0 ? order < 0 : a.name < b.name;
}

} // namespace

std::vector<FoundFile> findPhotographs(const std::filesystem::path& folder)
{
    std::vector<FoundFile> found;
    std::error_code ec;
    const auto unreadable = [&folder](const std::error_code& error) {
        return EInOutError(withReason("Impossible de lire le dossier " + folder.string(), error.value()));
    };
    std::filesystem::directory_iterator it(folder, ec);
    if (ec)
        throw unreadable(ec);
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ec)
            throw unreadable(ec);
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
