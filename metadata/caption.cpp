#include "metadata/caption.h"

#include "common/byte_reader.h"
#include "common/utf8.h"
#include "metadata/image_info.h"
#include "metadata/img_data.h"

#include <algorithm>
#include <cctype>

namespace tamblure::metadata {

namespace {

constexpr std::string_view kPhotoshop{"Photoshop 3.0\0", 14};
constexpr std::uint16_t kIptcResource = 0x0404;
constexpr std::uint8_t kDatasetMark = 0x1C;

// The length of the UTF-8 character at text[i], 0 when none starts there.
std::size_t utf8Length(std::string_view text, std::size_t i)
{
    return utf8CharacterAt(text, i).length;
}

bool validUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = utf8Length(text, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

std::string upper(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// The IPTC datasets of resource 0x0404: 1C, record, dataset, a 2-byte length
// (a length with its top bit set announces an extended length, which no
// caption needs: the walk ends there), the data.
std::optional<std::string> captionInDatasets(ByteReader in, bool& utf8)
{
    std::optional<std::string> caption;
    std::size_t at = 0;
    for (;;) {
        std::uint8_t mark = 0, record = 0, dataset = 0;
        std::uint16_t length = 0;
        if (!in.u8At(at, mark) || mark != kDatasetMark || !in.u8At(at + 1, record) || !in.u8At(at + 2, dataset) ||
            !in.u16At(at + 3, length) || (length & 0x8000) != 0 || in.size() - (at + 5) < length)
            break;
        const auto data = in.bytes().subspan(at + 5, length);
        if (record == 1 && dataset == 90)
            utf8 = data.size() >= 3 && data[0] == 0x1B && data[1] == 0x25 && data[2] == 0x47;
        else if (record == 2 && dataset == 120 && !caption)
            caption = std::string(data.begin(), data.end());
        at += 5 + std::size_t{length};
    }
    return caption;
}

} // namespace

std::optional<std::string> iptcCaption(std::span<const std::uint8_t> payload, bool& utf8)
{
    utf8 = false;
    const ByteReader in(payload, ByteOrder::BigEndian);
    if (payload.size() < kPhotoshop.size() ||
        !std::equal(kPhotoshop.begin(), kPhotoshop.end(), payload.begin(),
                    [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }))
        return std::nullopt;
    // Each resource: "8BIM", its id (2), its name as a Pascal string padded
    // to an even length, its size (4), its data padded to an even length.
    std::size_t at = kPhotoshop.size();
    for (;;) {
        std::uint32_t signature = 0, size = 0;
        std::uint16_t id = 0;
        std::uint8_t nameLength = 0;
        if (!in.u32At(at, signature) || signature != 0x3842494D || !in.u16At(at + 4, id) ||
            !in.u8At(at + 6, nameLength))
            return std::nullopt;
        const std::size_t name = (std::size_t{nameLength} + 2) & ~std::size_t{1};
        const std::size_t sizeAt = at + 6 + name;
        if (sizeAt > in.size() || !in.u32At(sizeAt, size) || in.size() - (sizeAt + 4) < size)
            return std::nullopt;
        if (id == kIptcResource)
            return captionInDatasets(ByteReader(payload.subspan(sizeAt + 4, size), ByteOrder::BigEndian), utf8);
        at = sizeAt + 4 + ((std::size_t{size} + 1) & ~std::size_t{1});
    }
}

std::string captionText(std::string_view bytes, bool declaredUtf8)
{
    // Trailing NULs pad many stored texts.
    while (!bytes.empty() && bytes.back() == '\0')
        bytes.remove_suffix(1);
    const bool utf8 = declaredUtf8 || validUtf8(bytes);
    std::string out;
    bool blank = true; // no space at the start, none twice
    const auto append = [&](std::string_view character) {
        if (out.size() + character.size() > kMaxCaptionBytes)
            return false;
        out.append(character);
        blank = false;
        return true;
    };
    for (std::size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x20 || c == 0x7F || c == ' ') {
            if (!blank && !append(" "))
                break;
            blank = true;
            ++i;
            continue;
        }
        std::string character;
        if (c < 0x80) {
            character = static_cast<char>(c);
            ++i;
        } else if (utf8) {
            const std::size_t n = utf8Length(bytes, i);
            character = n == 0 ? std::string("\xEF\xBF\xBD") : std::string(bytes.substr(i, n));
            i += n == 0 ? 1 : n;
        } else {
            character = {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
            ++i;
        }
        if (!append(character))
            break;
    }
    if (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

bool stockDescription(std::string_view description, std::string_view make, std::string_view model)
{
    const std::string text = upper(description);
    const auto named = [&](std::string_view what) { return !what.empty() && upper(captionText(what)) == text; };
    return text.empty() || text.ends_with("DIGITAL CAMERA") || named(make) || named(model);
}

std::string captionOf(const TimgData& photo)
{
    if (const tSection* iptc = photo.iptcRef(); iptc != nullptr && iptc->raw.size() > 2) {
        bool utf8 = false;
        if (const auto caption = iptcCaption(std::span(iptc->raw).subspan(2), utf8)) {
            std::string text = captionText(*caption, utf8);
            if (!text.empty())
                return text;
        }
    }
    const TImageInfo* directory = photo.directory();
    if (directory == nullptr || !photo.HasExifSegment())
        return {};
    std::string description = captionText(directory->description());
    return stockDescription(description, directory->make(), directory->model()) ? std::string() : description;
}

} // namespace tamblure::metadata
