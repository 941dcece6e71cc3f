#include "batch/folder_search.h"

#include "common/errors.h"
#include "common/system_reason.h"
#include "common/translation.h"

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

// A photograph's name: ending in ".jpg" or ".jpeg" (phones and exports
// write the longer one), in any case.
bool namedLikeAPhotograph(std::string_view name)
{
    const auto endsWith = [name](std::string_view extension) {
        if (name.size() < extension.size())
            return false;
        const std::string_view tail = name.substr(name.size() - extension.size());
        return std::equal(tail.begin(), tail.end(), extension.begin(),
                          [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
    };
    return endsWith(".jpg") || endsWith(".jpeg");
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

EInOutError unreadable(const std::filesystem::path& folder, int error)
{
    return EInOutError(withReason(format(tr("Impossible de lire le dossier %1"), {folder.string()}), error));
}

// The entries of folder, read through a descriptor of their own; raises
// unreadable() when the folder cannot be listed to its end.
template <typename Take>
void listFolder(const Directory& folder, Take take)
{
    const int listing = ::openat(folder.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listing < 0 ? nullptr : ::fdopendir(listing);
    if (dir == nullptr) {
        const int error = errno;
        if (listing >= 0)
            ::close(listing);
        throw unreadable(folder.path(), error);
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> closer(dir, ::closedir);
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            if (errno != 0)
                throw unreadable(folder.path(), errno);
            return;
        }
        take(std::string(entry->d_name));
    }
}

// The sub-folders a recursive run walks into, in the photographs' order:
// neither hidden ones, nor thumbnail folders, nor links to folders.
std::vector<std::string> subFolders(const Directory& folder)
{
    std::vector<std::string> below;
    listFolder(folder, [&](std::string name) {
        struct stat info {};
        if (name.empty() || name.front() == '.' || name == kThumbnailFolderName ||
            ::fstatat(folder.fd(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(info.st_mode))
            return;
        below.push_back(std::move(name));
    });
    std::sort(below.begin(), below.end(), lessIgnoringCase);
    return below;
}

// Each folder is opened from top name by name, listed, and closed before
// the walk goes below it: the walk holds two descriptors at most, however
// deep the tree, and reaches folders whose path is longer than the system
// takes in one piece.
void addTree(const Directory& top, const std::filesystem::path& relative, std::vector<std::filesystem::path>& tree)
{
    tree.push_back(relative.empty() ? top.path() : top.path() / relative);
    std::vector<std::string> below;
    try {
        below = relative.empty() ? subFolders(top) : subFolders(openFolderBelow(top, relative));
    } catch (const EInOutError&) {
        return; // listed all the same: its own search says why
    }
    for (const std::string& name : below)
        addTree(top, relative / name, tree);
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
    std::vector<FoundFile> found;
    listFolder(folder, [&](std::string name) {
        if (name.empty() || name.front() == '.' || !namedLikeAPhotograph(name))
            return;
        // Links are followed: a link to a photograph counts.
        struct stat info {};
        if (::fstatat(folder.fd(), name.c_str(), &info, 0) != 0) {
            // Without the right to search the folder, no entry can be
            // looked at: the folder's error, not each file's.
            if (errno == EACCES)
                throw unreadable(folder.path(), errno);
            found.push_back({std::move(name), 0, {}, false, errno});
            return;
        }
        if (S_ISDIR(info.st_mode))
            return;
        if (!S_ISREG(info.st_mode)) {
            found.push_back({std::move(name), 0, {}, false, 0});
            return;
        }
        found.push_back({std::move(name), static_cast<std::int64_t>(info.st_size), stampOf(info)});
    });
    std::sort(found.begin(), found.end(),
              [](const FoundFile& a, const FoundFile& b) { return lessIgnoringCase(a.name, b.name); });
    return found;
}

std::vector<std::filesystem::path> folderTree(const std::filesystem::path& top)
{
    std::vector<std::filesystem::path> tree;
    const Directory opened(top);
    if (!opened.opened())
        return {top}; // its search says why
    addTree(opened, {}, tree);
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

} // namespace tamblure::batch
