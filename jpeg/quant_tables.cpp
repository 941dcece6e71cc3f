#include "jpeg/quant_tables.h"

#include "common/byte_reader.h"
#include "jpeg/jpeg_util.h"
#include "jpeg/libjpeg_trap.h"

#include <array>
#include <optional>

namespace tamblure::jpeg {

namespace {

using Table = std::array<std::uint16_t, 64>;

// The place in natural (row by row) order of the k-th value of a table as
// a file stores it, in zig-zag order.
constexpr std::array<std::uint8_t, 64> kNaturalOrder = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

struct EncoderTables {
    bool made = false;
    Table tables[2]{};
};

void makeStep(void* arg)
{
    auto* job = static_cast<std::pair<jpeg_compress_struct*, int>*>(arg);
    jpeg_compress_struct* cinfo = job->first;
    jpeg_create_compress(cinfo);
    cinfo->in_color_space = JCS_RGB;
    cinfo->input_components = 3;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, job->second, TRUE);
}

// The tables as the encoder sets them (IJL's write: defaults, then the
// quality with baseline values), in natural order.
EncoderTables encoderTables(int quality)
{
    EncoderTables out;
    detail::ErrorTrap trap;
    jpeg_compress_struct cinfo{};
    cinfo.err = detail::installErrorTrap(trap);
    std::pair<jpeg_compress_struct*, int> job{&cinfo, quality};
    out.made = detail::runTrapped(trap, makeStep, &job);
    if (out.made) {
        for (int t = 0; t < 2; ++t)
            for (int i = 0; i < 64; ++i)
                out.tables[t][static_cast<std::size_t>(i)] = cinfo.quant_tbl_ptrs[t]->quantval[i];
    }
    jpeg_destroy_compress(&cinfo);
    return out;
}

// The file's tables 0 and 1 from its DQT segments before the first scan, in
// natural order; nothing when either is missing or a segment is damaged.
std::optional<std::array<Table, 2>> fileTables(std::span<const std::uint8_t> bytes)
{
    const std::optional<std::size_t> scan = FirstScanOffset(bytes);
    if (!scan)
        return std::nullopt;
    std::array<Table, 2> tables{};
    bool found[2] = {false, false};
    const ByteReader file(bytes.first(*scan));
    // Segments before the scan: FF, code, then a length counting itself.
    std::size_t pos = 2;
    while (pos + 4 <= *scan) {
        std::uint8_t marker = 0, code = 0;
        std::uint16_t length = 0;
        if (!file.u8At(pos, marker) || !file.u8At(pos + 1, code) || !file.u16At(pos + 2, length) || marker != 0xFF ||
            length < 2)
            return std::nullopt;
        if (code == 0xDB) {
            // DQT: entries of Pq/Tq (1) and 64 values of 1 or 2 bytes.
            std::size_t at = pos + 4;
            const std::size_t end = pos + 2 + length;
            while (at < end) {
                std::uint8_t pqTq = 0;
                if (!file.u8At(at++, pqTq))
                    return std::nullopt;
                const bool wide = (pqTq >> 4) != 0;
                const std::size_t table = pqTq & 15;
                Table values{};
                for (std::size_t k = 0; k < 64; ++k) {
                    std::uint16_t value = 0;
                    std::uint8_t narrow = 0;
                    if (wide ? !file.u16At(at, value) : !file.u8At(at, narrow))
                        return std::nullopt;
                    at += wide ? 2 : 1;
                    values[kNaturalOrder[k]] = wide ? value : narrow;
                }
                if (table < 2) {
                    tables[table] = values;
                    found[table] = true;
                }
            }
        }
        pos += 2 + static_cast<std::size_t>(length);
    }
    if (!found[0] || !found[1])
        return std::nullopt;
    return tables;
}

} // namespace

bool HasEncoderTables(std::span<const std::uint8_t> bytes, int quality)
{
    const auto tables = fileTables(bytes);
    if (!tables)
        return false;
    const EncoderTables encoder = encoderTables(quality);
    return encoder.made && (*tables)[0] == encoder.tables[0] && (*tables)[1] == encoder.tables[1];
}

} // namespace tamblure::jpeg
