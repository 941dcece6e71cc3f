// The photograph's caption for the page: the IPTC Caption/Abstract walk, the
// text brought to clean UTF-8, and the camera's stock descriptions left out.

#include "metadata/caption.h"

#include "exif_fixtures.h"
#include "metadata/img_data.h"

#include <gtest/gtest.h>

#include <string>

namespace tamblure::metadata {
namespace {

using test::Bytes;

Bytes text(std::string_view s)
{
    return Bytes(s.begin(), s.end());
}

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// One IPTC dataset: 1C, record, dataset, 2-byte length, data.
Bytes dataset(std::uint8_t record, std::uint8_t number, const Bytes& data)
{
    return Bytes{0x1C, record, number, static_cast<std::uint8_t>(data.size() >> 8),
                 static_cast<std::uint8_t>(data.size())} +
           data;
}

// One "8BIM" resource with an empty name (two bytes, padded), its size and
// its data padded to an even length.
Bytes resource(std::uint16_t id, const Bytes& data)
{
    Bytes out = text("8BIM") + Bytes{static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id), 0, 0};
    const auto size = static_cast<std::uint32_t>(data.size());
    out = out + Bytes{static_cast<std::uint8_t>(size >> 24), static_cast<std::uint8_t>(size >> 16),
                      static_cast<std::uint8_t>(size >> 8), static_cast<std::uint8_t>(size)};
    out = out + data;
    if (data.size() % 2 != 0)
        out.push_back(0);
    return out;
}

Bytes photoshop(const Bytes& resources)
{
    return Bytes{'P', 'h', 'o', 't', 'o', 's', 'h', 'o', 'p', ' ', '3', '.', '0', 0} + resources;
}

struct IptcCase {
    const char* name;
    Bytes payload;
    std::optional<std::string> caption;
    bool utf8;
};

void PrintTo(const IptcCase& c, std::ostream* out)
{
    *out << c.name;
}

class IptcCaption : public testing::TestWithParam<IptcCase> {};

TEST_P(IptcCaption, IsFoundOnlyInItsDatasetOfAWellFormedBlock)
{
    bool utf8 = !GetParam().utf8;
    EXPECT_EQ(iptcCaption(GetParam().payload, utf8), GetParam().caption);
    if (GetParam().caption) {
        EXPECT_EQ(utf8, GetParam().utf8);
    }
}

const Bytes kUtf8Mark{0x1B, 0x25, 0x47};

INSTANTIATE_TEST_SUITE_P(
    Table, IptcCaption,
    testing::Values(
        IptcCase{"caption", photoshop(resource(0x0404, dataset(2, 120, text("Le lac")))), "Le lac", false},
        IptcCase{"after other datasets and resources",
                 photoshop(resource(0x03ED, text("xyz")) +
                           resource(0x0404, dataset(1, 90, kUtf8Mark) + dataset(2, 5, text("titre")) +
                                                dataset(2, 120, text("Été")))),
                 "Été", true},
        IptcCase{"a charset that is not UTF-8",
                 photoshop(resource(0x0404, dataset(1, 90, Bytes{0x1B, 0x2E, 0x41}) + dataset(2, 120, text("a")))),
                 "a", false},
        IptcCase{"the first of two captions",
                 photoshop(resource(0x0404, dataset(2, 120, text("a")) + dataset(2, 120, text("b")))), "a", false},
        IptcCase{"no caption dataset", photoshop(resource(0x0404, dataset(2, 5, text("titre")))), std::nullopt,
                 false},
        IptcCase{"dataset 120 of another record", photoshop(resource(0x0404, dataset(1, 120, text("a")))),
                 std::nullopt, false},
        IptcCase{"no IPTC resource", photoshop(resource(0x03ED, text("xyz"))), std::nullopt, false},
        IptcCase{"not Photoshop", text("Adobe_CM") + resource(0x0404, dataset(2, 120, text("a"))), std::nullopt,
                 false},
        IptcCase{"a resource longer than the segment",
                 [] {
                     const Bytes whole = photoshop(resource(0x0404, dataset(2, 120, text("abc"))));
                     return Bytes(whole.begin(), whole.end() - 2);
                 }(),
                 std::nullopt, false},
        IptcCase{"a dataset longer than its resource",
                 photoshop(resource(0x0404, Bytes{0x1C, 2, 120, 0, 50} + text("short"))), std::nullopt, false},
        IptcCase{"an extended length ends the walk",
                 photoshop(resource(0x0404, Bytes{0x1C, 2, 10, 0x80, 2, 0, 1} + dataset(2, 120, text("a")))),
                 std::nullopt, false}));

struct TextCase {
    std::string bytes;
    bool declaredUtf8;
    std::string expected;
};

class CaptionText : public testing::TestWithParam<TextCase> {};

TEST_P(CaptionText, IsCleanUtf8WithoutControlsNorOuterBlanks)
{
    EXPECT_EQ(captionText(GetParam().bytes, GetParam().declaredUtf8), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, CaptionText,
                         testing::Values(TextCase{"  Le\t\tlac \r\n", false, "Le lac"},
                                         TextCase{std::string("Le lac\0\0\0", 9), false, "Le lac"},
                                         TextCase{"\xC3\xA9t\xC3\xA9 \xE6\x9D\xB1\xE4\xBA\xAC", false, "été 東京"},
                                         // Not UTF-8: Latin-1.
                                         TextCase{"\xE9t\xE9", false, "été"},
                                         // Declared UTF-8 but broken: the bad byte becomes U+FFFD.
                                         TextCase{"a\xE9z", true, "a\xEF\xBF\xBDz"}, TextCase{"\x01\x7F", false, ""},
                                         TextCase{std::string(kMaxCaptionBytes - 1, 'a') + "\xC3\xA9", false,
                                                  std::string(kMaxCaptionBytes - 1, 'a')}));

struct StockCase {
    const char* description;
    const char* make;
    const char* model;
    bool stock;
};

class StockDescription : public testing::TestWithParam<StockCase> {};

TEST_P(StockDescription, IsTheCamerasTextNotACaption)
{
    EXPECT_EQ(stockDescription(GetParam().description, GetParam().make, GetParam().model), GetParam().stock);
}

INSTANTIATE_TEST_SUITE_P(
    Table, StockDescription,
    testing::Values(StockCase{"", "", "", true}, StockCase{"OLYMPUS DIGITAL CAMERA", "OLYMPUS", "C960", true},
                    StockCase{"Sanyo digital camera", "", "", true}, StockCase{"WWL", "WWL     ", "ION230", true},
                    StockCase{"<Digimax i50>", "Samsung", "<Digimax i50>", true},
                    StockCase{"Le lac", "Canon", "Canon EOS 40D", false}, StockCase{"A camera", "", "", false}));

// The whole photograph: IPTC wins over EXIF; a stock EXIF text is no
// caption.
TEST(CaptionOf, TakesTheIptcCaptionElseACaptionWrittenInTheExif)
{
    const auto exif = [](const char* description) {
        test::ExifWriter w(false);
        const std::string value(description);
        const std::uint32_t at = 8 + 2 + 12 * 2 + 4; // after a directory of two entries
        w.directory({w.entry(0x010E, test::kAscii, static_cast<std::uint32_t>(value.size() + 1), at),
                     w.entry(0x010F, test::kAscii, 4, 0x00414141)}); // "AAA"
        for (const char c : value)
            w.u8(static_cast<std::uint8_t>(c));
        w.u8(0);
        return w.app1();
    };
    const Bytes iptc = test::segment(0xED, photoshop(resource(0x0404, dataset(2, 120, text("Le lac")))));
    const struct {
        Bytes file;
        std::string caption;
    } cases[] = {
        {test::jpegFile({exif("Au bord du lac"), iptc}), "Le lac"},
        {test::jpegFile({exif("Au bord du lac")}), "Au bord du lac"},
        {test::jpegFile({exif("OLYMPUS DIGITAL CAMERA")}), ""},
        {test::jpegFile({exif("AAA  ")}), ""},
        {test::jpegFile({iptc}), "Le lac"},
        {test::jpegFile(
             {exif("Au bord du lac"), test::segment(0xED, photoshop(resource(0x0404, dataset(2, 120, text(" \t")))))}),
         "Au bord du lac"},
        {test::jpegFile({}), ""},
    };
    for (const auto& c : cases) {
        TimgData photo;
        photo.ScanSegments(c.file);
        EXPECT_EQ(captionOf(photo), c.caption);
    }
}

} // namespace
} // namespace tamblure::metadata
