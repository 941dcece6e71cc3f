// --no-gps and --strip end to end: a photograph given a GPS position, an
// orientation, a comment and an IPTC caption by exiftool, its thumbnails (one
// encoded, one copied whole) made by tamblure-batch, and read by exiftool.

#include "batch_process.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>
#include <set>
#include <string>

namespace tamblure {
namespace {
namespace fs = std::filesystem;

bool haveExiftool()
{
    return std::system("exiftool -ver >/dev/null 2>&1") == 0;
}

std::string run(const std::string& command)
{
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    std::string out;
    std::array<char, 4096> buffer;
    for (std::size_t got; pipe && (got = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0;)
        out.append(buffer.data(), got);
    return out;
}

// The tags exiftool finds in a file, as "Group:Tag", but for those any JPEG
// file has of itself.
std::set<std::string> tagsOf(const fs::path& file)
{
    std::set<std::string> tags;
    const std::string out = run("exiftool -args -a -G1 -n '" + file.string() + "' 2>/dev/null");
    for (std::size_t at = 0; at < out.size();) {
        std::size_t end = out.find('\n', at);
        if (end == std::string::npos)
            end = out.size();
        const std::string line = out.substr(at, end - at);
        at = end + 1;
        const std::string key = line.substr(1, line.find('=') - 1);
        const std::string group = key.substr(0, key.find(':'));
        if (group != "ExifTool" && group != "System" && group != "File" && group != "Composite" && group != "JFIF")
            tags.insert(key);
    }
    return tags;
}

class MetadataOptions : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveExiftool())
            GTEST_SKIP() << "exiftool is not installed";
        // 300 pixels wide: encoded at -s 100, copied whole at -s 400.
        for (const char* name : {"turned.jpg", "upright.jpg"}) {
            test::writeJpeg(dir_ / name, test::sized(300, 200));
            const std::string orientation = name[0] == 't' ? "6" : "1";
            ASSERT_EQ(std::system(("exiftool -q -overwrite_original -Orientation#=" + orientation +
                                   " -GPSLatitude=43.4674 -GPSLatitudeRef=N -GPSLongitude=11.885 "
                                   "-GPSLongitudeRef=E -Make=Nikon -Comment=Vacances "
                                   "-IPTC:Caption-Abstract=Sienne '" +
                                   (dir_ / name).string() + "'")
                                      .c_str()),
                      0);
        }
    }

    std::set<std::string> made(const std::string& option, const std::string& size, const char* name)
    {
        const test::Outcome o = test::runBatch({option, "-s", size, dir_.path().string()});
        EXPECT_EQ(o.exitCode, 0) << o.err;
        return tagsOf(dir_ / "tamblure" / name);
    }

    test::TempDir dir_;
};

TEST_F(MetadataOptions, NoGpsLeavesEverythingButThePosition)
{
    for (const char* size : {"100", "400"}) {
        SCOPED_TRACE(size);
        std::set<std::string> expected = made("-q75", size, "turned.jpg");
        ASSERT_TRUE(expected.contains("GPS:GPSLatitude"));
        std::erase_if(expected, [](const std::string& key) { return key.starts_with("GPS:"); });
        EXPECT_EQ(made("--no-gps", size, "turned.jpg"), expected);
        EXPECT_TRUE(expected.contains("IFD0:Make"));
        EXPECT_TRUE(expected.contains("IPTC:Caption-Abstract"));
    }
}

TEST_F(MetadataOptions, StripLeavesOnlyTheOrientationOfATurnedPhotograph)
{
    for (const char* size : {"100", "400"}) {
        SCOPED_TRACE(size);
        EXPECT_EQ(made("--strip", size, "turned.jpg"), std::set<std::string>{"IFD0:Orientation"});
        EXPECT_EQ(made("--strip", size, "upright.jpg"), std::set<std::string>{});
    }
}

} // namespace
} // namespace tamblure
