#include "common/memory_tuning.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace tamblure {

void keepFreedMemoryForReuse()
{
#if defined(__GLIBC__)
    // Large blocks from the heap rather than from their own mappings, and
    // the heap's top kept rather than trimmed after each picture.
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
}

} // namespace tamblure
