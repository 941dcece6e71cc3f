#include "jpeg/jpeg_image.h"

#include "common/errors.h"
#include "common/file_io.h"
#include "jpeg/jpeg_error.h"
#include "jpeg/libjpeg_trap.h"

#include <string>
#include <utility>

namespace tamblure::jpeg {

namespace {

struct MemorySource {
    j_decompress_ptr cinfo;
    const std::uint8_t* bytes;
    std::size_t size;
};

void readHeaderStep(void* arg)
{
    auto* job = static_cast<MemorySource*>(arg);
    jpeg_mem_src(job->cinfo, job->bytes, static_cast<unsigned long>(job->size));
    jpeg_read_header(job->cinfo, TRUE);
}

} // namespace

void TJPEGImage::loadFromFile(const std::filesystem::path& path)
{
    const PhotographBytes file(path);
    file.requireReadable();
    loadFromBytes({file.bytes().begin(), file.bytes().end()});
}

void TJPEGImage::loadFromBytes(std::vector<std::uint8_t> bytes)
{
    detail::Decompressor decoder;
    MemorySource source{&decoder.cinfo, bytes.data(), bytes.size()};
    if (!decoder.create() || !detail::runTrapped(decoder.trap, readHeaderStep, &source))
        throwJpegError(decoder.trap.code);
    width_ = static_cast<std::int32_t>(decoder.cinfo.image_width);
    height_ = static_cast<std::int32_t>(decoder.cinfo.image_height);
    bytes_ = std::move(bytes);
}

} // namespace tamblure::jpeg
