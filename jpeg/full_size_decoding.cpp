#include "jpeg/full_size_decoding.h"

namespace tamblure::jpeg::detail {

void setFullSizeParameters(j_decompress_ptr cinfo, bool quantizeGrey)
{
    cinfo->scale_num = 1;
    cinfo->scale_denom = 1;
    cinfo->dct_method = JDCT_FLOAT;
    cinfo->do_block_smoothing = TRUE;
    if (cinfo->out_color_space == JCS_GRAYSCALE) {
        if (quantizeGrey) {
            cinfo->quantize_colors = TRUE;
            cinfo->desired_number_of_colors = 236;
        }
    } else if (cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK) {
        // libjpeg gives no RGB from four components; CMYK is turned into
        // blue, green, red by cmykToBgr.
        cinfo->out_color_space = JCS_CMYK;
    } else {
        // Two-component and unknown colour spaces make libjpeg raise its
        // conversion error at the start, which the caller reports.
        cinfo->out_color_space = JCS_EXT_BGR;
    }
}

void cmykToBgr(const unsigned char* cmyk, unsigned char* bgr, std::size_t width, bool adobeInverted)
{
    for (std::size_t x = 0; x < width; ++x) {
        const unsigned char* ink = cmyk + 4 * x;
        unsigned c = ink[0], m = ink[1], y = ink[2], k = ink[3];
        if (!adobeInverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        unsigned char* pixel = bgr + 3 * x;
        pixel[0] = static_cast<unsigned char>((y * k + 127) / 255);
        pixel[1] = static_cast<unsigned char>((m * k + 127) / 255);
        pixel[2] = static_cast<unsigned char>((c * k + 127) / 255);
    }
}

} // namespace tamblure::jpeg::detail
