#include "jpeg/libjpeg_trap.h"

#include <jerror.h>

#include <algorithm>
#include <cstdlib>

namespace tamblure::jpeg::detail {

namespace {

[[noreturn]] void errorExit(j_common_ptr cinfo)
{
    auto* trap = reinterpret_cast<ErrorTrap*>(cinfo->err);
    trap->code = cinfo->err->msg_code;
    std::longjmp(trap->jump, 1);
}

void limitWork(j_common_ptr cinfo);

// Warnings (level -1) are noted for the caller: the end of the data, and the
// first of the others that say the data is damaged, unless the data ran out
// before it: libjpeg then warns that the scan it was reading ended early,
// which only follows from the cut. An unknown JFIF version harms nothing,
// and too many rows asked for would be our own fault. Trace messages are
// dropped.
void noteWarning(j_common_ptr cinfo, int level)
{
    const int code = cinfo->err->msg_code;
    if (level >= 0 || code == JWRN_JFIF_MAJOR || code == JWRN_TOO_MUCH_DATA)
        return;
    JpegWarnings& warnings = reinterpret_cast<ErrorTrap*>(cinfo->err)->warnings;
    if (code == JWRN_JPEG_EOF)
        warnings.dataRanOut = true;
    else if (warnings.corruptData == 0 && !warnings.dataRanOut)
        warnings.corruptData = code;
}

// An inconsistent progression is also noted for the work limit: libjpeg
// reports it as a scan begins, before the scan's first row.
void noteMessage(j_common_ptr cinfo, int level)
{
    noteWarning(cinfo, level);
    if (level >= 0 || cinfo->err->msg_code != JWRN_BOGUS_PROGRESSION || !cinfo->is_decompressor ||
        cinfo->progress == nullptr || cinfo->progress->progress_monitor != limitWork)
        return;
    reinterpret_cast<WorkLimit*>(cinfo->progress)->uselessScan =
        reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number;
}
void ignoreOutput(j_common_ptr) {}

[[noreturn]] void refuse(j_common_ptr cinfo, int code)
{
    cinfo->err->msg_code = code;
    cinfo->err->error_exit(cinfo);
    std::abort(); // error_exit never returns
}

// libjpeg calls this before every row of blocks it reads, so a scan is
// counted, and refused, before any of its work is done.
void limitWork(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor)
        return;
    auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    auto* limit = reinterpret_cast<WorkLimit*>(cinfo->progress);
    // No libjpeg message says "too much work"; the nearest is the one for
    // progressive parameters it cannot follow.
    if (dinfo->input_scan_number > kMaxScans)
        refuse(cinfo, JERR_BAD_PROGRESSION);
    if (dinfo->input_scan_number == limit->scanCounted || dinfo->comps_in_scan <= 0)
        return;
    limit->scanCounted = dinfo->input_scan_number;
    unsigned long long picture = 0;
    for (int c = 0; c < dinfo->num_components; ++c)
        picture +=
            static_cast<unsigned long long>(dinfo->comp_info[c].width_in_blocks) * dinfo->comp_info[c].height_in_blocks;
    const unsigned long long weight = limit->uselessScan == dinfo->input_scan_number ? kUselessScanWeight : 1;
    for (int c = 0; c < dinfo->comps_in_scan && c < MAX_COMPS_IN_SCAN; ++c)
        limit->blocksVisited +=
            weight * dinfo->cur_comp_info[c]->width_in_blocks * dinfo->cur_comp_info[c]->height_in_blocks;
    if (limit->blocksVisited > kMaxPasses * picture)
        refuse(cinfo, JERR_BAD_PROGRESSION);
}

void createStep(void* arg)
{
    auto* d = static_cast<Decompressor*>(arg);
    jpeg_create_decompress(&d->cinfo);
    d->created = true;
    limitDecoder(&d->cinfo, d->limit);
}

} // namespace

std::uint64_t affordableBlocks(std::uint64_t fileBytes)
{
    return kFreeBlocks + fileBytes / 1024 * kBlocksPerKilobyte + fileBytes % 1024 * kBlocksPerKilobyte / 1024;
}

jpeg_error_mgr* installErrorTrap(ErrorTrap& trap)
{
    jpeg_std_error(&trap.pub);
    trap.pub.error_exit = errorExit;
    trap.pub.emit_message = noteMessage;
    trap.pub.output_message = ignoreOutput;
    trap.code = 0;
    trap.warnings = {};
    return &trap.pub;
}

bool runTrapped(ErrorTrap& trap, void (*step)(void*), void* arg)
{
    if (setjmp(trap.jump) != 0)
        return false;
    step(arg);
    return true;
}

void limitDecoder(j_decompress_ptr cinfo, WorkLimit& limit)
{
    cinfo->mem->max_memory_to_use = kMaxDecoderMemory;
    limit.pub.progress_monitor = limitWork;
    cinfo->progress = &limit.pub;
}

void limitPicture(j_decompress_ptr cinfo, std::uint64_t fileBytes)
{
    const JpegFrame frame = frameOf(cinfo);
    // The message of libjpeg's own refusal of sides past 65500 pixels: too
    // large a picture, here for the bytes that carry it.
    if (frame.blocks() > affordableBlocks(fileBytes))
        refuse(reinterpret_cast<j_common_ptr>(cinfo), JERR_IMAGE_TOO_BIG);
    cinfo->mem->max_memory_to_use = static_cast<long>(std::min<std::uint64_t>(decoderMemory(frame), kMaxDecoderMemory));
}

JpegFrame frameOf(j_decompress_ptr cinfo)
{
    JpegFrame frame;
    // libjpeg takes sides of 65500 at most, and 10 components.
    frame.width = static_cast<std::uint16_t>(cinfo->image_width);
    frame.height = static_cast<std::uint16_t>(cinfo->image_height);
    frame.components = static_cast<std::uint8_t>(std::min(cinfo->num_components, JpegFrame::kMaxComponents));
    for (int c = 0; c < frame.components; ++c) {
        const auto i = static_cast<std::size_t>(c);
        frame.hSampling[i] = static_cast<std::uint8_t>(cinfo->comp_info[c].h_samp_factor);
        frame.vSampling[i] = static_cast<std::uint8_t>(cinfo->comp_info[c].v_samp_factor);
    }
    frame.multiScan = jpeg_has_multiple_scans(cinfo) != 0;
    return frame;
}

bool Decompressor::create()
{
    return runTrapped(trap, createStep, this);
}

} // namespace tamblure::jpeg::detail
