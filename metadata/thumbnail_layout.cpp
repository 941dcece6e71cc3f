#include "metadata/thumbnail_layout.h"

#include <algorithm>

namespace tamblure::metadata {

namespace {

std::span<const std::uint8_t> within(std::span<const std::uint8_t> source, const Stretch& s)
{
    const std::uint64_t from = std::min<std::uint64_t>(s.from, source.size());
    const std::uint64_t length = std::min<std::uint64_t>(s.length, source.size() - from);
    return source.subspan(static_cast<std::size_t>(from), static_cast<std::size_t>(length));
}

} // namespace

void ThumbnailLayout::add(std::span<const std::uint8_t> made)
{
    if (made.empty())
        return;
    if (!pieces_.empty()) {
        if (auto* last = std::get_if<std::vector<std::uint8_t>>(&pieces_.back())) {
            last->insert(last->end(), made.begin(), made.end());
            return;
        }
    }
    pieces_.emplace_back(std::vector<std::uint8_t>(made.begin(), made.end()));
}

void ThumbnailLayout::add(Stretch stretch)
{
    if (stretch.length == 0)
        return;
    if (!pieces_.empty()) {
        if (auto* last = std::get_if<Stretch>(&pieces_.back());
            last != nullptr && last->length != Stretch::kToTheEnd && last->from + last->length == stretch.from) {
            last->length = stretch.length == Stretch::kToTheEnd ? Stretch::kToTheEnd : last->length + stretch.length;
            return;
        }
    }
    pieces_.emplace_back(stretch);
}

std::vector<std::uint8_t> ThumbnailLayout::bytes(std::span<const std::uint8_t> source) const
{
    std::vector<std::uint8_t> out;
    for (const ThumbnailPiece& piece : pieces_) {
        const std::span<const std::uint8_t> part = std::holds_alternative<Stretch>(piece)
                                                       ? within(source, std::get<Stretch>(piece))
                                                       : std::span<const std::uint8_t>(std::get<0>(piece));
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

bool ThumbnailLayout::writeTo(AtomicFile& out, int source) const
{
    for (const ThumbnailPiece& piece : pieces_) {
        const bool written = std::holds_alternative<Stretch>(piece)
                                 ? out.copyFrom(source, std::get<Stretch>(piece).from, std::get<Stretch>(piece).length)
                                 : out.write(std::get<0>(piece));
        if (!written)
            return false;
    }
    return true;
}

bool ThumbnailLayout::writeTo(AtomicFile& out, std::span<const std::uint8_t> source) const
{
    for (const ThumbnailPiece& piece : pieces_) {
        const std::span<const std::uint8_t> part = std::holds_alternative<Stretch>(piece)
                                                       ? within(source, std::get<Stretch>(piece))
                                                       : std::span<const std::uint8_t>(std::get<0>(piece));
        if (!out.write(part))
            return false;
    }
    return true;
}

} // namespace tamblure::metadata
