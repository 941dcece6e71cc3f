#pragma once

namespace tamblure {

// Makes the allocator keep freed memory for the next picture instead of
// handing it back to the system. A batch allocates the same large buffers
// for every photograph (the decoder's coefficient arrays, the decoded
// raster); taken afresh from the system each time, every page of them costs
// a page fault, which on virtual machines adds up to a third of a progressive
// photograph's decoding time. The peak memory is unchanged. Every thread
// allocates from one heap, so that memory freed by one serves the next
// picture of another. Called once by
// the programs' entries, before any thread starts.
void keepFreedMemoryForReuse();

} // namespace tamblure
