#pragma once

// A photograph's own caption, as its page gives it for the thumbnail's text
// alternative: the IPTC Caption/Abstract (dataset 2:120) that people write
// in their photo managers, else the EXIF ImageDescription, unless that is
// only the camera's stock text ("OLYMPUS DIGITAL CAMERA", its make, blanks).
//
// Both come from the photograph, so nothing in them is trusted: the IPTC
// walk compares remaining lengths before every read, and the text is
// brought to valid UTF-8 without controls before it leaves here.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tamblure::metadata {

class TimgData;

// The longest caption kept, in bytes (cut at a character's boundary).
inline constexpr std::size_t kMaxCaptionBytes = 1000;

// The Caption/Abstract of an APP13 segment's payload ("Photoshop 3.0", then
// "8BIM" resources, of which 0x0404 holds the IPTC datasets); nothing when
// there is none. utf8 tells whether the block declares UTF-8 (dataset 1:90,
// ESC % G).
std::optional<std::string> iptcCaption(std::span<const std::uint8_t> payload, bool& utf8);

// Caption bytes as page text: kept as they are when they are UTF-8 (always
// when declared so, invalid sequences then becoming U+FFFD), otherwise taken
// as Latin-1; controls become blanks, runs of blanks one space, and the ends
// are trimmed; at most kMaxCaptionBytes.
std::string captionText(std::string_view bytes, bool declaredUtf8 = false);

// True when an EXIF ImageDescription (as captionText gives it) is the
// camera's stock text rather than a caption: empty, ending in "DIGITAL
// CAMERA", or the camera's make or model.
bool stockDescription(std::string_view description, std::string_view make, std::string_view model);

// The caption of the photograph whose leading segments `photo` holds; empty
// when it has none.
std::string captionOf(const TimgData& photo);

} // namespace tamblure::metadata
