// Writes the hostile files that the decoder's work bound is measured on, one
// file each, into a folder: pictures of one colour and frames declaring far
// more rows than their data holds, in every coding (Huffman and arithmetic,
// sequential and progressive, restart markers after every MCU), grey, colour
// and CMYK, the progressive files of repeated refinement scans, and files of
// 2 MiB at the bound and just past it.
//
//   tamblure_make_hostile FOLDER [NAME_PART]
//
// With NAME_PART, only the files whose names hold it. The legitimate large
// photographs on the other side of the bound come from tamblure_make_corpus
// (bench/bound_bench makes both).

#include "support/hostile_jpeg.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using tamblure::test::FlatSpec;

FlatSpec spec(int side, int components, bool arithmetic, bool progressive)
{
    FlatSpec s;
    s.width = s.height = side;
    s.components = components;
    s.arithmetic = arithmetic;
    s.progressive = progressive;
    return s;
}

FlatSpec cut(FlatSpec s, int rows)
{
    s.encodedRows = rows;
    return s;
}

FlatSpec restarts(FlatSpec s, int interval)
{
    s.restartInterval = interval;
    return s;
}

FlatSpec repeated(FlatSpec s, int copies)
{
    s.repeatedLastScan = copies;
    return s;
}

// A picture right at the bound for a file of 2 MiB, comments filling the
// file, its AC refined bit by bit from bit 10: the most passes the decoder
// allows over the most blocks such a file may declare.
FlatSpec atTheBound(FlatSpec s)
{
    s.refinements = 10;
    s.fileBytes = std::size_t{2} << 20;
    return s;
}

std::vector<FlatSpec> hostileFiles()
{
    constexpr bool arith = true, huff = false, prog = true, seq = false;
    return {
        // Arithmetic: a block of one colour costs a few bits' hundredth.
        cut(spec(65500, 3, arith, seq), 16),
        cut(spec(65500, 1, arith, seq), 16),
        cut(spec(65500, 4, arith, seq), 16),
        cut(spec(65500, 3, arith, prog), 16),
        cut(spec(65500, 1, arith, prog), 16),
        restarts(cut(spec(65500, 3, arith, seq), 16), 1),
        spec(18900, 3, arith, seq),
        spec(18900, 1, arith, seq),
        spec(18900, 4, arith, seq),
        restarts(spec(18900, 4, arith, seq), 16),
        cut(spec(18900, 4, arith, prog), 16),
        repeated(spec(4000, 3, arith, prog), 600),
        restarts(cut(spec(18900, 1, arith, prog), 16), 1),
        // Huffman: the data ends early, libjpeg fills the rest.
        cut(spec(65500, 3, huff, seq), 16),
        cut(spec(65500, 1, huff, seq), 16),
        cut(spec(18900, 3, huff, seq), 16),
        cut(spec(18900, 4, huff, seq), 16),
        restarts(cut(spec(65500, 3, huff, seq), 16), 1),
        cut(spec(65500, 3, huff, prog), 16),
        cut(spec(65500, 1, huff, prog), 16),
        // Refinement scans repeated over a flat picture.
        repeated(spec(4000, 3, huff, prog), 600),
        repeated(spec(12000, 3, huff, prog), 990),
        restarts(cut(spec(18900, 1, huff, prog), 16), 1),
        // At the bound for 2 MiB, and just past it.
        atTheBound(spec(9272, 1, arith, prog)),
        atTheBound(spec(9280, 1, arith, prog)),
        atTheBound(spec(7568, 3, arith, prog)),
        atTheBound(spec(4632, 4, arith, prog)),
        atTheBound(spec(9272, 1, huff, prog)),
    };
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s FOLDER [NAME_PART]\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const std::string part = argc == 3 ? argv[2] : "";
    for (const FlatSpec& s : hostileFiles()) {
        const std::string name = tamblure::test::describe(s);
        if (name.find(part) == std::string::npos)
            continue;
        const std::vector<std::uint8_t> bytes = tamblure::test::makeFlatJpeg(s);
        const std::string path = folder + "/" + name + ".jpg";
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::perror(path.c_str());
            return 1;
        }
        std::printf("%-48s %9zu bytes\n", name.c_str(), bytes.size());
    }
    return 0;
}
