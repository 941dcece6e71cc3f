#include "batch/thumbnail_records.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <set>
#include <sys/stat.h>

namespace tamblure::batch {
namespace {

namespace fs = std::filesystem;

ThumbnailRecord sample()
{
    ThumbnailRecord r;
    r.request = {Criterion::ReductionFactor, 8, 90, metadata::MetadataPolicy::WithoutGps};
    r.photograph = {11, 12, 13, 14, 15};
    r.thumbnail = {21, 22, 23, 24, 25};
    r.width = 160;
    r.height = 120;
    r.orientation = 6;
    return r;
}

TEST(ThumbnailRecords, ReadBackWhatTheyWriteWhateverTheName)
{
    const std::map<std::string, ThumbnailRecord> written{{"a b%.jpg", sample()}, {"line\nbreak\r.jpg", sample()}};
    const auto read = ThumbnailRecords::parse(ThumbnailRecords::format(written));
    ASSERT_EQ(read.size(), 2u);
    for (const auto& [name, record] : written)
        EXPECT_EQ(read.at(name), std::vector<ThumbnailRecord>{record}) << name;
}

struct Change {
    const char* name;
    void (*apply)(ThumbnailRecord& asNow);
};

class RecordUpToDate : public testing::TestWithParam<Change> {};

// Each field that a record compares, changed alone, makes the thumbnail out
// of date; nothing else is compared (the test's first row).
TEST_P(RecordUpToDate, OnlyWhileEveryStampFieldAndTheRequestAreTheSame)
{
    test::TempDir dir;
    const Directory folder(dir.path());
    const ThumbnailRecord recorded = sample();
    test::writeFile(dir / ".tamblure-vignettes-0123456789abcdef", ThumbnailRecords::format({{"p.jpg", recorded}}));
    ThumbnailRecords records(folder);
    records.load();
    ThumbnailRecord now = recorded;
    GetParam().apply(now);
    const bool same = std::string(GetParam().name) == "Nothing";
    EXPECT_EQ(records.upToDate("p.jpg", now.photograph, now.thumbnail, now.request) != nullptr, same);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RecordUpToDate,
    testing::Values(Change{"Nothing", [](ThumbnailRecord&) {}},
                    Change{"PhotographDevice", [](ThumbnailRecord& r) { ++r.photograph.device; }},
                    Change{"PhotographInode", [](ThumbnailRecord& r) { ++r.photograph.inode; }},
                    Change{"PhotographSize", [](ThumbnailRecord& r) { ++r.photograph.size; }},
                    Change{"PhotographModified", [](ThumbnailRecord& r) { ++r.photograph.modified; }},
                    Change{"PhotographChanged", [](ThumbnailRecord& r) { ++r.photograph.changed; }},
                    Change{"ThumbnailDevice", [](ThumbnailRecord& r) { ++r.thumbnail.device; }},
                    Change{"ThumbnailInode", [](ThumbnailRecord& r) { ++r.thumbnail.inode; }},
                    Change{"ThumbnailSize", [](ThumbnailRecord& r) { ++r.thumbnail.size; }},
                    Change{"ThumbnailModified", [](ThumbnailRecord& r) { ++r.thumbnail.modified; }},
                    Change{"ThumbnailChanged", [](ThumbnailRecord& r) { ++r.thumbnail.changed; }},
                    Change{"Criterion", [](ThumbnailRecord& r) { r.request.criterion = Criterion::LargestDimension; }},
                    Change{"Number", [](ThumbnailRecord& r) { ++r.request.number; }},
                    Change{"Quality", [](ThumbnailRecord& r) { ++r.request.quality; }},
                    Change{"Policy",
                           [](ThumbnailRecord& r) { r.request.policy = metadata::MetadataPolicy::Everything; }}),
    [](const testing::TestParamInfo<Change>& row) { return std::string(row.param.name); });

// Two runs made one thumbnail at once, and each wrote its record: the one
// that counts is the one whose stamp is the file's now in place, and that
// one alone is written on.
TEST(ThumbnailRecords, OfARaceKeepTheRecordOfTheFileInPlace)
{
    test::TempDir dir;
    const Directory folder(dir.path());
    test::writeFile(dir / "p.jpg", std::string("the thumbnail that won"));
    struct stat info {};
    ASSERT_EQ(::stat((dir / "p.jpg").c_str(), &info), 0);
    ThumbnailRecord won = sample(), lost = sample();
    won.thumbnail = stampOf(info);
    lost.thumbnail.size = 99;
    // The losing record written last, as a later modification time would
    // have let it win.
    lost.thumbnail.modified = won.thumbnail.modified + 1;
    test::writeFile(dir / ".tamblure-vignettes-000000000000000a", ThumbnailRecords::format({{"p.jpg", won}}));
    test::writeFile(dir / ".tamblure-vignettes-000000000000000b", ThumbnailRecords::format({{"p.jpg", lost}}));
    ThumbnailRecords records(folder);
    records.load();
    EXPECT_NE(records.upToDate("p.jpg", won.photograph, won.thumbnail, won.request), nullptr);
    // Something new to write: a record of another picture.
    records.set("q.jpg", sample());
    records.save();
    const std::vector<fs::path> files = test::recordFiles(dir.path());
    ASSERT_EQ(files.size(), 1u);
    const auto saved = ThumbnailRecords::parse(test::readText(files[0]));
    EXPECT_EQ(saved.at("p.jpg"), std::vector<ThumbnailRecord>{won});
}

struct Planted {
    const char* row;
    std::string name;   // the name a record file gives
    const char* target; // the file that name reaches, from the folder above the thumbnails'
    bool removed;
};

class PlantedRecord : public testing::TestWithParam<Planted> {};

// A record whose stamp is that of the very file its name reaches: pruning
// removes it only when the name is that of a thumbnail of the folder whose
// photograph is gone, never a file outside the folder nor a thumbnail in use.
TEST_P(PlantedRecord, IsPrunedOnlyWhenItNamesAThumbnailOfTheFolder)
{
    test::TempDir dir;
    fs::create_directory(dir / "tamblure");
    const Directory folder(dir / "tamblure");
    for (const char* file : {"photo.jpg", "tamblure/p.jpg", "tamblure/gone.jpg"})
        test::writeFile(dir / file, std::string("some bytes"));
    struct stat info {};
    ASSERT_EQ(::stat((dir / GetParam().target).c_str(), &info), 0);
    ThumbnailRecord r = sample();
    r.thumbnail = stampOf(info);
    test::writeFile(dir / "tamblure/.tamblure-vignettes-0123456789abcdef",
                    ThumbnailRecords::format({{GetParam().name, r}}));
    ThumbnailRecords records(folder);
    records.load();
    const auto removed = records.prune({"p.jpg"}, [](const std::string&) { return true; });
    EXPECT_EQ(fs::exists(dir / GetParam().target), !GetParam().removed);
    EXPECT_EQ(removed.size(), GetParam().removed ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Table, PlantedRecord,
                         testing::Values(Planted{"ThumbnailOfAPhotographGone", "gone.jpg", "tamblure/gone.jpg", true},
                                         Planted{"FileAbove", "../photo.jpg", "photo.jpg", false},
                                         Planted{"ThumbnailInUseThroughDot", "./p.jpg", "tamblure/p.jpg", false},
                                         Planted{"ThumbnailInUseCutByNul", std::string("p.jpg\0x", 7), "tamblure/p.jpg",
                                                 false}),
                         [](const testing::TestParamInfo<Planted>& row) { return std::string(row.param.row); });

// One record said on several lines of a file, and in several files, is one
// record; another of the same name is kept beside it.
TEST(ThumbnailRecords, TellEachRecordOnceHoweverOftenItIsRepeated)
{
    ThumbnailRecord other = sample();
    other.width = 1;
    const std::string text = ThumbnailRecords::format({{"p.jpg", sample()}});
    const std::string line = text.substr(text.find('\n') + 1);
    const std::string otherText = ThumbnailRecords::format({{"p.jpg", other}});
    const std::string otherLine = otherText.substr(otherText.find('\n') + 1);
    const auto read = ThumbnailRecords::parse(text + otherLine + line + otherLine);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(std::set(read.at("p.jpg").begin(), read.at("p.jpg").end()), (std::set{sample(), other}));
    EXPECT_EQ(read.at("p.jpg").size(), 2u);

    // Two files that say the same: setting that record again is nothing new.
    test::TempDir dir;
    const Directory folder(dir.path());
    for (const char* name : {".tamblure-vignettes-000000000000000a", ".tamblure-vignettes-000000000000000b"})
        test::writeFile(dir / name, text + line);
    ThumbnailRecords records(folder);
    records.load();
    records.set("p.jpg", sample());
    records.save();
    EXPECT_TRUE(fs::exists(dir / ".tamblure-vignettes-000000000000000a"));
    EXPECT_TRUE(fs::exists(dir / ".tamblure-vignettes-000000000000000b"));
}

TEST(ThumbnailRecords, WriteNothingWhenNothingIsNew)
{
    test::TempDir dir;
    const Directory folder(dir.path());
    const fs::path file = dir / ".tamblure-vignettes-0123456789abcdef";
    test::writeFile(file, ThumbnailRecords::format({{"p.jpg", sample()}}));
    ThumbnailRecords records(folder);
    records.load();
    records.set("p.jpg", sample());
    records.save();
    EXPECT_TRUE(fs::exists(file)); // neither rewritten under another name nor removed
    records.set("p.jpg", ThumbnailRecord{});
    records.save();
    EXPECT_FALSE(fs::exists(file));
}

} // namespace
} // namespace tamblure::batch
