// Random edits on parsed trees (tree_edit_session.h). The input is a
// document, a zero byte, and the edit script. Once everything is let go, no
// document's memory may remain.
#include <cstddef>
#include <cstdint>
#include <string>

#include "finding.h"
#include "fuzz_text.h"
#include "tree/doc_memory.h"
#include "tree_edit_session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kelmo_fuzz;
  if (size > 0xFFFFFu) return 0;
  size_t split = 0;
  while (split < size && data[split] != 0) ++split;
  const std::u16string document = LenientUtf16(data, split);
  const size_t scriptAt = split < size ? split + 1 : size;
  const int64_t before = kelmo::DocMemory::LiveDocuments();
  {
    tree_edit::Session session(document);
    session.Run(data + scriptAt, size - scriptAt);
  }
  Require(kelmo::DocMemory::LiveDocuments() == before,
          "a document's memory outlived every node of it");
  return 0;
}
