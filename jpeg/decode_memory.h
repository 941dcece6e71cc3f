#pragma once

// The memory a picture's thumbnail takes, known before the picture starts:
// from its frame header (sides, components, sampling factors, one scan or
// several) and the route the per-image step takes it by. A scheduler can
// reserve it from a budget shared by the workers; the decoders hold libjpeg
// to its share (decoderMemory), and every raster of the route is sized
// exactly as counted here, so the figure is an upper bound the picture
// cannot pass.
//
// What is counted, at the moment the most of it is held at once:
//   - the file's bytes, when the step reads the file whole;
//   - libjpeg's decompressor: for a file of several scans (progressive, or
//     sequential with a scan per component) every coefficient of the picture,
//     128 bytes a block, held until the last scan; its working rows;
//   - three-component files, decoded at 1/2^scale: the decoded 24-bit raster,
//     then the thumbnail's raster beside it (none for a factor that the
//     decoder's scale already made, which keeps the decoded raster);
//   - other files, decoded at full size a band of rows at a time: the band,
//     the conversion rows and the row reducer, which holds the thumbnail's
//     raster, or the whole picture as a 24-bit raster under a factor of 1
//     (the full-size re-encode), beside the decompressor;
//   - the encoder and the thumbnail's JPEG bytes, twice (the growing output
//     and the copy the step writes), taken at most half the thumbnail
//     raster's size: a photograph's JPEG at quality 100 is about a third of
//     its raster; only noise at the highest qualities passes one half.
// The program's own memory between pictures (about 64 MB) is not counted.

#include "imaging/reduction.h"
#include "jpeg/jpeg_util.h"

#include <cstdint>

namespace tamblure::jpeg {

// True when the decoders take a picture of this frame from a file of
// fileBytes bytes: its blocks are no more than the file's bytes pay for
// (libjpeg_trap.h). A picture they would refuse needs no memory reserved.
bool withinWorkBound(const JpegFrame& frame, std::uint64_t fileBytes);

// libjpeg's share for a decode of the frame at any scale: the coefficients
// of a file of several scans, and the working rows (at most 64 rows of the
// picture's width per component, a quarter of a megabyte of tables).
std::uint64_t decoderMemory(const JpegFrame& frame);

// How the per-image step takes a picture.
struct DecodeRoute {
    // Three-component files: decoded at 1/2^scale (0 to 3; above, at full
    // size, as DecodeJpegFile takes it). Others are decoded at full size,
    // streamed, whatever the scale.
    std::uint8_t scale = 0;
    // The thumbnail, planned from the picture's full size (a factor counts
    // from the full size: the step divides it by the decoder's scale).
    imaging::ReductionPlan plan;
    // The file's bytes when the step reads it whole, 0 otherwise.
    std::uint64_t fileBytesRead = 0;
};

// At most the bytes the step holds at once for the picture and its
// thumbnail, as counted above.
std::uint64_t thumbnailMemory(const JpegFrame& frame, const DecodeRoute& route);

} // namespace tamblure::jpeg
