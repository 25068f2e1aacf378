// Every tree the parser builds, written and parsed again, comes back equal
// within the documented exceptions (round_trip_check.h). The first byte picks
// the writer's layout and the output encoding; the rest is the document.
#include <cstddef>
#include <cstdint>
#include <string>

#include "finding.h"
#include "fuzz_text.h"
#include "round_trip_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kelmo_fuzz;
  if (size > 0xFFFFFFu) return 0;
  const uint8_t choice = TakeByte(data, size);
  const std::u16string text = LenientUtf16(data, size);
  const std::string problem =
      CheckRoundTrip(reinterpret_cast<const kelmo::WChar*>(text.data()),
                     static_cast<uint32_t>(text.size()), choice & 3, choice >> 2);
  if (!problem.empty()) ReportFinding(problem);
  return 0;
}
