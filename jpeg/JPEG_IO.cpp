#include "jpeg/JPEG_IO.h"

#include "common/errors.h"
#include "common/system_reason.h"
#include "jpeg/IJL.h"
#include "jpeg/jpeg_error.h"

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

} // namespace

namespace {

// Points the record at the input: the file's name, or its bytes. The modes
// of a read of either kind differ by one: JBUFF = JFILE + 1.
int aimAt(JPEG_CORE_PROPERTIES& props, const JpegInput& input, const std::string& file)
{
    if (!input.read) {
        props.JPGFile = file.c_str();
        return 0;
    }
    props.JPGBytes = input.bytes.data();
    props.JPGSizeBytes = static_cast<std::int64_t>(input.bytes.size());
    return IJL_JBUFF_READPARAMS - IJL_JFILE_READPARAMS;
}

} // namespace

bool DecodeJpegFile(Bitmap24* raster, const std::filesystem::path& path, bool setFormat, std::uint8_t scaleCode,
                    std::int32_t* libjpegCode)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        if (libjpegCode != nullptr)
            *libjpegCode = 0;
        return false;
    }
    return DecodeJpegFile(raster, JpegInput::file(path), setFormat, scaleCode, libjpegCode);
}

bool DecodeJpegFile(Bitmap24* raster, const JpegInput& input, bool setFormat, std::uint8_t scaleCode,
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
    const std::string file = input.path.string();
    const int kind = aimAt(props, input, file);
    if (ijlRead(&props, IJL_JFILE_READPARAMS + kind) != IJL_OK) {
        if (libjpegCode != nullptr)
            *libjpegCode = props.libjpegCode;
        return false;
    }

    int mode = IJL_JFILE_READWHOLEIMAGE;
    std::int32_t divisor = 1;
    switch (scaleCode) {
    case 1:
        mode = IJL_JFILE_READONEHALF;
        divisor = 2;
        break;
    case 2:
        mode = IJL_JFILE_READONEQUARTER;
        divisor = 4;
        break;
    case 3:
        mode = IJL_JFILE_READONEEIGHTH;
        divisor = 8;
        break;
    default:
        break;
    }
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
        if (channels == 1) {
            raster->setPixelFormat(PixelFormat::Bits8);
            raster->setGreyRamp();
        } else {
            raster->setPixelFormat(PixelFormat::Bits24);
        }
    }
    raster->setWidth(width);
    raster->setHeight(height);
    std::uint8_t* pixels = raster->pixels();
    if (pixels == nullptr)
        return false;

    describeRaster(props, pixels, width, height, channels);
    if (ijlRead(&props, mode + kind) >= 0)
        return true;
    if (libjpegCode != nullptr)
        *libjpegCode = props.libjpegCode;
    return false;
}

void ReadJpegSize(const JpegInput& input, std::int32_t& width, std::int32_t& height)
{
    IjlRecord record;
    if (!record.init())
        throw EOutOfMemory("Mémoire insuffisante");
    JPEG_CORE_PROPERTIES& props = record.props();
    const std::string file = input.path.string();
    switch (ijlRead(&props, IJL_JFILE_READPARAMS + aimAt(props, input, file))) {
    case IJL_OK:
        width = props.JPGWidth;
        height = props.JPGHeight;
        return;
    case IJL_FILE_ERROR:
        throw EFOpenError(openErrorMessage(file, props.systemError));
    case IJL_MEMORY_ERROR:
        throw EOutOfMemory("Mémoire insuffisante");
    default:
        throwJpegError(props.libjpegCode);
    }
}

namespace {

constexpr std::string_view kWriteError = "Error writing JPEG to file";

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
        throw EOutOfMemory("Mémoire insuffisante pour encoder la vignette");
    if (result != IJL_OK)
        throw EWriteError(std::string(kWriteError));
    const JPEG_CORE_PROPERTIES& props = record.props();
    return std::vector<std::uint8_t>(props.JPGBytes, props.JPGBytes + props.JPGSizeBytes);
}

bool EncodeJpegFile(const Bitmap24& raster, const std::filesystem::path& path, std::int32_t quality)
{
    IjlRecord record;
    const std::string file = path.string();
    if (writeRaster(record, raster, &file, quality) != IJL_OK)
        throw EWriteError(withReason(std::string(kWriteError) + " " + file, record.props().systemError));
    return true;
}

} // namespace tamblure::jpeg
