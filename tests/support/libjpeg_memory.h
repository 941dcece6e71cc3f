#pragma once

// A compression into memory under the codec's libjpeg error trap, for the
// test helpers that make JPEG files: the job's step creates the compressor in
// `cinfo` (setting `created`) and writes through jpeg_mem_dest(&cinfo, &out,
// &outSize).

#include "jpeg/libjpeg_trap.h"

#include <cstdint>
#include <vector>

namespace tamblure::test {

struct MemoryCompression {
    jpeg_compress_struct cinfo{};
    bool created = false;
    unsigned char* out = nullptr;
    unsigned long outSize = 0;

    // Points the compressor at out / outSize; call in the step, after
    // jpeg_create_compress.
    void toMemory() { jpeg_mem_dest(&cinfo, &out, &outSize); }
};

// Runs step(job) under the trap and gives the file's bytes; throws
// std::runtime_error ("<who>: libjpeg error N") when libjpeg refuses.
std::vector<std::uint8_t> compressTrapped(MemoryCompression& compression, void (*step)(void*), void* job,
                                          const char* who);

} // namespace tamblure::test
