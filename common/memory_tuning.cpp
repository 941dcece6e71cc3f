#include "common/memory_tuning.h"

#include <malloc.h>

namespace tamblure {

void keepFreedMemoryForReuse()
{
    // Large blocks from the heap rather than from their own mappings, and
    // the heap's top kept rather than trimmed after each picture.
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
}

} // namespace tamblure
