#pragma once

// How the codec files call libjpeg. libjpeg reports a fatal error by calling
// its error manager's error_exit, which must not return; ours longjmps back
// to runTrapped. Every libjpeg call that can fail runs inside a step handed to
// runTrapped, and a step holds no C++ object with a destructor, so the jump
// never skips one. Resources (the decompressor, files, buffers) belong to the
// callers of runTrapped, which release them by RAII whatever the outcome.

#include "jpeg/decode_memory.h"
#include "jpeg/jpeg_util.h"

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <jpeglib.h>

#include "jpeg/decoded_picture.h"

namespace tamblure::jpeg::detail {

// What one decoder may allocate: a progressive file claiming 65500 × 65500
// pixels would need gigabytes for its coefficients; libjpeg refuses instead.
// Together with the rest of a run it keeps a decode under 512 MB. Within it,
// a decoder is held to what its frame needs (decoderMemory, decode_memory.h).
inline constexpr long kMaxDecoderMemory = 448L * 1024 * 1024;
// A progressive file of thousands of tiny scans costs a pass over the whole
// picture per scan; real encoders write about ten.
inline constexpr int kMaxScans = 1000;

// What a decode costs is the blocks of 8 × 8 samples of the picture its frame
// declares, times the passes its scans make over them, whatever the file
// holds: libjpeg fills in what the data does not reach, and an arithmetic
// coder spends a few hundredths of a bit on a block that repeats its
// neighbour (a picture of 18900 × 18900 pixels of one colour takes 208
// bytes, and a frame may declare 65500 × 65500). Both factors are bounded.
//
// The blocks: a file's bytes pay for its picture. Any file may declare
// kFreeBlocks blocks, and each kilobyte of it kBlocksPerKilobyte more; a
// larger picture is refused from its headers, before the decoder or its
// caller allocates anything of its size (a raster of the full size under a
// factor of 1). The costliest file of 2 MiB, a greyscale progressive picture
// of one colour at the bound (1.34 million blocks, every block passed over
// kMaxPasses times) made at factor 1 (widened to 24 bits and encoded again),
// takes 1.4 s of CPU and 430 MB on a 2-core machine: the data paid for, not
// the frame, decides what a small file costs. Real photographs have 0.03 to
// 0.15 blocks a byte (camera files, 100-megapixel photographs at quality 92;
// 0.42 for the most compressed camera file seen), up to 0.5 re-encoded at
// quality 30 with arithmetic coding. The free blocks cover any picture of 22
// megapixels in colour (33 in grey) however few its bytes; past them the
// kilobytes pay for every colour photograph of half a bit a pixel (a third
// in grey), and, thanks to the free blocks, for one of 0.42 block a byte up
// to 300 megapixels.
inline constexpr std::uint64_t kFreeBlocks = std::uint64_t{1} << 19;
inline constexpr std::uint64_t kBlocksPerKilobyte = 400;
// The passes: the blocks visited by the scans, at most this many times every
// block of the picture. Each scan visits every block of its components,
// however few bytes it takes (a scan of a flat picture is a handful of
// bytes), so the count of scans alone does not bound the work: a file of one
// megabyte repeating a refinement scan of a 12000 × 12000 picture a thousand
// times held a decoder for minutes. Real encoders pass five or six times over
// each block (libjpeg's and mozjpeg's progressions), baseline files once.
inline constexpr int kMaxPasses = 12;
// A scan that refines bits already refined (libjpeg's "inconsistent
// progression" warning) adds nothing to the picture; such scans still
// decode, as a few of them come from careless encoders, but each counts as
// this many passes, so that a file repeating one is refused early.
inline constexpr int kUselessScanWeight = 4;

// The blocks a file of fileBytes bytes may declare.
std::uint64_t affordableBlocks(std::uint64_t fileBytes);

struct ErrorTrap {
    jpeg_error_mgr pub; // first member: libjpeg sees only this part
    std::jmp_buf jump;
    int code = 0;          // libjpeg's message code of the last fatal error
    JpegWarnings warnings; // what libjpeg warned of so far
};

// Fills trap.pub with libjpeg's standard manager, fatal errors jumping back
// to runTrapped, warnings noted in trap.warnings and nothing printed.
// Returns &trap.pub for the err field of a compress or decompress record.
jpeg_error_mgr* installErrorTrap(ErrorTrap& trap);

// Runs step(arg) with the trap armed. True when the step returned, false when
// libjpeg raised a fatal error inside it (its code is then in trap.code).
bool runTrapped(ErrorTrap& trap, void (*step)(void*), void* arg);

// The progress record that counts a decoder's work.
struct WorkLimit {
    jpeg_progress_mgr pub{}; // first member: libjpeg sees only this part
    int scanCounted = 0;     // the last scan whose blocks were counted
    int uselessScan = 0;     // the last scan libjpeg found inconsistent
    unsigned long long blocksVisited = 0;
};

// The decoder limits above. Call right after jpeg_create_decompress; the
// progress record must live as long as the decompressor. A file past a limit
// fails with libjpeg's JERR_BAD_PROGRESSION (scans, passes) or
// JERR_NO_BACKING_STORE (memory).
void limitDecoder(j_decompress_ptr cinfo, WorkLimit& limit);

// The limits that the headers decide. Call right after jpeg_read_header, in
// the same trapped step, with the size of the whole file: refuses a picture
// of more blocks than affordableBlocks(fileBytes) with JERR_IMAGE_TOO_BIG,
// and holds libjpeg to decoderMemory of the frame (at most
// kMaxDecoderMemory).
void limitPicture(j_decompress_ptr cinfo, std::uint64_t fileBytes);

// The frame that jpeg_read_header has read; in a trapped step.
JpegFrame frameOf(j_decompress_ptr cinfo);

// RAII for a decompressor whose creation happened in a trapped step.
struct Decompressor {
    ErrorTrap trap;
    jpeg_decompress_struct cinfo{};
    WorkLimit limit;
    bool created = false;

    Decompressor() { cinfo.err = installErrorTrap(trap); }
    ~Decompressor()
    {
        if (created)
            jpeg_destroy_decompress(&cinfo);
    }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    // jpeg_create_decompress and the limits, inside the trap.
    bool create();
};

} // namespace tamblure::jpeg::detail
