#include "batch/folder_search.h"

#include "common/errors.h"
#include "common/system_reason.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <compare>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

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

EInOutError unreadable(const std::filesystem::path& folder, int error)
{
    return EInOutError(withReason("Impossible de lire le dossier " + folder.string(), error));
}

} // namespace

Directory openFolder(const std::filesystem::path& path)
{
    Directory folder(path);
    if (!folder.opened())
        throw unreadable(path, folder.openError());
    return folder;
}

Directory openFolderBelow(const Directory& top, const std::filesystem::path& relative)
{
    Directory at;
    for (const auto& name : relative) {
        if (name.empty() || name == ".")
            continue;
        Directory next(at.opened() ? at : top, name.string());
        if (!next.opened())
            throw unreadable(top.path() / relative / "", next.openError());
        at = std::move(next);
    }
    if (!at.opened())
        throw unreadable(top.path() / relative / "", ENOENT);
    return at;
}

std::string shownFolder(const Directory& folder)
{
    std::string shown = folder.path().string();
    if (shown.empty() || shown.back() != '/')
        shown += '/';
    return shown;
}

std::vector<FoundFile> findPhotographs(const std::filesystem::path& folder)
{
    return findPhotographs(openFolder(folder));
}

std::vector<FoundFile> findPhotographs(const Directory& folder)
{
    // The listing gets a descriptor of its own, read from the folder's start.
    const int listing = ::openat(folder.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listing < 0 ? nullptr : ::fdopendir(listing);
    if (dir == nullptr) {
        const int error = errno;
        if (listing >= 0)
            ::close(listing);
        throw unreadable(folder.path(), error);
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> closer(dir, ::closedir);
    std::vector<FoundFile> found;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            if (errno != 0)
                throw unreadable(folder.path(), errno);
            break;
        }
        std::string name = entry->d_name;
        if (name.empty() || name.front() == '.' || !endsWithJpg(name))
            continue;
        // Links are followed: a link to a photograph counts, a loop or a
        // dangling link fails and is skipped.
        struct stat info {};
        if (::fstatat(folder.fd(), name.c_str(), &info, 0) != 0 || !S_ISREG(info.st_mode))
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
