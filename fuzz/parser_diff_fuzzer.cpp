// Bytes through the library's parser and through the reference parser: the
// two must agree on everything a host can see (parser_diff_check.h).
#include <cstddef>
#include <cstdint>
#include <string>

#include "finding.h"
#include "parser_diff_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string diff = kelmo_fuzz::CheckAgainstReference(data, size);
  if (!diff.empty()) kelmo_fuzz::ReportFinding(diff);
  return 0;
}
