#include "batch/folder_search.h"

#include "common/errors.h"
#include "common/system_reason.h"

#include <algorithm>
#include <cctype>
#include <compare>
#include <sys/stat.h>

namespace tamblure::batch {

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

bool lessIgnoringCase(const std::string& a, const std::string& b)
{
    const auto order =
        std::lexicographical_compare_three_way(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return std::tolower(static_cast<unsigned char>(x)) <=> std::tolower(static_cast<unsigned char>(y));
        });
    // Names equal but for case still come in one fixed order.
    return order != 0 ? order < 0 : a < b;
}

void addTree(const std::filesystem::path& folder, std::vector<std::filesystem::path>& tree)
{
    tree.push_back(folder);
    std::vector<std::string> below;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        struct stat info {};
        // lstat: a link to a folder is not followed.
        if (name.empty() || name.front() == '.' || name == kThumbnailFolderName ||
            ::lstat(it->path().c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
            continue;
        below.push_back(std::move(name));
    }
    std::sort(below.begin(), below.end(), lessIgnoringCase);
    for (const std::string& name : below)
        addTree(folder / name, tree);
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
        found.push_back({std::move(name), static_cast<std::int64_t>(info.st_size), stampOf(info)});
    }
    std::sort(found.begin(), found.end(),
              [](const FoundFile& a, const FoundFile& b) { return lessIgnoringCase(a.name, b.name); });
    return found;
}

std::vector<std::filesystem::path> folderTree(const std::filesystem::path& top)
{
    std::vector<std::filesystem::path> tree;
    addTree(top, tree);
    return tree;
}

bool inShard(const std::string& fileName, unsigned part, unsigned parts)
{
    // FNV-1a, 64 bits: the same on every machine and every run.
    std::uint64_t hash = 0xcbf29ce484222325;
    for (const char c : fileName) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3;
    }
    return parts <= 1 || hash % parts == part - 1;
}

std::filesystem::path photographPath(const std::string& folder, const std::string& fileName)
{
    return std::filesystem::path(folder) / fileName;
}

std::filesystem::path thumbnailPath(const std::string& folder, const std::string& fileName)
{
    return std::filesystem::path(folder) / std::string(kThumbnailFolderName) / fileName;
}

} // namespace tamblure::batch
