#pragma once

namespace tamblure {

// Leaves glibc's allocator with its own settings, which keep a run's memory
// within its budget (batch/memory_budget.h): each large buffer (a decoder's
// coefficient arrays, a decoded raster) is a mapping of its own, given back
// to the system when freed, and the threads' smaller blocks come from heaps
// that hand their free tops back. Called once by the programs' entries,
// before any thread starts.
void keepFreedMemoryForReuse();

} // namespace tamblure
