#pragma once

// Who may read a file: its mode bits, its group and, where the file system
// keeps one, its extended ACL. A thumbnail shows what its photograph shows
// (a small photograph copied whole is all of it), so it must grant nobody
// access that its photograph denies: not through its group (a set-group-ID
// folder, or the runner's own group, may differ from the photograph's), nor
// through an ACL the thumbnail folder hands down, nor through bits the
// photograph lost since the thumbnail was made.

#include <memory>
#include <sys/types.h>

namespace tamblure {

class FileAccess;
int limitAccess(int fd, const FileAccess& like);

class FileAccess {
public:
    // The access of the file open at fd. Never fails: a file whose ACL
    // cannot be read counts as having none beyond its mode bits.
    static FileAccess of(int fd);

    ~FileAccess();
    FileAccess(FileAccess&&) noexcept;
    FileAccess& operator=(FileAccess&&) noexcept;
    FileAccess(const FileAccess&) = delete;
    FileAccess& operator=(const FileAccess&) = delete;

    mode_t mode() const { return mode_; } // the permission bits, 0777 at most
    gid_t group() const { return group_; }
    bool hasExtendedAcl() const { return acl_ != nullptr; }

private:
    friend int limitAccess(int fd, const FileAccess& like);
    FileAccess() = default;
    struct AclFree {
        void operator()(void* acl) const;
    };

    mode_t mode_ = 0;
    gid_t group_ = 0;
    std::unique_ptr<void, AclFree> acl_; // acl_t, only when extended
};

// Brings the file open at fd to no more access than `like` grants, changing
// only what differs (a kept thumbnail whose photograph is unchanged is left
// alone, its change time too):
// - its permission bits become at most like's, without execute bits;
// - it takes like's group (allowed to the runner when it belongs to that
//   group); when it cannot, its group gets no access at all;
// - like's extended ACL is copied (execute bits dropped, its owning-group
//   entry emptied when the group could not be taken); where the file system
//   keeps no ACL, group and others get no access at all. Without one on
//   like, an ACL the file inherited from its folder goes.
// 0 when done, otherwise the errno value of the change that failed.
int limitAccess(int fd, const FileAccess& like);

} // namespace tamblure
