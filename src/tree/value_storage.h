// Reading a node's value storage, which holds a value of the kind its tag
// names in its first bytes, without caring for the storage's alignment.
#ifndef KELMO_TREE_VALUE_STORAGE_H
#define KELMO_TREE_VALUE_STORAGE_H

#include <cstring>

namespace kelmo {

// A number of type T read from the first bytes of a node's value storage.
template <class T>
T LoadStored(const void* storage) {
  T value;
  std::memcpy(&value, storage, sizeof(T));
  return value;
}

}  // namespace kelmo

#endif  // KELMO_TREE_VALUE_STORAGE_H
