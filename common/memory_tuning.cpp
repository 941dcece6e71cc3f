#include "common/memory_tuning.h"

namespace tamblure {

void keepFreedMemoryForReuse()
{
    // Nothing to set: glibc's defaults are what keeps a run within its
    // memory budget. A picture's large buffers are mappings of their own,
    // handed back when freed. Kept in one untrimmed heap instead (no
    // mappings, no trimming, one arena), the heap grew past what the
    // pictures in hand held: 4 progressive photographs of 12000 x 12000 at
    // -j 4 peaked at 1182 to 1208 MiB in 9 runs of 12, against a budget of
    // 1024 (bench/budget_bench). The page faults of fresh mappings cost such
    // photographs a quarter to a third more time, a folder of 12 MP
    // photographs none. One arena alone stays within the budget too, but
    // costs 12 MP photographs a tenth more processor time, in page faults of
    // its own.
}

} // namespace tamblure
