// The copy step checked by a real client: exiftool reads every thumbnail that
// the step's route (CarriedMetadata, from the photograph's bytes in memory)
// makes of a photograph of ../shared/corpus, and must find the photograph's
// metadata in it tag for tag, as far as the policy allows.

#include "metadata/exif.h"

#include "common/errors.h"

#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace tamblure::metadata {
namespace {
namespace fs = std::filesystem;
namespace support = tamblure::test;

constexpr int kThumbWidth = 37;
constexpr int kThumbHeight = 23;

bool haveExiftool()
{
    return std::system("exiftool -ver >/dev/null 2>&1") == 0;
}

// "Group:Tag" -> its values (a tag may appear more than once with -a).
using Tags = std::map<std::string, std::vector<std::string>>;

// One exiftool call for all the files (-args -a -u -G1 -n, names passed
// through an argument file so that no shell sees them); the result of each
// file, in the order given.
std::vector<Tags> readWithExiftool(const std::vector<fs::path>& files, const fs::path& scratch)
{
    const fs::path argFile = scratch / "exiftool.args";
    {
        std::ofstream args(argFile);
        for (const char* option : {"-args", "-a", "-u", "-G1", "-n"})
            args << option << '\n';
        for (const fs::path& f : files)
            args << f.string() << '\n';
    }
    const std::string command = "exiftool -@ '" + argFile.string() + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe)
        throw std::runtime_error("cannot run exiftool");
    std::string output;
    std::array<char, 65536> buffer;
    for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0;)
        output.append(buffer.data(), got);

    std::map<std::string, Tags> byName;
    Tags* current = files.size() == 1 ? &byName[files.front().string()] : nullptr;
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos)
            end = output.size();
        const std::string line = output.substr(start, end - start);
        start = end + 1;
        if (line.rfind("======== ", 0) == 0) {
            current = &byName[line.substr(9)];
        } else if (current != nullptr && line.size() > 1 && line[0] == '-') {
            const std::size_t eq = line.find('=');
            if (eq != std::string::npos)
                (*current)[line.substr(1, eq - 1)].push_back(line.substr(eq + 1));
        }
    }
    std::vector<Tags> result;
    for (const fs::path& f : files)
        result.push_back(byName[f.string()]);
    return result;
}

std::string groupOf(const std::string& key)
{
    return key.substr(0, key.find(':'));
}

// What the thumbnail must hold of a photograph's tag.
enum class Expect {
    Equal,
    Absent,
    Nothing
};

// Tags that cannot be equal by nature, and why:
// - ExifTool, System, File, Composite: exiftool's own version and warnings,
//   the file's name, size and dates, its frame (the thumbnail's own SOF gives
//   its size and sampling), and values computed from all these. The comment,
//   which exiftool files under File, is compared on its own.
// - JFIF, JFXX: the photograph's APP0 is not carried when it has EXIF, and
//   the encoder's own APP0 is replaced by the photograph's segments.
// - FlashPix, MPF, Adobe (APP14), PictureInfo and Ducky (APP12), CIFF, and
//   Kodak's APP3 (MetaIFD, KodakEffectsIFD, KodakBordersIFD): segments other
//   than EXIF, IPTC, comment and ICC profile, which the copy step does not
//   carry.
// - ICC: carried when it is an RGB profile (every one of the corpus is).
// - XMP: an XMP packet is carried only when it is the photograph's first
//   APP1, which then stands in the EXIF segment's place; the EXIF data of a
//   later APP1 is then not carried.
Expect expectationFor(const std::string& key, bool firstApp1IsExif, bool rgbProfile)
{
    if (key == "File:Comment")
        return Expect::Equal;
    static const std::set<std::string> kNotCarried = {
        "ExifTool", "System",   "File",    "Composite",       "JFIF",           "JFXX", "Adobe", "Ducky", "PictureInfo",
        "CIFF",     "FlashPix", "MetaIFD", "KodakEffectsIFD", "KodakBordersIFD"};
    const std::string group = groupOf(key);
    if (group.rfind("ICC", 0) == 0)
        return rgbProfile ? Expect::Equal : Expect::Absent;
    if (kNotCarried.contains(group) || group.rfind("MPF", 0) == 0)
        return Expect::Nothing;
    if (group.rfind("XMP", 0) == 0)
        return firstApp1IsExif ? Expect::Nothing : Expect::Equal;
    if (group == "IPTC" || group == "Photoshop")
        return Expect::Equal;
    // The EXIF directories, GPS, interoperability, maker notes.
    return firstApp1IsExif ? Expect::Equal : Expect::Absent;
}

// exiftool gives the embedded previews' places (ThumbnailOffset,
// PreviewImageStart, ...) from the start of the file, not of the EXIF data,
// so they move with the EXIF segment: in the thumbnail it follows SOI at once.
bool isFilePosition(const std::string& key)
{
    const auto endsWith = [&](std::string_view suffix) {
        return key.size() >= suffix.size() && key.compare(key.size() - suffix.size(), suffix.size(), suffix) == 0;
    };
    return endsWith("Offset") || endsWith("Offsets") || endsWith("Start");
}

std::vector<std::string> shifted(const std::vector<std::string>& values, long long shift)
{
    std::vector<std::string> out;
    for (const std::string& v : values) {
        try {
            std::size_t used = 0;
            const long long n = std::stoll(v, &used);
            out.push_back(used == v.size() ? std::to_string(n - shift) : v);
        } catch (const std::exception&) {
            out.push_back(v);
        }
    }
    return out;
}

// A dimension as exiftool prints it with the first number set to the
// thumbnail's: a SHORT stored with a count of 2 ("100 0") keeps its second.
std::vector<std::string> withFirstNumber(const std::vector<std::string>& values, int number)
{
    std::vector<std::string> out = values;
    if (!out.empty()) {
        const std::size_t space = out.front().find(' ');
        out.front() = std::to_string(number) + (space == std::string::npos ? "" : out.front().substr(space));
    }
    return out;
}

constexpr MetadataPolicy kPolicies[] = {MetadataPolicy::Everything, MetadataPolicy::WithoutGps,
                                        MetadataPolicy::OrientationOnly};

// A kThumbWidth × kThumbHeight thumbnail made by libjpeg, as the encoder
// writes it, with the photograph's metadata as the step lays it out.
std::vector<std::uint8_t> encodedThumbnail(const fs::path& photo, const std::vector<std::uint8_t>& bytes,
                                           MetadataPolicy policy = MetadataPolicy::Everything)
{
    support::JpegSpec spec;
    spec.width = kThumbWidth;
    spec.height = kThumbHeight;
    const std::vector<std::uint8_t> encoded = support::makeJpeg(spec);
    CarriedMetadata metadata(bytes, photo, policy);
    return metadata.encoded(encoded, kThumbWidth, kThumbHeight).bytes(encoded);
}

// The photograph as its own thumbnail (its frame's size is what the EXIF
// size is set to; a wrong one does not matter to what is checked here).
std::vector<std::uint8_t> copiedPhotograph(const fs::path& photo, const std::vector<std::uint8_t>& bytes,
                                           MetadataPolicy policy = MetadataPolicy::Everything)
{
    CarriedMetadata metadata(bytes, photo, policy);
    return metadata.copied(bytes, kThumbWidth, kThumbHeight).bytes(bytes);
}

bool hasExif(const Tags& tags)
{
    for (const auto& [key, values] : tags) {
        const std::string group = groupOf(key);
        if (group == "IFD0" || group == "ExifIFD")
            return true;
    }
    return false;
}

TEST(CopyStepWithExiftool, CarriesEveryExifIptcAndCommentTagOfTheCorpusIntoTheThumbnail)
{
    TAMBLURE_REQUIRE_CORPUS();
    if (!haveExiftool())
        GTEST_SKIP() << "exiftool is not installed: check by a real client skipped";
    support::TempDir dir;
    const std::vector<fs::path> photos = support::corpusPhotographs();
    ASSERT_FALSE(photos.empty());
    const std::vector<Tags> photoTags = readWithExiftool(photos, dir.path());

    std::vector<fs::path> thumbs;
    std::vector<std::size_t> which;
    std::vector<long long> shifts; // how far the EXIF segment moves toward the start
    std::vector<bool> exifFirst;
    for (std::size_t i = 0; i < photos.size(); ++i) {
        if (!hasExif(photoTags[i]))
            continue;
        const fs::path thumb = dir / (std::to_string(i) + ".jpg");
        const auto before = support::readFile(photos[i]);
        const std::ptrdiff_t app1 = support::findMarker(before, 0xE1);
        ASSERT_GT(app1, 0);
        shifts.push_back(app1 - 2);
        static constexpr std::uint8_t kExif[] = {'E', 'x', 'i', 'f', 0};
        exifFirst.push_back(before.size() > static_cast<std::size_t>(app1) + 9 &&
                            std::equal(std::begin(kExif), std::end(kExif), before.begin() + app1 + 4));
        support::writeFile(thumb, encodedThumbnail(photos[i], before));
        EXPECT_EQ(support::readFile(photos[i]), before) << photos[i] << " was changed";
        thumbs.push_back(thumb);
        which.push_back(i);
    }
    ASSERT_GE(thumbs.size(), 40u) << "the corpus should hold many photographs with EXIF";
    const std::vector<Tags> thumbTags = readWithExiftool(thumbs, dir.path());

    for (std::size_t k = 0; k < thumbs.size(); ++k) {
        const Tags& photo = photoTags[which[k]];
        const Tags& thumb = thumbTags[k];
        SCOPED_TRACE(photos[which[k]].string());
        std::size_t compared = 0;
        const bool rgbProfile = photo.contains("ICC-header:ColorSpaceData") &&
                                photo.at("ICC-header:ColorSpaceData") == std::vector<std::string>{"RGB"};
        for (const auto& [key, values] : photo) {
            const Expect expect = expectationFor(key, exifFirst[k], rgbProfile);
            const auto found = thumb.find(key);
            if (expect == Expect::Absent) {
                EXPECT_EQ(found, thumb.end()) << key << " should not be carried";
            }
            if (expect != Expect::Equal)
                continue;
            ++compared;
            ASSERT_NE(found, thumb.end()) << key << " is missing from the thumbnail";
            if (key == "ExifIFD:ExifImageWidth")
                EXPECT_EQ(found->second, withFirstNumber(values, kThumbWidth));
            else if (key == "ExifIFD:ExifImageHeight")
                EXPECT_EQ(found->second, withFirstNumber(values, kThumbHeight));
            else if (isFilePosition(key))
                EXPECT_EQ(found->second, shifted(values, shifts[k])) << key;
            else
                EXPECT_EQ(found->second, values) << key;
        }
        for (const auto& [key, values] : thumb) {
            if (expectationFor(key, exifFirst[k], rgbProfile) != Expect::Nothing) {
                EXPECT_TRUE(photo.contains(key)) << key << " appeared in the thumbnail";
            }
        }
        EXPECT_GT(compared, 0u);
        EXPECT_EQ(thumb.at("File:ImageWidth"), std::vector<std::string>{std::to_string(kThumbWidth)});
    }
    // The photographs whose first APP1 is EXIF data are nearly all of them.
    EXPECT_GE(std::count(exifFirst.begin(), exifFirst.end(), true), 40);
}

TEST(CopyStepWithExiftool, TakesEveryDamagedFileWithoutCrashingOrHanging)
{
    TAMBLURE_REQUIRE_CORPUS();
    support::TempDir dir;
    std::size_t damaged = 0;
    for (const fs::path& photo : support::corpusPhotographs(true)) {
        const bool isDamaged = photo.parent_path().filename() == "invalid" || photo.filename() == "corrupted.jpg";
        if (!isDamaged)
            continue;
        ++damaged;
        SCOPED_TRACE(photo.string());
        const auto before = support::readFile(photo);
        for (const MetadataPolicy policy : kPolicies) {
            // Nothing may come out of the metadata of a damaged photograph.
            std::vector<std::uint8_t> result;
            EXPECT_NO_THROW(result = encodedThumbnail(photo, before, policy));
            ASSERT_GE(result.size(), 4u);
            EXPECT_EQ(result[0], 0xFF);
            EXPECT_EQ(result[1], 0xD8);
            EXPECT_NO_THROW(result = copiedPhotograph(photo, before, policy));
            ASSERT_GE(result.size(), 4u);
        }
        EXPECT_EQ(support::readFile(photo), before);
    }
    EXPECT_EQ(damaged, 8u);
}

using Route = std::vector<std::uint8_t> (*)(const fs::path&, const std::vector<std::uint8_t>&, MetadataPolicy);

struct RouteCase {
    const char* name;
    Route make;
};

const RouteCase kRoutes[] = {{"encoded", encodedThumbnail}, {"copied", copiedPhotograph}};

std::vector<fs::path> corpusFolder(const char* folder)
{
    std::vector<fs::path> out;
    for (const fs::path& p : support::corpusPhotographs())
        if (p.parent_path().filename() == folder)
            out.push_back(p);
    return out;
}

bool namesGps(const std::string& key)
{
    return key.find("GPS") != std::string::npos;
}

TEST(PoliciesWithExiftool, WithoutGpsTakesOutEveryGpsTagAndNothingElse)
{
    TAMBLURE_REQUIRE_CORPUS();
    if (!haveExiftool())
        GTEST_SKIP() << "exiftool is not installed: check by a real client skipped";
    support::TempDir dir;
    const std::vector<fs::path> photos = corpusFolder("gps");
    ASSERT_GE(photos.size(), 9u);
    for (const RouteCase& route : kRoutes) {
        SCOPED_TRACE(route.name);
        std::vector<fs::path> files;
        std::vector<long long> dropped;
        for (const fs::path& photo : photos) {
            const auto bytes = support::readFile(photo);
            const auto plain = route.make(photo, bytes, MetadataPolicy::Everything);
            const auto withoutGps = route.make(photo, bytes, MetadataPolicy::WithoutGps);
            // The GPS directory's bytes are gone, not only hidden.
            EXPECT_LT(withoutGps.size() + 100, plain.size()) << photo;
            dropped.push_back(static_cast<long long>(plain.size() - withoutGps.size()));
            for (const auto& [file, content] : {std::pair{"plain", plain}, std::pair{"nogps", withoutGps}}) {
                files.push_back(dir / (photo.stem().string() + "." + file + ".jpg"));
                support::writeFile(files.back(), content);
            }
        }
        const std::vector<Tags> tags = readWithExiftool(files, dir.path());
        for (std::size_t k = 0; k < photos.size(); ++k) {
            SCOPED_TRACE(photos[k].string());
            const Tags& plain = tags[2 * k];
            const Tags& withoutGps = tags[2 * k + 1];
            ASSERT_TRUE(plain.contains("GPS:GPSLatitude"));
            std::size_t compared = 0;
            for (const auto& [key, values] : plain) {
                const std::string group = groupOf(key);
                if (group == "System" || key == "File:FileSize")
                    continue;
                const auto found = withoutGps.find(key);
                if (group == "GPS" || namesGps(key)) {
                    EXPECT_EQ(found, withoutGps.end()) << key << " is still there";
                    continue;
                }
                ASSERT_NE(found, withoutGps.end()) << key << " went too";
                ++compared;
                // The embedded preview follows the GPS directory: its place
                // moves up by what was dropped.
                if (isFilePosition(key) && found->second != values)
                    EXPECT_EQ(found->second, shifted(values, dropped[k])) << key;
                else
                    EXPECT_EQ(found->second, values) << key;
            }
            for (const auto& [key, values] : withoutGps)
                EXPECT_TRUE(plain.contains(key)) << key << " appeared";
            EXPECT_GT(compared, 100u);
        }
    }
}

TEST(PoliciesWithExiftool, OrientationOnlyLeavesTheOrientationWhenItIsNotOneAndTheProfile)
{
    TAMBLURE_REQUIRE_CORPUS();
    if (!haveExiftool())
        GTEST_SKIP() << "exiftool is not installed: check by a real client skipped";
    support::TempDir dir;
    const std::vector<fs::path> photos = support::corpusPhotographs();
    const std::vector<Tags> photoTags = readWithExiftool(photos, dir.path());
    // What a picture file has without any metadata: the file's own facts,
    // its JFIF header (and thumbnail), the colour profile and transform.
    const std::set<std::string> kPictureGroups = {"ExifTool", "System", "File", "Composite", "JFIF", "JFXX", "Adobe"};
    std::size_t turned = 0;
    for (const RouteCase& route : kRoutes) {
        SCOPED_TRACE(route.name);
        std::vector<fs::path> thumbs;
        for (std::size_t i = 0; i < photos.size(); ++i) {
            thumbs.push_back(dir / (std::to_string(i) + ".jpg"));
            support::writeFile(thumbs.back(),
                               route.make(photos[i], support::readFile(photos[i]), MetadataPolicy::OrientationOnly));
        }
        const std::vector<Tags> thumbTags = readWithExiftool(thumbs, dir.path());
        for (std::size_t i = 0; i < photos.size(); ++i) {
            SCOPED_TRACE(photos[i].string());
            const Tags& photo = photoTags[i];
            const Tags& thumb = thumbTags[i];
            const auto orientation = photo.find("IFD0:Orientation");
            const bool keeps = orientation != photo.end() && orientation->second != std::vector<std::string>{"1"};
            turned += keeps ? 1 : 0;
            if (keeps) {
                ASSERT_TRUE(thumb.contains("IFD0:Orientation"));
                EXPECT_EQ(thumb.at("IFD0:Orientation"), orientation->second);
            }
            for (const auto& [key, values] : thumb) {
                const std::string group = groupOf(key);
                if (key == "IFD0:Orientation" && keeps)
                    continue;
                if (group.rfind("ICC", 0) == 0) {
                    EXPECT_EQ(values, photo.at(key)) << key;
                    continue;
                }
                EXPECT_TRUE(kPictureGroups.contains(group) && key != "File:Comment" && key != "ExifTool:Warning")
                    << key << " = " << values.front();
            }
            for (const auto& [key, values] : photo) {
                if (groupOf(key).rfind("ICC", 0) == 0) {
                    EXPECT_TRUE(thumb.contains(key)) << key << " of the profile went";
                }
            }
        }
    }
    EXPECT_GE(turned, 2 * 14u);
}

} // namespace
} // namespace tamblure::metadata
