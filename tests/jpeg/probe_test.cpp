#include "jpeg/jpeg_util.h"

#include "common/errors.h"
#include "support/jpeg_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <sys/stat.h>

namespace tamblure::jpeg {
namespace {

using test::JpegSpec;
using test::makeJpeg;
using test::sized;
using test::TempDir;
using Bytes = std::vector<std::uint8_t>;

struct ProbeAnswer {
    bool found;
    std::uint16_t width;
    std::uint16_t height;
    bool threeComponents;
    std::optional<JpegFrame> frame; // the frame read from the same bytes in memory
};

// Out-values start as sentinels, so a false result shows they were left alone.
// The probe's answer for the bytes as a file; the frame read from the same
// bytes in memory must say the same.
ProbeAnswer probeBytes(const Bytes& bytes)
{
    TempDir dir;
    test::writeFile(dir / "photo.jpg", bytes);
    ProbeAnswer answer{false, 0xBEEF, 0xCAFE, true, ProbeJpegFrame(bytes)};
    answer.found = ProbeJpegHeader(dir / "photo.jpg", answer.width, answer.height, answer.threeComponents);
    EXPECT_EQ(answer.frame.has_value(), answer.found);
    if (answer.frame && answer.found) {
        EXPECT_EQ(answer.frame->width, answer.width);
        EXPECT_EQ(answer.frame->height, answer.height);
        EXPECT_EQ(answer.frame->threeComponents(), answer.threeComponents);
    }
    return answer;
}

Bytes withFrameCode(Bytes bytes, int code)
{
    const auto sof = test::findMarker(bytes, 0xC0);
    bytes.at(static_cast<std::size_t>(sof) + 1) = static_cast<std::uint8_t>(code);
    return bytes;
}

// Bytes inserted in front of the marker with the given code.
Bytes insertedBefore(Bytes bytes, int code, const Bytes& inserted)
{
    const auto at = test::findMarker(bytes, code);
    bytes.insert(bytes.begin() + at, inserted.begin(), inserted.end());
    return bytes;
}

struct FoundCase {
    const char* name;
    Bytes (*make)();
    std::uint16_t width;
    std::uint16_t height;
    bool threeComponents;
    std::uint8_t kind = 0xC0;
    std::uint8_t components = 3;
};

class ProbeFindsTheFrame : public testing::TestWithParam<FoundCase> {};

TEST_P(ProbeFindsTheFrame, AndReportsItsSizeComponentsAndKind)
{
    const FoundCase& c = GetParam();
    const ProbeAnswer answer = probeBytes(c.make());
    EXPECT_TRUE(answer.found);
    EXPECT_EQ(answer.width, c.width);
    EXPECT_EQ(answer.height, c.height);
    EXPECT_EQ(answer.threeComponents, c.threeComponents);
    ASSERT_TRUE(answer.frame);
    EXPECT_EQ(answer.frame->kind, c.kind);
    EXPECT_EQ(answer.frame->components, c.components);
    EXPECT_EQ(answer.frame->progressive(), c.kind == 0xC2 || c.kind == 0xCA);
    EXPECT_EQ(answer.frame->arithmetic(), c.kind == 0xC9 || c.kind == 0xCA);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ProbeFindsTheFrame,
    testing::Values(
        FoundCase{"Baseline", [] { return makeJpeg(sized(37, 21)); }, 37, 21, true},
        FoundCase{"Greyscale", [] { return makeJpeg(sized(37, 21, 1)); }, 37, 21, false, 0xC0, 1},
        FoundCase{"Cmyk", [] { return makeJpeg(sized(37, 21, 4)); }, 37, 21, false, 0xC0, 4},
        FoundCase{"Progressive",
                  [] {
                      JpegSpec spec = sized(37, 21);
                      spec.progressive = true;
                      return makeJpeg(spec);
                  },
                  37, 21, true, 0xC2},
        FoundCase{"ExtendedSequential", [] { return withFrameCode(makeJpeg(sized(37, 21)), 0xC1); }, 37, 21, true,
                  0xC1},
        FoundCase{"WithoutJfifHeader",
                  [] {
                      JpegSpec spec = sized(37, 21);
                      spec.jfifHeader = false;
                      return makeJpeg(spec);
                  },
                  37, 21, true},
        FoundCase{"BehindA60000ByteSegmentHoldingAFakeFrame",
                  [] {
                      // A frame header inside the payload: only a walk that
                      // skips the segment by its length misses it.
                      Bytes payload(60000, 0xAB);
                      const Bytes fake = {0xFF, 0xC0, 0x00, 0x11, 0x08, 0x00, 0x07, 0x00, 0x09, 0x01};
                      std::copy(fake.begin(), fake.end(), payload.begin() + 100);
                      JpegSpec spec = sized(37, 21);
                      spec.segments.push_back({0xE1, payload});
                      return makeJpeg(spec);
                  },
                  37, 21, true},
        FoundCase{"BehindZeroBytesBetweenSegments",
                  [] { return insertedBefore(makeJpeg(sized(37, 21)), 0xC0, Bytes(5, 0x00)); }, 37, 21, true},
        FoundCase{"BehindFillBytes", [] { return insertedBefore(makeJpeg(sized(37, 21)), 0xC0, Bytes(4, 0xFF)); }, 37,
                  21, true},
        FoundCase{
            "BehindMarkersWithoutLength",
            [] {
                return insertedBefore(makeJpeg(sized(37, 21)), 0xC0, {0xFF, 0xD0, 0xFF, 0xD7, 0xFF, 0x01, 0xFF, 0xD8});
            },
            37, 21, true},
        FoundCase{"ArithmeticCoded",
                  [] {
                      JpegSpec spec = sized(37, 21);
                      spec.arithmetic = true;
                      return makeJpeg(spec);
                  },
                  37, 21, true, 0xC9},
        FoundCase{"ArithmeticCodedProgressive",
                  [] {
                      JpegSpec spec = sized(37, 21, 1);
                      spec.arithmetic = true;
                      spec.progressive = true;
                      return makeJpeg(spec);
                  },
                  37, 21, false, 0xCA, 1},
        FoundCase{"WithSidesPast32767",
                  [] { return Bytes{0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x11, 0x08, 0xFF, 0xFE, 0xFF, 0xFF, 0x03}; }, 65535,
                  65534, true}),
    [](const testing::TestParamInfo<FoundCase>& row) { return std::string(row.param.name); });

struct MissCase {
    const char* name;
    Bytes (*make)();
};

class ProbeGivesFalse : public testing::TestWithParam<MissCase> {};

TEST_P(ProbeGivesFalse, AndLeavesTheOutValuesAsTheyWere)
{
    const ProbeAnswer answer = probeBytes(GetParam().make());
    EXPECT_FALSE(answer.found);
    EXPECT_EQ(answer.width, 0xBEEF);
    EXPECT_EQ(answer.height, 0xCAFE);
    EXPECT_TRUE(answer.threeComponents);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ProbeGivesFalse,
    testing::Values(
        MissCase{"ForAnEmptyFile", [] { return Bytes{}; }}, MissCase{"ForOneByte", [] { return Bytes{0xFF}; }},
        MissCase{"ForAnotherFormat", [] { return Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0}; }},
        MissCase{"ForALosslessFrame", [] { return withFrameCode(makeJpeg(sized(37, 21)), 0xC3); }},
        MissCase{"ForTwelveBitSamples",
                 [] { return Bytes{0xFF, 0xD8, 0xFF, 0xC1, 0x00, 0x0B, 0x0C, 0x00, 0x15, 0x00, 0x25, 0x01}; }},
        MissCase{"ForAHeightGivenLater",
                 [] { return Bytes{0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x00, 0x00, 0x25, 0x03}; }},
        MissCase{"ForAnEmptyWidth",
                 [] { return Bytes{0xFF, 0xD8, 0xFF, 0xC2, 0x00, 0x0B, 0x08, 0x00, 0x15, 0x00, 0x00, 0x03}; }},
        MissCase{"ForNoComponent",
                 [] { return Bytes{0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x15, 0x00, 0x25, 0x00}; }},
        MissCase{"WhenTheFileEndsBeforeAFrame", [] { return Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 0x01, 0x02}; }},
        MissCase{"WhenZeroBytesRunToTheEnd", [] { return Bytes{0xFF, 0xD8, 0, 0, 0, 0, 0, 0}; }},
        MissCase{"WhenASegmentLengthIsBelowTwo",
                 [] {
                     // Taken at its word, length 0 would lead the walk back
                     // over the zeros to the frame header behind them.
                     return Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x00, 0xFF, 0xC0,
                                  0x00, 0x11, 0x08, 0x00, 0x07, 0x00, 0x09, 0x03};
                 }},
        MissCase{"WhenAnotherByteStandsWhereAMarkerBelongs",
                 [] {
                     return insertedBefore(makeJpeg(sized(37, 21)), 0xC0, Bytes{0x00, 0x12});
                 }},
        MissCase{"ForAStuffedZeroInsteadOfAMarkerCode",
                 [] {
                     return insertedBefore(makeJpeg(sized(37, 21)), 0xC0, Bytes{0xFF, 0x00});
                 }}),
    [](const testing::TestParamInfo<MissCase>& row) { return std::string(row.param.name); });

TEST(ProbeJpegHeader, ReportsNothingForAFileCutInsideTheFrameHeader)
{
    const Bytes whole = makeJpeg(sized(37, 21));
    const auto sof = static_cast<std::size_t>(test::findMarker(whole, 0xC0));
    // The frame header's last byte read is the component count, 9 bytes on
    // from the 0xFF; every shorter file lacks part of it.
    for (std::size_t kept = sof + 2; kept < sof + 10; ++kept) {
        const ProbeAnswer answer = probeBytes(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(kept)));
        EXPECT_FALSE(answer.found) << kept - sof << " bytes of the frame header kept";
        EXPECT_EQ(answer.width, 0xBEEF);
        EXPECT_EQ(answer.height, 0xCAFE);
    }
    EXPECT_TRUE(probeBytes(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(sof) + 10)).found);
}

TEST(ProbeJpegHeader, RaisesTheOpenErrorForAMissingFile)
{
    TempDir dir;
    const auto path = dir / "absent.jpg";
    std::uint16_t width = 0, height = 0;
    bool three = false;
    try {
        ProbeJpegHeader(path, width, height, three);
        FAIL() << "no error raised";
    } catch (const EFOpenError& error) {
        EXPECT_EQ(error.message(),
                  "Impossible d'ouvrir le fichier " + path.string() + " : fichier ou dossier inexistant");
    }
}

TEST(ProbeJpegHeader, GivesFalseWithoutBlockingForAFifoOrAFolder)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe.jpg").c_str(), 0600), 0);
    std::filesystem::create_directory(dir / "folder.jpg");
    std::uint16_t width = 1, height = 2;
    bool three = false;
    EXPECT_FALSE(ProbeJpegHeader(dir / "pipe.jpg", width, height, three));
    EXPECT_FALSE(ProbeJpegHeader(dir / "folder.jpg", width, height, three));
    EXPECT_EQ(width, 1);
    EXPECT_EQ(height, 2);
}

} // namespace
} // namespace tamblure::jpeg
