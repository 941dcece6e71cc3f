// Makes a folder of photograph-like JPEG files for the peer benchmark:
// smooth shapes, texture at several scales and sensor noise (no flat
// colour, which would flatter every decoder), each file with a camera-like
// EXIF segment holding a small preview, as cameras write them.
//
//   tamblure_make_corpus FOLDER COUNT WIDTH HEIGHT [--progressive] [--arithmetic] [--grey | --cmyk] [--quality Q]
//
// --arithmetic codes the data with libjpeg's arithmetic coder instead of
// Huffman tables, as a few encoders can.
// --cmyk writes the colour picture as Adobe CMYK (the inverted inks of red,
// green and blue, and a black that varies across the picture), as prepress
// software does; its preview stays in colour.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

// A value-noise field: random values on a coarse grid, smoothly interpolated.
class ValueNoise {
public:
    ValueNoise(int cell, std::uint32_t seed) : cell_(cell)
    {
        std::mt19937 random(seed);
        for (auto& v : grid_)
            v = static_cast<float>(random() % 1000) / 1000.0f;
    }
    float at(int x, int y) const
    {
        const float fx = static_cast<float>(x) / static_cast<float>(cell_);
        const float fy = static_cast<float>(y) / static_cast<float>(cell_);
        const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
        const float tx = smooth(fx - static_cast<float>(ix)), ty = smooth(fy - static_cast<float>(iy));
        const float a = value(ix, iy), b = value(ix + 1, iy), c = value(ix, iy + 1), d = value(ix + 1, iy + 1);
        return (a + (b - a) * tx) * (1 - ty) + (c + (d - c) * tx) * ty;
    }

private:
    static float smooth(float t) { return t * t * (3 - 2 * t); }
    float value(int x, int y) const
    {
        return grid_[(static_cast<unsigned>(x) * 73856093u ^ static_cast<unsigned>(y) * 19349663u) % kSize];
    }
    static constexpr unsigned kSize = 4096;
    int cell_;
    float grid_[kSize];
};

void put16(std::vector<std::uint8_t>& b, unsigned v)
{
    b.push_back(v & 0xFF);
    b.push_back(v >> 8 & 0xFF);
}
void put32(std::vector<std::uint8_t>& b, unsigned v)
{
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

// A little-endian EXIF segment: first directory (Make, Model, Orientation,
// DateTime, pointer to the EXIF directory, pointer to the preview's
// directory), the EXIF directory (exposure, ISO, dates, pixel sizes) and the
// preview directory with its JPEG bytes.
std::vector<std::uint8_t> exifSegment(int width, int height, const std::vector<std::uint8_t>& preview)
{
    struct Entry {
        unsigned tag, type, count, value;
        std::vector<std::uint8_t> data;
    };
    const std::string make = "Tamblure Bench Camera", model = "TB-24 Mark II", date = "2026:12:07 12:00:00";
    auto ascii = [](const std::string& s) {
        std::vector<std::uint8_t> v(s.begin(), s.end());
        v.push_back(0);
        return v;
    };
    std::vector<Entry> ifd0 = {{0x010F, 2, unsigned(make.size() + 1), 0, ascii(make)},
                               {0x0110, 2, unsigned(model.size() + 1), 0, ascii(model)},
                               {0x0112, 3, 1, 1, {}},
                               {0x0132, 2, unsigned(date.size() + 1), 0, ascii(date)},
                               {0x8769, 4, 1, 0, {}}};
    std::vector<Entry> exif = {{0x829A, 5, 1, 0, {1, 0, 0, 0, 250, 0, 0, 0}},
                               {0x829D, 5, 1, 0, {56, 0, 0, 0, 10, 0, 0, 0}},
                               {0x8827, 3, 1, 200, {}},
                               {0x9003, 2, unsigned(date.size() + 1), 0, ascii(date)},
                               {0xA002, 4, 1, unsigned(width), {}},
                               {0xA003, 4, 1, unsigned(height), {}}};
    std::vector<Entry> ifd1 = {
        {0x0103, 3, 1, 6, {}}, {0x0201, 4, 1, 0, {}}, {0x0202, 4, 1, unsigned(preview.size()), {}}};

    auto dirSize = [](const std::vector<Entry>& d) {
        std::size_t s = 2 + 12 * d.size() + 4;
        for (auto& e : d)
            if (e.data.size() > 4)
                s += e.data.size();
        return s;
    };
    const unsigned ifd0At = 8, exifAt = ifd0At + unsigned(dirSize(ifd0)), ifd1At = exifAt + unsigned(dirSize(exif));
    const unsigned previewAt = ifd1At + unsigned(dirSize(ifd1));
    ifd0[4].value = exifAt;
    ifd1[1].value = previewAt;

    std::vector<std::uint8_t> tiff = {'I', 'I', 42, 0};
    put32(tiff, ifd0At);
    auto writeDir = [&](std::vector<Entry>& d, unsigned at, unsigned next) {
        unsigned extra = at + 2 + 12 * unsigned(d.size()) + 4;
        put16(tiff, unsigned(d.size()));
        std::vector<std::uint8_t> tail;
        for (auto& e : d) {
            put16(tiff, e.tag);
            put16(tiff, e.type);
            put32(tiff, e.count);
            if (e.data.size() > 4) {
                put32(tiff, extra + unsigned(tail.size()));
                tail.insert(tail.end(), e.data.begin(), e.data.end());
            } else if (!e.data.empty()) {
                auto v = e.data;
                v.resize(4);
                tiff.insert(tiff.end(), v.begin(), v.end());
            } else if (e.type == 3) {
                put16(tiff, e.value);
                put16(tiff, 0);
            } else
                put32(tiff, e.value);
        }
        put32(tiff, next);
        tiff.insert(tiff.end(), tail.begin(), tail.end());
    };
    writeDir(ifd0, ifd0At, ifd1At);
    writeDir(exif, exifAt, 0);
    writeDir(ifd1, ifd1At, 0);
    tiff.insert(tiff.end(), preview.begin(), preview.end());

    // Sized at once: growing a six-byte vector by the insert makes g++ 12
    // warn about a read it does not make (-Wstringop-overread).
    std::vector<std::uint8_t> payload(6 + tiff.size());
    std::copy_n("Exif\0\0", 6, payload.begin());
    std::copy(tiff.begin(), tiff.end(), payload.begin() + 6);
    return payload;
}

std::vector<std::uint8_t> encode(const std::vector<std::uint8_t>& pixels, int width, int height, int components,
                                 int quality, bool progressive, bool arithmetic, const std::vector<std::uint8_t>* exif)
{
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = static_cast<JDIMENSION>(width);
    c.image_height = static_cast<JDIMENSION>(height);
    c.input_components = components;
    c.in_color_space = components == 4 ? JCS_CMYK : components == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    c.arith_code = arithmetic ? TRUE : FALSE;
    if (progressive)
        jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    if (exif)
        jpeg_write_marker(&c, JPEG_APP0 + 1, exif->data(), static_cast<unsigned>(exif->size()));
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + static_cast<std::size_t>(c.next_scanline) *
                                                                static_cast<std::size_t>(width) *
                                                                static_cast<std::size_t>(components));
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<std::uint8_t> bytes(out, out + size);
    jpeg_destroy_compress(&c);
    std::free(out);
    return bytes;
}

// Adobe stores each ink inverted: the stored value is the colour it leaves,
// scaled by the black's, which here fades across the picture.
std::vector<std::uint8_t> adobeInks(const std::vector<std::uint8_t>& rgb, int width)
{
    const std::size_t pixels = rgb.size() / 3;
    std::vector<std::uint8_t> inks(pixels * 4);
    for (std::size_t i = 0; i < pixels; ++i) {
        inks[4 * i] = rgb[3 * i];
        inks[4 * i + 1] = rgb[3 * i + 1];
        inks[4 * i + 2] = rgb[3 * i + 2];
        inks[4 * i + 3] =
            static_cast<std::uint8_t>(255 - i % static_cast<std::size_t>(width) * 64 / static_cast<std::size_t>(width));
    }
    return inks;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::fprintf(
            stderr,
            "usage: %s FOLDER COUNT WIDTH HEIGHT [--progressive] [--arithmetic] [--grey | --cmyk] [--quality Q]\n",
            argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const int count = std::atoi(argv[2]), width = std::atoi(argv[3]), height = std::atoi(argv[4]);
    bool progressive = false, arithmetic = false, grey = false, cmyk = false;
    int quality = 92;
    for (int i = 5; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--progressive"))
            progressive = true;
        else if (!std::strcmp(argv[i], "--arithmetic"))
            arithmetic = true;
        else if (!std::strcmp(argv[i], "--grey"))
            grey = true;
        else if (!std::strcmp(argv[i], "--cmyk"))
            cmyk = true;
        else if (!std::strcmp(argv[i], "--quality") && i + 1 < argc)
            quality = std::atoi(argv[++i]);
    }
    const int components = grey ? 1 : 3;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                                     static_cast<std::size_t>(components));
    for (int n = 0; n < count; ++n) {
        const auto seed = static_cast<std::uint32_t>(n * 7919 + width);
        ValueNoise large(width / 6 + 1, seed), medium(97, seed + 1), fine(11, seed + 2);
        std::mt19937 random(seed + 3);
        std::normal_distribution<float> sensor(0.0f, 6.0f);
        const float hue = static_cast<float>(n % 7) / 7.0f;
        for (int y = 0; y < height; ++y) {
            std::uint8_t* row = pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) *
                                                    static_cast<std::size_t>(components);
            for (int x = 0; x < width; ++x) {
                const float light = 40 + 150 * large.at(x, y) + 45 * medium.at(x, y) + 20 * fine.at(x, y);
                for (int c = 0; c < components; ++c) {
                    const float tint = components == 1
                                           ? 1.0f
                                           : 0.75f + 0.5f * std::sin(6.2832f * (hue + 0.33f * static_cast<float>(c)) +
                                                                     0.002f * static_cast<float>(x));
                    const float v = light * tint + sensor(random);
                    row[x * components + c] = static_cast<std::uint8_t>(std::clamp(v, 0.0f, 255.0f));
                }
            }
        }
        // A 160 x 120 preview, as cameras embed one in their EXIF data.
        std::vector<std::uint8_t> small(160 * 120 * static_cast<std::size_t>(components));
        for (int y = 0; y < 120; ++y)
            for (int x = 0; x < 160; ++x)
                for (int c = 0; c < components; ++c)
                    small[(static_cast<std::size_t>(y) * 160 + static_cast<std::size_t>(x)) *
                              static_cast<std::size_t>(components) +
                          static_cast<std::size_t>(c)] =
                        pixels[(static_cast<std::size_t>(y * height / 120) * static_cast<std::size_t>(width) +
                                static_cast<std::size_t>(x * width / 160)) *
                                   static_cast<std::size_t>(components) +
                               static_cast<std::size_t>(c)];
        const auto preview = encode(small, 160, 120, components, 80, false, false, nullptr);
        const auto exif = exifSegment(width, height, preview);
        const auto bytes =
            cmyk ? encode(adobeInks(pixels, width), width, height, 4, quality, progressive, arithmetic, &exif)
                 : encode(pixels, width, height, components, quality, progressive, arithmetic, &exif);
        char name[64];
        std::snprintf(name, sizeof name, "/IMG_%04d.jpg", n + 1);
        FILE* f = std::fopen((folder + name).c_str(), "wb");
        if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
            std::perror((folder + name).c_str());
            return 1;
        }
        std::fclose(f);
    }
    return 0;
}
