// Times one operation: a warm-up call, then repeated calls until a time
// budget is spent (at least three), and the median of the calls. Time is the
// process's CPU time (user and system), so that other work on a shared
// machine skews the numbers less than wall-clock time would.
#ifndef KELMO_BENCH_STOPWATCH_H
#define KELMO_BENCH_STOPWATCH_H

#include <time.h>

#include <algorithm>
#include <vector>

namespace bench {

inline double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

template <class Operation>
double MedianSeconds(Operation operation, double budgetSeconds) {
  operation();
  std::vector<double> times;
  double spent = 0;
  while ((spent < budgetSeconds || times.size() < 3) && times.size() < 10000) {
    const double start = CpuSeconds();
    operation();
    const double seconds = CpuSeconds() - start;
    times.push_back(seconds);
    spent += seconds;
  }
  std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
  return times[times.size() / 2];
}

}  // namespace bench

#endif  // KELMO_BENCH_STOPWATCH_H
