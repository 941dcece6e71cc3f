#pragma once

// The one place that words a libjpeg error for the user. libjpeg reports a
// failure by a message code (JERR_INPUT_EOF, ...) whose English text speaks
// to programmers; the user gets the code, which a report can quote, and
// words for it in the program's language (French, or English from the
// message catalogue). Callers outside the codec layer know only the number,
// never jerror.h.

#include <string>
#include <string_view>

namespace tamblure::jpeg {

// Words in the current language for libjpeg-turbo's message code `code`, any
// code of its list (errors, warnings and trace messages alike), lower-case
// without final period, the values libjpeg would put into its text said in
// general terms. Empty for a number outside the list.
std::string_view jpegMessageText(int code);

// "Erreur JPEG #<code> : <jpegMessageText(code)>", or "Erreur JPEG #<code>"
// for a number outside the list.
std::string jpegErrorMessage(int code);

// Raises EJPEG(jpegErrorMessage(code)).
[[noreturn]] void throwJpegError(int code);

} // namespace tamblure::jpeg
