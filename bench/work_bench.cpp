// What the decoder's work bound is chosen from: for each file, its size, the
// blocks of its picture, the blocks its scans visit (counted as the bound
// counts them), and the CPU time libjpeg-turbo takes to decode it by each
// route the program uses, with no limit of the program's own: at 1/8, 1/4,
// 1/2 and full scale into blue, green, red rows (three-component files), and
// the full-size route of greyscale and CMYK files (float DCT, block
// smoothing; libjpeg's part of it). "coef" decodes the scans alone, without a pixel
// (jpeg_read_coefficients: the entropy decoder's share; it holds every
// coefficient, 128 bytes a block).
//
//   tamblure_work_bench [--modes s8,s4,s2,s1,full,coef] FILE...
//
// Prints one line per file and route: the CPU time, nanoseconds per visited
// block and per picture block, and libjpeg's memory once it has started (what
// malloc handed out, mallinfo2) against the share decode_memory.h counts for
// it.

#include "jpeg/decode_memory.h"
#include "jpeg/libjpeg_trap.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <malloc.h>
#include <sstream>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

struct Trap {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void errorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<Trap*>(cinfo->err)->jump, 1);
}
void quiet(j_common_ptr, int) {}

// The visits, counted as jpeg/libjpeg_trap.cpp counts them: every block of
// the components of each scan, once per scan.
struct Counter {
    jpeg_progress_mgr pub{};
    int scan = 0;
    unsigned long long visits = 0;
    unsigned long long picture = 0;
};

void count(j_common_ptr common)
{
    auto* cinfo = reinterpret_cast<j_decompress_ptr>(common);
    auto* counter = reinterpret_cast<Counter*>(common->progress);
    if (cinfo->input_scan_number == counter->scan || cinfo->comps_in_scan <= 0)
        return;
    counter->scan = cinfo->input_scan_number;
    counter->picture = 0;
    for (int c = 0; c < cinfo->num_components; ++c)
        counter->picture +=
            static_cast<unsigned long long>(cinfo->comp_info[c].width_in_blocks) * cinfo->comp_info[c].height_in_blocks;
    for (int c = 0; c < cinfo->comps_in_scan; ++c)
        counter->visits += static_cast<unsigned long long>(cinfo->cur_comp_info[c]->width_in_blocks) *
                           cinfo->cur_comp_info[c]->height_in_blocks;
}

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

std::size_t allocated()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

struct Result {
    bool ok = false;
    double seconds = 0;
    std::size_t libjpegBytes = 0; // malloc'ed by libjpeg once started
    std::uint64_t estimate = 0;   // decoderMemory of the frame
    Counter counter;
    int components = 0;
    bool progressive = false;
    bool arithmetic = false;
};

// One decode by the route `mode`; false when libjpeg refused the file.
Result decode(const std::vector<unsigned char>& bytes, const std::string& mode)
{
    Result r;
    Trap trap{};
    jpeg_decompress_struct cinfo{};
    cinfo.err = jpeg_std_error(&trap.pub);
    trap.pub.error_exit = errorExit;
    trap.pub.emit_message = quiet;
    std::vector<unsigned char> row;
    const std::size_t before = allocated();
    const double start = cpuSeconds();
    if (setjmp(trap.jump) == 0) {
        jpeg_create_decompress(&cinfo);
        cinfo.progress = &r.counter.pub;
        r.counter.pub.progress_monitor = count;
        jpeg_mem_src(&cinfo, bytes.data(), bytes.size());
        jpeg_read_header(&cinfo, TRUE);
        r.estimate = tamblure::jpeg::decoderMemory(tamblure::jpeg::detail::frameOf(&cinfo));
        r.components = cinfo.num_components;
        r.progressive = cinfo.progressive_mode != 0;
        r.arithmetic = cinfo.arith_code != 0;
        if (mode == "coef") {
            jpeg_read_coefficients(&cinfo);
            r.libjpegBytes = allocated() - before;
        } else {
            if (mode == "full") {
                cinfo.dct_method = JDCT_FLOAT;
                cinfo.do_block_smoothing = TRUE;
                if (cinfo.out_color_space == JCS_GRAYSCALE) {
                    // Quantised to 236 greys by the program's own quantizer.
                } else if (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK) {
                    cinfo.out_color_space = JCS_CMYK;
                } else {
                    cinfo.out_color_space = JCS_EXT_BGR;
                }
            } else {
                cinfo.scale_num = 1;
                cinfo.scale_denom = static_cast<unsigned>(std::stoi(mode.substr(1)));
                cinfo.out_color_space = JCS_EXT_BGR;
            }
            jpeg_start_decompress(&cinfo);
            r.libjpegBytes = allocated() - before;
            row.resize(static_cast<std::size_t>(cinfo.output_width) *
                       static_cast<std::size_t>(cinfo.output_components));
            JSAMPROW pointer = row.data();
            while (cinfo.output_scanline < cinfo.output_height)
                jpeg_read_scanlines(&cinfo, &pointer, 1);
        }
        r.ok = true;
    }
    r.seconds = cpuSeconds() - start;
    jpeg_destroy_decompress(&cinfo);
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> modes = {"s8", "s4", "s2", "s1", "full"};
    int first = 1;
    if (argc > 2 && std::strcmp(argv[1], "--modes") == 0) {
        modes.clear();
        std::stringstream list(argv[2]);
        for (std::string m; std::getline(list, m, ',');)
            modes.push_back(m);
        first = 3;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: %s [--modes s8,s4,s2,s1,full,coef] FILE...\n", argv[0]);
        return 2;
    }
    std::printf("%-44s %5s %10s %9s %10s %7s %7s %6s %9s %8s %8s %8s %8s\n", "file", "route", "bytes", "blocks",
                "visits", "blk/B", "vis/B", "ok", "cpu ms", "ns/vis", "ns/blk", "lib MB", "est MB");
    for (int i = first; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string name = argv[i];
        name = name.substr(name.find_last_of('/') + 1);
        for (const std::string& mode : modes) {
            const Result r = decode(bytes, mode);
            // The program's scaled route takes three-component files only,
            // its full-size route the others.
            const bool routed = mode == "coef" || (mode == "full") == (r.components != 3);
            if (!routed)
                continue;
            const auto visits = static_cast<double>(r.counter.visits);
            const auto blocks = static_cast<double>(r.counter.picture);
            const auto size = static_cast<double>(bytes.size());
            std::printf("%-44s %5s %10zu %9.0f %10.0f %7.3f %7.3f %6s %9.1f %8.1f %8.1f %8.1f %8.1f\n", name.c_str(),
                        mode.c_str(), bytes.size(), blocks, visits, blocks / size, visits / size, r.ok ? "yes" : "no",
                        r.seconds * 1e3, visits > 0 ? r.seconds * 1e9 / visits : 0.0,
                        blocks > 0 ? r.seconds * 1e9 / blocks : 0.0, static_cast<double>(r.libjpegBytes) / 1048576.0,
                        static_cast<double>(r.estimate) / 1048576.0);
            std::fflush(stdout);
        }
    }
    return 0;
}
