#pragma once

// The JPEG library of the codec module: a small property-record interface
// (ijlInit, ijlRead, ijlWrite, ijlFree on JPEG_CORE_PROPERTIES) implemented
// on libjpeg-turbo. The caller describes its pixel block (the "DIB": width,
// height and row order, channels, colour order, pad bytes) and the library
// reads or writes the JPEG file straight from or into it.
//
// One record per operation: clear it to zeros, ijlInit, set the fields, one
// or more ijlRead / one ijlWrite, then ijlFree, which releases everything the
// record took (also after a failure). A file is read once, whole, into memory
// (common/file_io.h: PhotographBytes). A parameter read keeps its bytes and
// its parsed headers in the record, so the picture read that follows neither
// reads the file nor parses the headers again.

#include "jpeg/decoded_picture.h"

#include <cstdint>

namespace tamblure::jpeg {

// Colour layouts (JPGColor, DIBColor).
inline constexpr int IJL_RGB = 1;
inline constexpr int IJL_BGR = 2;
inline constexpr int IJL_YCBCR = 3;
inline constexpr int IJL_G = 4;
inline constexpr int IJL_OTHER = 255;

// Chroma subsampling of a written file (JPGSubsampling). IJL_411 halves the
// chroma both ways (what is now usually called 4:2:0) and is the default
// that ijlInit leaves; IJL_422 halves it across only; IJL_NONE keeps it whole.
inline constexpr int IJL_NONE = 0;
inline constexpr int IJL_411 = 1;
inline constexpr int IJL_422 = 2;

// I/O modes of ijlRead and ijlWrite: JFILE modes work on the file JPGFile,
// JBUFF modes on memory (JPGBytes, JPGSizeBytes).
inline constexpr int IJL_JFILE_READPARAMS = 0;
inline constexpr int IJL_JBUFF_READPARAMS = 1;
inline constexpr int IJL_JFILE_READWHOLEIMAGE = 2;
inline constexpr int IJL_JBUFF_READWHOLEIMAGE = 3;
inline constexpr int IJL_JFILE_WRITEWHOLEIMAGE = 8;
inline constexpr int IJL_JBUFF_WRITEWHOLEIMAGE = 9;
inline constexpr int IJL_JFILE_READONEHALF = 14;
inline constexpr int IJL_JBUFF_READONEHALF = 15;
inline constexpr int IJL_JFILE_READONEQUARTER = 16;
inline constexpr int IJL_JBUFF_READONEQUARTER = 17;
inline constexpr int IJL_JFILE_READONEEIGHTH = 18;
inline constexpr int IJL_JBUFF_READONEEIGHTH = 19;

// Results: 0 is success; reads report failures as negative values, writes
// as any value other than 0 (always one of these negative ones).
inline constexpr int IJL_OK = 0;
inline constexpr int IJL_BAD_RECORD = -1;   // a field out of range, no record, no state
inline constexpr int IJL_FILE_ERROR = -2;   // the file cannot be opened or written, or is no regular file
inline constexpr int IJL_JPEG_ERROR = -3;   // libjpeg refused the data (its code in libjpegCode)
inline constexpr int IJL_MEMORY_ERROR = -4; // the layer's own state could not be allocated

struct IjlState;

struct JPEG_CORE_PROPERTIES {
    // The pixel block of the caller. DIBHeight < 0: the first row in memory
    // is the bottom row of the picture; DIBHeight > 0: the top row.
    std::int32_t DIBWidth;
    std::int32_t DIBHeight;
    std::int32_t DIBPadBytes; // bytes after each row's DIBWidth × DIBChannels pixel bytes
    std::int32_t DIBChannels; // 3 (IJL_BGR, IJL_RGB) or 1 (IJL_G)
    std::int32_t DIBColor;
    unsigned char* DIBBytes;

    // The JPEG file. A parameter read sets JPGWidth, JPGHeight, JPGChannels
    // and JPGColor from the file's frame; a write takes them from the caller.
    const char* JPGFile;
    std::int32_t JPGWidth;
    std::int32_t JPGHeight;
    std::int32_t JPGChannels;
    std::int32_t JPGColor;
    std::int32_t JPGSubsampling;
    std::int32_t jquality; // 1 to 100; values outside are clamped by libjpeg

    // The JPEG data in memory. JBUFF reads take the file from them (the
    // caller keeps the bytes until the picture is read); after an
    // IJL_JBUFF_WRITEWHOLEIMAGE write they point at the complete file, which
    // the record holds until ijlFree.
    const unsigned char* JPGBytes;
    std::int64_t JPGSizeBytes;

    // libjpeg's message code of the last libjpeg failure, 0 when there was none.
    std::int32_t libjpegCode;
    // The errno value of the last failure to open, read, write or place a
    // file, 0 when there was none.
    std::int32_t systemError;
    // What libjpeg warned of during the last picture read (a file cut
    // short, corrupt data), whatever its outcome.
    JpegWarnings warnings;

    // The layer's own state between calls; only ijlFree releases it.
    IjlState* state;
};

// Sets the record's defaults: a three-channel BGR pixel block, a
// three-component YCbCr file with IJL_411 subsampling, quality 75. The record
// must have been cleared to zeros (or freed) before.
int ijlInit(JPEG_CORE_PROPERTIES* props);

// IJL_JFILE_READPARAMS reads the headers of JPGFile, IJL_JBUFF_READPARAMS
// those of the bytes at JPGBytes, and refuses (IJL_JPEG_ERROR) a picture of
// more blocks than the file's bytes pay for (libjpeg_trap.h). The picture
// modes (of either kind) decode the whole picture at full size, 1/2, 1/4 or
// 1/8 of each side (rounded up) into DIBBytes; DIBWidth and |DIBHeight| must
// be exactly that output size and DIBChannels / DIBColor one of 3 / IJL_BGR,
// 3 / IJL_RGB, 1 / IJL_G. 0 on success, a negative value on failure.
int ijlRead(JPEG_CORE_PROPERTIES* props, int mode);

// IJL_JFILE_WRITEWHOLEIMAGE writes the DIB as a complete JPEG file at JPGFile
// (JPGChannels 3, JPGColor IJL_YCBCR, quality jquality, JPGSubsampling),
// replacing any file of that name at once when it is complete: a failure
// leaves the old file, or none. IJL_JBUFF_WRITEWHOLEIMAGE makes the same
// bytes in memory and points JPGBytes and JPGSizeBytes at them. 0 on success.
int ijlWrite(JPEG_CORE_PROPERTIES* props, int mode);

// Releases the decoder, the open file and all other state of the record.
int ijlFree(JPEG_CORE_PROPERTIES* props);

} // namespace tamblure::jpeg
