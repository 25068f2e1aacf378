// Included from the syntax layer: compiles within the layers that link it
// (encoding, tree, xml and above) and must not compile within the character
// layer below it, nor within os, which stands beside it.
#include "syntax/char_classes.h"

namespace {
[[maybe_unused]] constexpr bool probe = kelmo::syntax::IsXmlSpace(' ');
}  // namespace
