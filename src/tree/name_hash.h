// The hash of node names for interning. It is keyed with a random key drawn
// once per process, so that a document cannot be crafted whose names all
// fall on the same slots of the interning table.
#ifndef KELMO_TREE_NAME_HASH_H
#define KELMO_TREE_NAME_HASH_H

#include <cstdint>

#include "kelmo/platform_types.h"

namespace kelmo {

// SipHash-1-3 of the name's UTF-16LE bytes under the process key.
uint64_t NameHash(const WChar* text, uint32_t length);

}  // namespace kelmo

#endif  // KELMO_TREE_NAME_HASH_H
