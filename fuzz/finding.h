// How a target reports a broken property: the reason on standard error, then
// an abort, which the fuzzer records as a crash together with the input.
#ifndef KELMO_FUZZ_FINDING_H
#define KELMO_FUZZ_FINDING_H

#include <cstdio>
#include <cstdlib>
#include <string>

namespace kelmo_fuzz {

[[noreturn]] inline void ReportFinding(const std::string& what) {
  std::fprintf(stderr, "\n*** property broken: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

inline void Require(bool condition, const std::string& what) {
  if (!condition) ReportFinding(what);
}

}  // namespace kelmo_fuzz

#endif  // KELMO_FUZZ_FINDING_H
