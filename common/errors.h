#pragma once

// The program's errors. Every error that can reach the user carries its
// message, already in the words the user sees; the window's handler (or the
// command-line companion) shows it with withFinalPeriod().

#include "common/translation.h"

#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tamblure {

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string message() const { return what(); }
    // An error of the same class with another message (the same one with the
    // file it concerns, say), for std::rethrow_exception.
    virtual std::exception_ptr withMessage(const std::string& message) const
    {
        return std::make_exception_ptr(Exception(message));
    }
};

#define TAMBLURE_ERROR_CLASS(Name)                                                                                     \
    class Name : public Exception {                                                                                    \
    public:                                                                                                            \
        using Exception::Exception;                                                                                    \
        std::exception_ptr withMessage(const std::string& message) const override                                      \
        {                                                                                                              \
            return std::make_exception_ptr(Name(message));                                                             \
        }                                                                                                              \
    };

TAMBLURE_ERROR_CLASS(EAssertionFailed)         // failed checks of the resampling code
TAMBLURE_ERROR_CLASS(EFOpenError)              // "Impossible d'ouvrir le fichier %s"
TAMBLURE_ERROR_CLASS(EFCreateError)            // "Impossible de créer le fichier %s"
TAMBLURE_ERROR_CLASS(EWriteError)              // "Error writing JPEG to file", page and copy failures
TAMBLURE_ERROR_CLASS(EJPEG)                    // "Erreur JPEG #%d : <explication>"
TAMBLURE_ERROR_CLASS(EInvalidGraphicOperation) // "Indice ligne hors limites"
TAMBLURE_ERROR_CLASS(EConvertError)            // "'%s' n'est pas une valeur entière correcte"
TAMBLURE_ERROR_CLASS(EZeroDivide)              // "Division par zéro en virgule flottante"
TAMBLURE_ERROR_CLASS(EInvalidOp)               // "Opération en virgule flottante incorrecte"
TAMBLURE_ERROR_CLASS(EDivByZero)               // "Division par zéro"
TAMBLURE_ERROR_CLASS(EOutOfMemory)             // rasters and decodes past the memory limits
TAMBLURE_ERROR_CLASS(EInOutError)              // folder and run-level failures

#undef TAMBLURE_ERROR_CLASS

// Messages shared by several modules, in French: tr() them where they are
// raised.
inline constexpr const char* kZeroDivideMessage = trLater("Division par zéro en virgule flottante");
inline constexpr const char* kInvalidOpMessage = trLater("Opération en virgule flottante incorrecte");
inline constexpr const char* kDivByZeroMessage = trLater("Division par zéro");

// "Impossible d'ouvrir le fichier <path>", then " : " and the system's reason
// when error (an errno value) is not 0. The same for the two below.
std::string openErrorMessage(std::string_view path, int error = 0);
// "Impossible de créer le fichier <path>"
std::string createErrorMessage(std::string_view path, int error = 0);
// "Impossible d'écrire le fichier <path>"
std::string writeErrorMessage(std::string_view path, int error = 0);

// What the user is told of any error that ends an operation, in the current
// language, final period included: the program's own message; "Mémoire insuffisante." when memory
// ran out; the system's reason for a system error; the text of any other
// standard error; "Erreur inattendue." for anything else. The window's error
// box and tamblure-batch show the same words.
std::string userMessage(std::exception_ptr error);

// The message as the error box shows it: "." is added when the last character
// comes after "." in the character order (a letter, a digit, an accented
// letter); a message ending in ".", "!", ")" or a space is left as it is.
std::string withFinalPeriod(std::string_view message);

} // namespace tamblure
