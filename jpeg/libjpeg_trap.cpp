#include "jpeg/libjpeg_trap.h"

#include <jerror.h>

namespace tamblure::jpeg::detail {

namespace {

[[noreturn]] void errorExit(j_common_ptr cinfo)
{
    auto* trap = reinterpret_cast<ErrorTrap*>(cinfo->err);
    trap->code = cinfo->err->msg_code;
    std::longjmp(trap->jump, 1);
}

void ignoreMessage(j_common_ptr, int) {}
void ignoreOutput(j_common_ptr) {}

void refuseEndlessScans(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor)
        return;
    const auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->input_scan_number > kMaxScans) {
        // No libjpeg message says "too many scans"; the nearest is the one
        // for progressive parameters it cannot follow.
        cinfo->err->msg_code = JERR_BAD_PROGRESSION;
        cinfo->err->error_exit(cinfo);
    }
}

void createStep(void* arg)
{
    auto* d = static_cast<Decompressor*>(arg);
    jpeg_create_decompress(&d->cinfo);
    d->created = true;
    limitDecoder(&d->cinfo, d->progress);
}

} // namespace

jpeg_error_mgr* installErrorTrap(ErrorTrap& trap)
{
    jpeg_std_error(&trap.pub);
    trap.pub.error_exit = errorExit;
    trap.pub.emit_message = ignoreMessage;
    trap.pub.output_message = ignoreOutput;
    trap.code = 0;
    return &trap.pub;
}

bool runTrapped(ErrorTrap& trap, void (*step)(void*), void* arg)
{
    if (setjmp(trap.jump) != 0)
        return false;
    step(arg);
    return true;
}

void limitDecoder(j_decompress_ptr cinfo, jpeg_progress_mgr& progress)
{
    cinfo->mem->max_memory_to_use = kMaxDecoderMemory;
    progress.progress_monitor = refuseEndlessScans;
    cinfo->progress = &progress;
}

bool Decompressor::create()
{
    return runTrapped(trap, createStep, this);
}

} // namespace tamblure::jpeg::detail
