// What every parse entry promises about its outcome, whatever the input: a
// success carries error code 0, a failure one of the codes the parser and
// its front end raise, and the tree built so far has the parser's shape.
#ifndef KELMO_FUZZ_PARSE_OUTCOME_H
#define KELMO_FUZZ_PARSE_OUTCOME_H

#include <string>

#include "api/kelmo_parser_impl.h"
#include "finding.h"
#include "tree_snapshot.h"

namespace kelmo_fuzz {

inline kelmo::RefPtr<kelmo::KelmoParserImpl> NewParser() {
  return kelmo::RefPtr<kelmo::KelmoParserImpl>(new kelmo::KelmoParserImpl, kelmo::adopt_ref);
}

inline void CheckOutcome(kelmo::KelmoParserImpl& parser, bool ok) {
  const unsigned code = parser.GetErrorCode();
  if (ok && code != 0) ReportFinding("success with error code " + std::to_string(code));
  if (!ok && code != 0 && code != 5 && code != 6 && code != 7 && code != 9 && code != 13 &&
      code != 14)
    ReportFinding("failure with error code " + std::to_string(code));
  const std::string shape = CheckParserShape(parser.Parser().Root().get());
  if (!shape.empty()) ReportFinding("parsed tree: " + shape);
  // A success leaves no current node; a failure inside the parser proper
  // keeps the node where it stopped.
  if (ok && parser.Parser().Current()) ReportFinding("a current node after success");
}

// Two parses of the same text must agree on everything they report.
inline void RequireSameParse(kelmo::KelmoParserImpl& a, bool okA, kelmo::KelmoParserImpl& b,
                             bool okB, const char* what) {
  const std::string prefix = std::string(what) + ": ";
  if (okA != okB) ReportFinding(prefix + "results differ");
  if (a.GetErrorCode() != b.GetErrorCode() || a.GetErrorLine() != b.GetErrorLine() ||
      a.GetErrorColumn() != b.GetErrorColumn() || a.GetErrorOffset() != b.GetErrorOffset())
    ReportFinding(prefix + "error or position differs");
  const std::string diff =
      CompareSnapshots(Snapshot(a.Parser().Root().get()), Snapshot(b.Parser().Root().get()));
  if (!diff.empty()) ReportFinding(prefix + diff);
}

}  // namespace kelmo_fuzz

#endif  // KELMO_FUZZ_PARSE_OUTCOME_H
