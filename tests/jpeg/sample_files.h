#pragma once

// JPEG files holding given samples (random pictures, photographs turned grey
// or into ink), and libjpeg's own full-size greyscale decoding of them, for
// the tests that hold the full-size route to libjpeg and to the whole-raster
// path byte for byte.

#include "imaging/bitmap24.h"

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace tamblure::test {

// How the samples given to encodeSamples are laid out and stored.
enum class SampleLayout {
    Grey,      // one sample per pixel
    Rgb,       // red, green, blue; stored as YCbCr
    AdobeCmyk, // four inks per pixel, Adobe's inverted convention, APP14 kept
    PlainCmyk, // the same bytes, APP14 removed: libjpeg then reads them uninverted
    AdobeYcck, // four inks per pixel, stored as YCCK (always with APP14)
};

struct SampleOptions {
    int quality = 92;
    bool progressive = false;
    bool arithmetic = false;
    std::vector<std::uint8_t> iccProfile = {}; // written in APP2 segments when not empty
};

// The file libjpeg makes of the samples (top row first, tightly packed).
// Throws std::runtime_error when libjpeg refuses them.
std::vector<std::uint8_t> encodeSamples(const std::vector<std::uint8_t>& samples, int width, int height,
                                        SampleLayout layout, const SampleOptions& options = {});

// The samples of a random picture that, once encoded and decoded, has in
// each of its `components` channels every kind of neighbourhood the
// dithering and the reductions can meet: noise over the whole range, smooth
// ramps, and flat black and white patches (where a corrected grey passes 255
// and is range-limited).
std::vector<std::uint8_t> randomSamples(int width, int height, int components, std::mt19937& random);

// libjpeg's decoding of a greyscale file at full size with the full-size
// route's parameters (float DCT, block smoothing), rows top first. With
// quantized, libjpeg's 236-colour quantizer with its default dithering runs
// too and each pixel is the grey of its palette entry (libjpeg's colour map,
// also given as palette); without, the samples are as the decoder leaves them.
struct GreyPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> greys;
    std::vector<std::uint8_t> palette;
};
GreyPicture libjpegGreys(const std::vector<std::uint8_t>& file, bool quantized);

// What the full-size route must give for a file, worked out with libjpeg
// alone: the decode with the route's parameters at full size, as a 24-bit
// raster. Grey pictures go through libjpeg's own 236-grey quantizer; CMYK
// and YCCK pictures are turned into colour by the plain formula (each colour
// its ink's complement scaled by the black's, Adobe's inks stored as that
// complement already). Throws std::runtime_error ("libjpeg error N") when
// libjpeg refuses the file.
imaging::Bitmap24 libjpegFullSize(const std::vector<std::uint8_t>& file);

// The CMYK profile the colour-management tests embed: Ghostscript's default
// (Debian's libgs10-common, which the set-up installs).
std::filesystem::path cmykProfilePath();

// jpgicc (Debian's liblcms2-utils), LittleCMS's own tool, turning the JPEG
// file `in` into `out` with the given options, at quality 100. Throws
// std::runtime_error when it fails.
void runJpgicc(const std::string& options, const std::filesystem::path& in, const std::filesystem::path& out);

// The mean colour difference (CIE76 ΔE) of two 24-bit sRGB rasters of one
// size, pixel by pixel, through CIELAB (D50, as LittleCMS gives it).
double meanDeltaE(const imaging::Bitmap24& a, const imaging::Bitmap24& b);

} // namespace tamblure::test
