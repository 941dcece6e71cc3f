#pragma once

// Why the system refused: the program's words for an errno value, in the
// current language, which the program's messages give after their own words
// ("Impossible de créer le fichier X : plus de place sur le périphérique").
// The C library speaks the user's language only where its translations are
// installed; these words do not depend on that.

#include <string>
#include <string_view>

namespace tamblure {

// The reason for error number `error`, without capital or final period:
// words for every number the C library defines, "erreur système N" for any
// other.
std::string systemReason(int error);

// message + " : " + systemReason(error) (": " in English); the message alone
// when error is 0.
std::string withReason(std::string_view message, int error);

} // namespace tamblure
