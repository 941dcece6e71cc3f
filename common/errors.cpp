#include "common/errors.h"

#include "common/system_reason.h"
#include "common/translation.h"

#include <new>
#include <system_error>

namespace tamblure {

std::string openErrorMessage(std::string_view path, int error)
{
    return withReason(format(tr("Impossible d'ouvrir le fichier %1"), {path}), error);
}

std::string createErrorMessage(std::string_view path, int error)
{
    return withReason(format(tr("Impossible de créer le fichier %1"), {path}), error);
}

std::string writeErrorMessage(std::string_view path, int error)
{
    return withReason(format(tr("Impossible d'écrire le fichier %1"), {path}), error);
}

std::string userMessage(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const Exception& e) {
        return withFinalPeriod(e.message());
    } catch (const std::bad_alloc&) {
        return tr("Mémoire insuffisante.");
    } catch (const std::system_error& e) {
        return withFinalPeriod(format(tr("Erreur du système : %1"), {systemReason(e.code().value())}));
    } catch (const std::exception& e) {
        return withFinalPeriod(e.what());
    } catch (...) {
        return tr("Erreur inattendue.");
    }
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
