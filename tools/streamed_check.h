// kelmo check without a tree: the document is read a piece at a time, each
// piece decoded and run through the library's own markup reader with a sink
// that builds nothing, so that checking a large file takes memory of the
// size of a piece rather than of its tree.
#ifndef KELMO_TOOLS_STREAMED_CHECK_H
#define KELMO_TOOLS_STREAMED_CHECK_H

#include <cstdint>
#include <cstdio>
#include <vector>

#include "encodings.h"
#include "strict_reading.h"

namespace kelmo_tool {

struct StreamedCheck {
  // Whether the reading tells the verdict. It does not for a document that
  // does not parse (its message shows the text around the error and what
  // was left open, which the whole-file path tells), for one that cannot be
  // read in pieces (UTF-16, stateful or unknown encodings, a declaration cut
  // off by the first block), or one that could not be read: the whole-file
  // path reads it again and tells.
  bool decided = false;
  bool tooLarge = false;  // 4 GiB or more: the library reads no such document
  bool readFailed = false;  // the input could not be read to its end
  std::vector<InputRepair> repairs;  // as FindInputRepairs finds them
  std::vector<StrictWarning> warnings;  // as FindStrictWarnings finds them
};

// Reads the document from `in` to its end. What is read is also written to
// `copy` when it is given (standard input, which cannot be read twice), all
// of it even when the reading stops early.
StreamedCheck CheckStreamed(std::FILE* in, std::FILE* copy);

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_STREAMED_CHECK_H
