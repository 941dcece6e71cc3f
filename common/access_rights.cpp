#include "common/access_rights.h"

#include <acl/libacl.h>
#include <cerrno>
#include <sys/acl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tamblure {

namespace {

struct AclHolder {
    acl_t acl = nullptr;
    explicit AclHolder(acl_t a) : acl(a) {}
    ~AclHolder()
    {
        if (acl != nullptr)
            acl_free(acl);
    }
    AclHolder(const AclHolder&) = delete;
    AclHolder& operator=(const AclHolder&) = delete;
};

bool noAclHere(int error)
{
    return error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS;
}

// The bits that tag's entry holds in a mode: owner, group or others.
mode_t bitsFor(acl_tag_t tag, mode_t mode)
{
    switch (tag) {
    case ACL_USER_OBJ:
        return (mode >> 6) & 7;
    case ACL_OTHER:
        return mode & 7;
    default:
        return 7;
    }
}

// like's ACL as the file gets it: no execute bit anywhere, the owner's and
// others' entries no wider than the file's own bits (which carry the
// runner's umask), and no access for the owning group when the file could
// not take like's group.
acl_t adaptedCopy(acl_t like, mode_t fileBits, bool sameGroup)
{
    acl_t copy = acl_dup(like);
    if (copy == nullptr)
        return nullptr;
    acl_entry_t entry;
    for (int which = ACL_FIRST_ENTRY; acl_get_entry(copy, which, &entry) == 1; which = ACL_NEXT_ENTRY) {
        acl_tag_t tag = ACL_UNDEFINED_TAG;
        acl_permset_t permissions;
        if (acl_get_tag_type(entry, &tag) != 0 || acl_get_permset(entry, &permissions) != 0)
            continue;
        acl_delete_perm(permissions, ACL_EXECUTE);
        const mode_t allowed = bitsFor(tag, fileBits);
        if ((allowed & 4) == 0)
            acl_delete_perm(permissions, ACL_READ);
        if ((allowed & 2) == 0)
            acl_delete_perm(permissions, ACL_WRITE);
        if (tag == ACL_GROUP_OBJ && !sameGroup)
            acl_clear_perms(permissions);
        acl_set_permset(entry, permissions);
    }
    return copy;
}

int setModeIfDifferent(int fd, mode_t current, mode_t wanted)
{
    if ((current & 07777) == wanted)
        return 0;
    return ::fchmod(fd, wanted) == 0 ? 0 : errno;
}

} // namespace

void FileAccess::AclFree::operator()(void* acl) const
{
    acl_free(acl);
}

FileAccess::~FileAccess() = default;
FileAccess::FileAccess(FileAccess&&) noexcept = default;
FileAccess& FileAccess::operator=(FileAccess&&) noexcept = default;

FileAccess FileAccess::of(int fd)
{
    FileAccess access;
    struct stat info {};
    if (::fstat(fd, &info) == 0) {
        access.mode_ = info.st_mode & 0777;
        access.group_ = info.st_gid;
    }
    acl_t acl = acl_get_fd(fd);
    if (acl != nullptr) {
        // A minimal ACL says no more than the mode bits.
        if (acl_equiv_mode(acl, nullptr) == 1)
            access.acl_.reset(acl);
        else
            acl_free(acl);
    }
    return access;
}

int limitAccess(int fd, const FileAccess& like)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return errno;
    bool sameGroup = info.st_gid == like.group();
    if (!sameGroup) {
        if (::fchown(fd, static_cast<uid_t>(-1), like.group()) == 0)
            sameGroup = true;
        else if (errno != EPERM)
            return errno;
    }
    mode_t bits = info.st_mode & like.mode() & 0666;
    if (!sameGroup)
        bits &= ~mode_t{070};

    const AclHolder current(acl_get_fd(fd));
    if (current.acl == nullptr && !noAclHere(errno))
        return errno;
    if (current.acl == nullptr) {
        // No ACL on this file system: the mode bits say everything. An
        // ACL of the photograph that cannot be copied is no reason to grant
        // what it may have denied to one member of the group or another.
        if (like.hasExtendedAcl())
            bits &= 0600;
        return setModeIfDifferent(fd, info.st_mode, bits);
    }
    const AclHolder wanted(like.hasExtendedAcl()
                               ? adaptedCopy(static_cast<acl_t>(like.acl_.get()), info.st_mode & 0777, sameGroup)
                               : acl_from_mode(bits));
    if (wanted.acl == nullptr)
        return errno;
    if (acl_cmp(current.acl, wanted.acl) == 0)
        return 0;
    if (acl_set_fd(fd, wanted.acl) == 0)
        return 0;
    if (!noAclHere(errno))
        return errno;
    return setModeIfDifferent(fd, info.st_mode, bits & 0600);
}

} // namespace tamblure
