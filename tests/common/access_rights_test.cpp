#include "common/access_rights.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <acl/libacl.h>
#include <fcntl.h>
#include <string>
#include <sys/acl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tamblure {
namespace {

namespace fs = std::filesystem;

// Users and groups that exist nowhere but in these files' numbers.
constexpr uid_t kRunner = test::kOrdinaryUser;
constexpr gid_t kRunnersGroup = test::kOrdinaryUser;
constexpr gid_t kSharedGroup = 62000; // the runner belongs to it
constexpr gid_t kOtherGroup = 63000;  // the runner does not

void setAcl(const fs::path& path, const char* text, acl_type_t type = ACL_TYPE_ACCESS)
{
    acl_t acl = acl_from_text(text);
    ASSERT_NE(acl, nullptr) << text;
    ASSERT_EQ(acl_set_file(path.c_str(), type, acl), 0) << text << ": " << errno;
    acl_free(acl);
}

std::string aclText(int fd)
{
    acl_t acl = acl_get_fd(fd);
    if (acl == nullptr)
        return "?";
    char* text = acl_to_any_text(acl, nullptr, ',', TEXT_ABBREVIATE | TEXT_NUMERIC_IDS);
    std::string out = text != nullptr ? text : "?";
    acl_free(text);
    acl_free(acl);
    return out;
}

struct AccessRow {
    const char* name;
    mode_t photographMode;
    gid_t photographGroup;
    const char* photographAcl; // extended entries, or nullptr
    const char* folderDefault; // a default ACL on the thumbnail's folder, or nullptr
    mode_t expectedMode;
    gid_t expectedGroup;
    const char* expectedAcl; // as acl_to_any_text abbreviates it
};

// What a thumbnail made by the runner (uid kRunner, groups kRunnersGroup
// and kSharedGroup, umask 022) in a folder of group kRunnersGroup gets.
class ThumbnailAccess : public testing::TestWithParam<AccessRow> {};

TEST_P(ThumbnailAccess, GrantsNothingThePhotographDenies)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to make files of other users and groups and to run as another user";
    const AccessRow& row = GetParam();
    test::TempDir dir;
    ::chmod(dir.path().c_str(), 0777);
    const fs::path photo = dir / "photo.jpg";
    const fs::path folder = dir / "tamblure";
    test::writeFile(photo, std::string("photograph"));
    // The runner's own photograph, so that it can read it whatever its group.
    ASSERT_EQ(::chown(photo.c_str(), kRunner, row.photographGroup), 0);
    ASSERT_EQ(::chmod(photo.c_str(), row.photographMode), 0);
    if (row.photographAcl != nullptr)
        setAcl(photo, row.photographAcl);
    fs::create_directory(folder);
    ASSERT_EQ(::chown(folder.c_str(), kRunner, kRunnersGroup), 0);
    if (row.folderDefault != nullptr)
        setAcl(folder, row.folderDefault, ACL_TYPE_DEFAULT);

    const int outcome = test::asOrdinaryUser(
        [&] {
            ::umask(022);
            const int in = ::open(photo.c_str(), O_RDONLY);
            const int out = ::open((folder / "thumb.jpg").c_str(), O_CREAT | O_WRONLY | O_EXCL, 0666);
            if (in < 0 || out < 0)
                return 2;
            return limitAccess(out, FileAccess::of(in)) == 0 ? 0 : 3;
        },
        {kSharedGroup});
    ASSERT_EQ(outcome, 0);

    struct stat made {};
    ASSERT_EQ(::stat((folder / "thumb.jpg").c_str(), &made), 0);
    EXPECT_EQ(made.st_mode & 07777, row.expectedMode) << std::oct << (made.st_mode & 07777);
    EXPECT_EQ(made.st_gid, row.expectedGroup);
    const int fd = ::open((folder / "thumb.jpg").c_str(), O_RDONLY);
    EXPECT_EQ(aclText(fd), row.expectedAcl);
    ::close(fd);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ThumbnailAccess,
    testing::Values(
        AccessRow{"ModeBitsFollow", 0640, kRunnersGroup, nullptr, nullptr, 0640, kRunnersGroup, "u::rw-,g::r--,o::---"},
        AccessRow{"UmaskStillApplies", 0666, kRunnersGroup, nullptr, nullptr, 0644, kRunnersGroup,
                  "u::rw-,g::r--,o::r--"},
        AccessRow{"ExecuteBitsGo", 0750, kRunnersGroup, nullptr, nullptr, 0640, kRunnersGroup, "u::rw-,g::r--,o::---"},
        AccessRow{"TakesTheGroupOfAPhotographWhoseGroupTheRunnerHas", 0640, kSharedGroup, nullptr, nullptr, 0640,
                  kSharedGroup, "u::rw-,g::r--,o::---"},
        AccessRow{"ClosesTheGroupWhenItCannotTakeThePhotographsGroup", 0640, kOtherGroup, nullptr, nullptr, 0600,
                  kRunnersGroup, "u::rw-,g::---,o::---"},
        AccessRow{"CopiesADenyingAcl", 0644, kRunnersGroup, "u::rw,u:61002:---,g::r,m::r,o::r", nullptr, 0644,
                  kRunnersGroup, "u::rw-,u:61002:---,g::r--,m::r--,o::r--"},
        AccessRow{"ACopiedAclGivesNothingToAGroupItCouldNotTake", 0640, kOtherGroup, "u::rw,u:61002:r,g::r,m::r,o::-",
                  nullptr, 0640, kRunnersGroup, "u::rw-,u:61002:r--,g::---,m::r--,o::---"},
        // The photograph's execute bits and the others' write, which the
        // runner's umask takes away, go from the copy too.
        AccessRow{"ACopiedAclGivesNoExecuteBit", 0640, kRunnersGroup, "u::rw,u:61002:rx,g::r,m::rx,o::-", nullptr, 0640,
                  kRunnersGroup, "u::rw-,u:61002:r--,g::r--,m::r--,o::---"},
        AccessRow{"ACopiedAclGivesOthersNoMoreThanTheUmaskLeaves", 0646, kRunnersGroup,
                  "u::rw,u:61002:r,g::r,m::r,o::rw", nullptr, 0644, kRunnersGroup,
                  "u::rw-,u:61002:r--,g::r--,m::r--,o::r--"},
        AccessRow{"DropsWhatTheFolderHandsDown", 0600, kRunnersGroup, nullptr, "u::rwx,u:61003:r,g::rx,m::r,o::-", 0600,
                  kRunnersGroup, "u::rw-,g::---,o::---"}),
    [](const testing::TestParamInfo<AccessRow>& row) { return std::string(row.param.name); });

TEST(LimitAccess, LeavesAFileThatAlreadyConformsUntouched)
{
    test::TempDir dir;
    const fs::path photo = dir / "photo.jpg";
    const fs::path thumb = dir / "thumb.jpg";
    test::writeFile(photo, std::string("p"));
    test::writeFile(thumb, std::string("t"));
    ::chmod(photo.c_str(), 0640);
    ::chmod(thumb.c_str(), 0640);
    const int in = ::open(photo.c_str(), O_RDONLY);
    const int out = ::open(thumb.c_str(), O_RDONLY);
    struct stat before {
    }, after{};
    ::fstat(out, &before);
    ::usleep(20000);
    EXPECT_EQ(limitAccess(out, FileAccess::of(in)), 0);
    ::fstat(out, &after);
    // No change at all: its change time is as it was.
    EXPECT_EQ(after.st_ctim.tv_nsec, before.st_ctim.tv_nsec);
    EXPECT_EQ(after.st_ctim.tv_sec, before.st_ctim.tv_sec);
    // A photograph that lost bits since: the thumbnail loses them too.
    ::fchmod(in, 0600);
    EXPECT_EQ(limitAccess(out, FileAccess::of(in)), 0);
    ::fstat(out, &after);
    EXPECT_EQ(after.st_mode & 0777, 0600u);
    ::close(in);
    ::close(out);
}

} // namespace
} // namespace tamblure
