// kelmo check without a tree: the document is read a piece at a time, each
// piece decoded and run through the library's own markup reader with a sink
// that builds nothing, so that checking a large file takes memory of the
// size of a piece rather than of its tree.
#ifndef KELMO_TOOLS_STREAMED_CHECK_H
#define KELMO_TOOLS_STREAMED_CHECK_H

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "encodings.h"
#include "kelmo/easy.hpp"
#include "strict_reading.h"
#include "unclosed_markup.h"

namespace kelmo_tool {

struct StreamedCheck {
  // Whether the reading found the document good (perhaps with repairs and
  // warnings). When it is not, the document either failed to parse where
  // `failure` says, or the whole-file path must read it again and tell:
  // one that cannot be read in pieces (UTF-16, stateful or unknown
  // encodings, a declaration cut off by the first block), or one that could
  // not be read.
  bool decided = false;
  std::optional<kelmo::easy::ParseFailure> failure;  // as the library's parser fails it
  bool tooLarge = false;  // 4 GiB or more: the library reads no such document
  bool readFailed = false;  // the input could not be read to its end
  std::vector<InputRepair> repairs;  // as FindInputRepairs finds them
  // As FindStrictWarnings finds them; for a document that does not parse,
  // those found before the failure, the first of them its first.
  std::vector<StrictWarning> warnings;
};

// Reads the document from `in` to its end. What is read is also written to
// `copy` when it is given (standard input, which cannot be read twice), all
// of it even when the reading stops early.
StreamedCheck CheckStreamed(std::FILE* in, std::FILE* copy);

// The line of a document that failed, read again a piece at a time, and,
// when asked for, whether the document holds "<!ENTITY" anywhere.
struct FailingLine {
  // With its line break: the parser may stop at the break's second unit.
  std::u16string units;
  bool declaresEntities = false;
};
// False when the line cannot be found, or is too long to be held (a
// megabyte and more): the whole-file path tells then.
bool FindFailingLine(std::FILE* in, unsigned int line, bool entities, FailingLine& out);

// What a document cut short left open, read again a piece at a time. False
// when it cannot be read so.
bool FindUnclosedInPieces(std::FILE* in, std::optional<Unclosed>& out);

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_STREAMED_CHECK_H
