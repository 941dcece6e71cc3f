#pragma once

// How the codec files call libjpeg. libjpeg reports a fatal error by calling
// its error manager's error_exit, which must not return; ours longjmps back
// to runTrapped. Every libjpeg call that can fail runs inside a step handed to
// runTrapped, and a step holds no C++ object with a destructor, so the jump
// never skips one. Resources (the decompressor, files, buffers) belong to the
// callers of runTrapped, which release them by RAII whatever the outcome.

#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include "jpeg/decoded_picture.h"

namespace tamblure::jpeg::detail {

// What one decoder may allocate: a progressive file claiming 65500 × 65500
// pixels would need gigabytes for its coefficients; libjpeg refuses instead.
// Together with the rest of a run it keeps a decode under 512 MB.
inline constexpr long kMaxDecoderMemory = 448L * 1024 * 1024;
// A progressive file of thousands of tiny scans costs a pass over the whole
// picture per scan; real encoders write about ten.
inline constexpr int kMaxScans = 1000;
// The decoder's work, counted in blocks of 8 × 8 coefficients visited by the
// scans: at most this many passes over every block of the picture. Each scan
// visits every block of its components, however few bytes it takes (a scan
// of a flat picture is a handful of bytes), so the count of scans alone does
// not bound the work: a file of one megabyte repeating a refinement scan of a
// 12000 × 12000 picture a thousand times held a decoder for minutes. Real
// encoders pass five or six times over each block (libjpeg's and mozjpeg's
// progressions), baseline files once.
inline constexpr int kMaxPasses = 12;
// A scan that refines bits already refined (libjpeg's "inconsistent
// progression" warning) adds nothing to the picture; such scans still
// decode, as a few of them come from careless encoders, but each counts as
// this many passes, so that a file repeating one is refused early.
inline constexpr int kUselessScanWeight = 4;

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
// fails with libjpeg's JERR_BAD_PROGRESSION (scans) or JERR_OUT_OF_MEMORY
// (memory).
void limitDecoder(j_decompress_ptr cinfo, WorkLimit& limit);

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
