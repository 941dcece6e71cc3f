#include "bench_photograph.h"

#include <cstddef>
#include <cstdio>
#include <random>
#include <stdexcept>
#include <string>

#include <jpeglib.h>

namespace tamblure::bench {

BenchPhotograph::BenchPhotograph(const char* name, const PhotographSpec& spec, const std::vector<unsigned char>& pixels)
{
    path_ = std::filesystem::temp_directory_path() /
            ("tamblure-bench-" + std::string(name) + "-" + std::to_string(std::random_device{}()) + ".jpg");
    std::FILE* file = std::fopen(path_.c_str(), "wb");
    if (file == nullptr)
        throw std::runtime_error("cannot create " + path_.string());
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, file);
    c.image_width = static_cast<JDIMENSION>(spec.width);
    c.image_height = static_cast<JDIMENSION>(spec.height);
    c.input_components = spec.components;
    c.in_color_space = spec.components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, spec.quality, TRUE);
    if (spec.components == 3) {
        c.comp_info[0].h_samp_factor = 2;
        c.comp_info[0].v_samp_factor = 2;
    }
    jpeg_start_compress(&c, TRUE);
    if (!spec.exif.empty())
        jpeg_write_marker(&c, JPEG_APP0 + 1, spec.exif.data(), static_cast<unsigned>(spec.exif.size()));
    const std::size_t line = static_cast<std::size_t>(spec.width) * static_cast<std::size_t>(spec.components);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<unsigned char*>(pixels.data()) + static_cast<std::size_t>(c.next_scanline) * line;
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(file);
}

BenchPhotograph::~BenchPhotograph()
{
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}

} // namespace tamblure::bench
