#include "imaging/anti_alias.h"

#include "common/errors.h"
#include "common/translation.h"
#include "imaging/row_reducer.h"

#include <string>

namespace tamblure::imaging {

namespace {

// The message names the module and the line of the check, so that a user's
// report points at the check that fired: "<text> (anti_alias, ligne <n>)".
// `text` is French, marked for the catalogue.
[[noreturn]] void failCheck(const char* text, int line)
{
    throw EAssertionFailed(format(tr("%1 (anti_alias, ligne %2)"), {tr(text), line}));
}

void checkFormats(const Bitmap24& source, const Bitmap24& dest, int sourceLine, int destLine)
{
    if (source.pixelFormat() != PixelFormat::Bits24)
        failCheck(trLater("Source au mauvais format"), sourceLine);
    if (dest.pixelFormat() != PixelFormat::Bits24)
        failCheck(trLater("Destination au mauvais format"), destLine);
}

} // namespace

void checkFactor(std::int32_t factor)
{
    if (factor <= 1)
        failCheck(trLater("Le rapport de réduction doit être supérieur ou égal à 2"), 37);
    if (factor > kMaxFactor)
        failCheck(trLater("Le rapport de réduction dépasse les limites du programme"), 38);
}

// A destination larger than the source would have empty blocks, whose mean
// has no divisor.
void checkNotLarger(std::int32_t sourceWidth, std::int32_t sourceHeight, std::int32_t destWidth,
                    std::int32_t destHeight)
{
    if (destWidth > sourceWidth || destHeight > sourceHeight)
        failCheck(trLater("Destination plus grande que la source"), 123);
}

void ReduitFacteur(const Bitmap24& source, Bitmap24& dest, std::int32_t factor)
{
    checkFormats(source, dest, 35, 36);
    checkFactor(factor);

    const std::int32_t height = dest.height();
    if (height == 0)
        return;
    // Only dest's size says what is read. A dest too large for the source is
    // refused before anything is written: too tall, it fails as the row
    // access would; too wide, its blocks would run off the end of the rows.
    if (std::int64_t{height} * factor > source.height())
        throw EInvalidGraphicOperation(tr("Indice ligne hors limites"));
    if (std::int64_t{dest.width()} * factor > source.width())
        failCheck(trLater("Destination trop grande pour le rapport de réduction"), 39);
    if (dest.width() == 0)
        return;
    reduceBlocks(source, dest, factor);
}

void ReduitMoyenne(const Bitmap24& source, Bitmap24& dest)
{
    checkFormats(source, dest, 121, 122);
    // Without rows or columns to write there is nothing to read: every band
    // lies inside the source, so looking its rows up could not fail.
    if (dest.height() == 0 || dest.width() == 0)
        return;
    checkNotLarger(source.width(), source.height(), dest.width(), dest.height());
    averageBlocks(source, dest);
}

} // namespace tamblure::imaging
