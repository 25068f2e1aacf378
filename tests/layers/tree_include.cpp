// Included from the tree layer: compiles within the layers above the tree
// and must not compile within the layers below it.
#include "tree/wstr_buf.h"

namespace {
[[maybe_unused]] kelmo::WStrBuf probe;
}  // namespace
