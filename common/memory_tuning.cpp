#include "common/memory_tuning.h"

// <cstddef> brings the C library's features header, which says whether it
// is glibc's (whose allocator these settings are for).
#include <cstddef>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace tamblure {

void keepFreedMemoryForReuse()
{
#if defined(__GLIBC__)
    // Large blocks from the heap rather than from their own mappings, and
    // the heap's top kept rather than trimmed after each picture. One heap
    // for every thread: what a worker freed serves the next picture of any
    // worker, so the memory held stays what the pictures in hand need (the
    // run's memory budget counts on it), not that times the workers.
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_ARENA_MAX, 1);
#endif
}

} // namespace tamblure
