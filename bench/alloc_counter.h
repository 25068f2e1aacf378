// Counts the heap bytes in use, for every allocation in the process: this
// program replaces malloc and its relatives and forwards them to the C
// library, so the benchmarked library and its peers are measured the same
// way. Bytes are the usable sizes the allocator hands out.
//
// Counting is off until SetHeapCounting turns it on, and only the child
// processes that measure memory do that: counting costs two usable-size
// look-ups and two atomic updates per call, a tax that would fall hardest on
// the libraries that allocate most, so no timing runs with it. With counting
// off the replacements only forward.
#ifndef KELMO_BENCH_ALLOC_COUNTER_H
#define KELMO_BENCH_ALLOC_COUNTER_H

#include <cstdint>

namespace bench {

struct HeapUse {
  int64_t current;  // bytes in use now
  int64_t peak;     // highest `current` since the last ResetPeak
};

HeapUse CurrentHeapUse();
// Starts a new peak at the bytes in use now.
void ResetPeak();
// Turns counting on or off for the whole process.
void SetHeapCounting(bool on);
// False when the replacement did not take over (then no numbers are given).
bool HeapCountingActive();

}  // namespace bench

#endif  // KELMO_BENCH_ALLOC_COUNTER_H
