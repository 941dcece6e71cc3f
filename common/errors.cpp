#include "common/errors.h"

namespace tamblure {

std::string openErrorMessage(std::string_view path)
{
    std::string message = "Impossible d'ouvrir le fichier ";
    message.append(path);
    return message;
}

std::string createErrorMessage(std::string_view path)
{
    std::string message = "Impossible de créer le fichier ";
    message.append(path);
    return message;
}

std::string withFinalPeriod(std::string_view message)
{
    std::string result(message);
    // Bytes compare unsigned: the trailing byte of an accented letter in UTF-8
    // is above 0x7F and so comes after ".", as the accented letter does in
    // Latin-1.
    if (!result.empty() && static_cast<unsigned char>(result.back()) > static_cast<unsigned char>('.'))
        result += '.';
    return result;
}

} // namespace tamblure
