#include "jpeg/JPEG_IO.h"

#include "common/errors.h"
#include "common/system_reason.h"
#include "common/translation.h"
#include "jpeg/IJL.h"
#include "jpeg/decode_memory.h"
#include "jpeg/jpeg_error.h"

#include <jerror.h>

#include <string>
#include <string_view>
#include <system_error>

namespace tamblure::jpeg {

namespace {

using imaging::Bitmap24;
using imaging::PixelFormat;

// ijlFree on every way out once ijlInit has succeeded, errors included.
class IjlRecord {
public:
    IjlRecord() = default;
    ~IjlRecord()
    {
        if (initialised_)
            ijlFree(&props_);
    }
    IjlRecord(const IjlRecord&) = delete;
    IjlRecord& operator=(const IjlRecord&) = delete;

    bool init()
    {
        initialised_ = ijlInit(&props_) == IJL_OK;
        return initialised_;
    }
    JPEG_CORE_PROPERTIES& props() { return props_; }

private:
    JPEG_CORE_PROPERTIES props_{};
    bool initialised_ = false;
};

// The bytes after a row's pixel bytes up to the next multiple of 4.
std::int32_t padBytes(std::int32_t width, std::int32_t channels)
{
    const std::int64_t bytes = static_cast<std::int64_t>(width) * channels;
    return static_cast<std::int32_t>((bytes + 3) / 4 * 4 - bytes);
}

void describeRaster(JPEG_CORE_PROPERTIES& props, std::uint8_t* pixels, std::int32_t width, std::int32_t height,
                    std::int32_t channels)
{
    props.DIBWidth = width;
    props.DIBHeight = -height;
    props.DIBChannels = channels;
    props.DIBColor = channels == 3 ? IJL_BGR : IJL_G;
    props.DIBPadBytes = padBytes(width, channels);
    props.DIBBytes = pixels;
}

// The JFILE mode of a picture read at the scale code, and the divisor of
// its sides; the JBUFF mode of the same read is the next one up.
int pictureMode(std::uint8_t scaleCode, std::int32_t& divisor)
{
    switch (scaleCode) {
    case 1:
        divisor = 2;
        return IJL_JFILE_READONEHALF;
    case 2:
        divisor = 4;
        return IJL_JFILE_READONEQUARTER;
    case 3:
        divisor = 8;
        return IJL_JFILE_READONEEIGHTH;
    default:
        divisor = 1;
        return IJL_JFILE_READWHOLEIMAGE;
    }
}

// Gives the raster the layout of `channels` (8-bit grey with its ramp, or
// 24-bit) and then its size, zero-filled.
void shapeRaster(Bitmap24& raster, std::int32_t channels, std::int32_t width, std::int32_t height)
{
    if (channels == 1) {
        raster.setPixelFormat(PixelFormat::Bits8);
        raster.setGreyRamp();
    } else {
        raster.setPixelFormat(PixelFormat::Bits24);
    }
    raster.setWidth(width);
    raster.setHeight(height);
}

} // namespace

bool DecodeJpegFile(Bitmap24* raster, const std::filesystem::path& path, bool setFormat, std::uint8_t scaleCode,
                    std::int32_t* libjpegCode)
{
    if (libjpegCode != nullptr)
        *libjpegCode = 0;
    if (raster == nullptr)
        return false;
    int channels = Bitmap24::channelsOf(raster->pixelFormat());
    if (channels == 0 && !setFormat)
        return false;

    IjlRecord record;
    if (!record.init())
        return false;
    JPEG_CORE_PROPERTIES& props = record.props();
    const std::string file = path.string();
    props.JPGFile = file.c_str();
    if (ijlRead(&props, IJL_JFILE_READPARAMS) != IJL_OK) {
        if (libjpegCode != nullptr)
            *libjpegCode = props.libjpegCode;
        return false;
    }
    std::int32_t divisor = 1;
    const int mode = pictureMode(scaleCode, divisor);
    const std::int32_t width = (props.JPGWidth + divisor - 1) / divisor;
    const std::int32_t height = (props.JPGHeight + divisor - 1) / divisor;
    if (props.JPGChannels != 1 && props.JPGChannels != 3)
        return false;

    // EOutOfMemory from the raster passes to the caller; the record is freed
    // on the way out.
    raster->setHeight(0);
    raster->setWidth(0);
    if (setFormat) {
        channels = props.JPGChannels;
        shapeRaster(*raster, channels, width, height);
    } else {
        raster->setWidth(width);
        raster->setHeight(height);
    }
    std::uint8_t* pixels = raster->pixels();
    if (pixels == nullptr)
        return false;

    describeRaster(props, pixels, width, height, channels);
    if (ijlRead(&props, mode) >= 0)
        return true;
    if (libjpegCode != nullptr)
        *libjpegCode = props.libjpegCode;
    return false;
}

DecodedPicture DecodeJpegScaled(std::span<const std::uint8_t> bytes, const JpegFrame& frame, std::uint8_t scaleCode)
{
    std::int32_t divisor = 1;
    const int mode = pictureMode(scaleCode, divisor) + (IJL_JBUFF_READPARAMS - IJL_JFILE_READPARAMS);
    const std::int32_t channels = frame.components == 1 ? 1 : 3;
    const std::int32_t width = (frame.width + divisor - 1) / divisor;
    const std::int32_t height = (frame.height + divisor - 1) / divisor;
    // The read would refuse a picture its bytes do not pay for at its
    // headers, after the raster had been sized for it: refused first, no
    // memory is taken for a picture that never comes.
    if (!withinWorkBound(frame, bytes.size()))
        throwJpegError(JERR_IMAGE_TOO_BIG);
    DecodedPicture picture;
    shapeRaster(picture.raster, channels, width, height);

    IjlRecord record;
    if (!record.init())
        throw EOutOfMemory(tr("Mémoire insuffisante"));
    JPEG_CORE_PROPERTIES& props = record.props();
    props.JPGBytes = bytes.data();
    props.JPGSizeBytes = static_cast<std::int64_t>(bytes.size());
    describeRaster(props, picture.raster.pixels(), width, height, channels);
    // The picture read parses the headers itself; the probe's frame sized
    // the raster, and the read refuses a block of another size.
    const int result = ijlRead(&props, mode);
    picture.warnings = props.warnings;
    switch (result) {
    case IJL_OK:
        return picture;
    case IJL_MEMORY_ERROR:
        throw EOutOfMemory(tr("Mémoire insuffisante"));
    case IJL_BAD_RECORD:
        // libjpeg read another frame than the probe did (one of a kind the
        // probe passes over comes first): the file has two.
        throwJpegError(JERR_SOF_DUPLICATE);
    default:
        throwJpegError(props.libjpegCode);
    }
}

namespace {

// Words of the encoder's origin, kept in both languages.
constexpr const char* kWriteError = trLater("Error writing JPEG to file");

// One write of the raster as a JPEG file, to memory or to JPGFile; the
// record holds the outcome.
int writeRaster(IjlRecord& record, const Bitmap24& raster, const std::string* file, std::int32_t quality)
{
    const int channels = Bitmap24::channelsOf(raster.pixelFormat());
    if (!record.init() || channels == 0)
        return IJL_BAD_RECORD;
    JPEG_CORE_PROPERTIES& props = record.props();
    // The library only reads the block; the record's field is not const
    // because the same field serves reads.
    describeRaster(props, const_cast<std::uint8_t*>(raster.pixels()), raster.width(), raster.height(), channels);
    props.JPGFile = file != nullptr ? file->c_str() : nullptr;
    props.JPGWidth = raster.width();
    props.JPGHeight = raster.height();
    props.JPGChannels = 3;
    props.JPGColor = IJL_YCBCR;
    props.jquality = quality;
    return ijlWrite(&props, file != nullptr ? IJL_JFILE_WRITEWHOLEIMAGE : IJL_JBUFF_WRITEWHOLEIMAGE);
}

} // namespace

std::vector<std::uint8_t> EncodeJpegBytes(const Bitmap24& raster, std::int32_t quality)
{
    IjlRecord record;
    const int result = writeRaster(record, raster, nullptr, quality);
    if (result == IJL_MEMORY_ERROR)
        throw EOutOfMemory(tr("Mémoire insuffisante pour encoder la vignette"));
    if (result != IJL_OK)
        throw EWriteError(tr(kWriteError));
    const JPEG_CORE_PROPERTIES& props = record.props();
    return std::vector<std::uint8_t>(props.JPGBytes, props.JPGBytes + props.JPGSizeBytes);
}

bool EncodeJpegFile(const Bitmap24& raster, const std::filesystem::path& path, std::int32_t quality)
{
    IjlRecord record;
    const std::string file = path.string();
    if (writeRaster(record, raster, &file, quality) != IJL_OK)
        throw EWriteError(withReason(format(tr("Error writing JPEG to file %1"), {file}), record.props().systemError));
    return true;
}

} // namespace tamblure::jpeg
