// Reading a node's value storage, which holds a value of the kind its tag
// names in its first bytes, without caring for the storage's alignment.
#ifndef KELMO_TREE_VALUE_STORAGE_H
#define KELMO_TREE_VALUE_STORAGE_H

#include <cstdint>
#include <cstring>

#include "kelmo/kelmo.h"

namespace kelmo {

// A number of type T read from the first bytes of a node's value storage.
template <class T>
T LoadStored(const void* storage) {
  T value;
  std::memcpy(&value, storage, sizeof(T));
  return value;
}

template <class T>
void Store(void* storage, T value) {
  std::memcpy(storage, &value, sizeof(T));
}

// How each numeric kind lies in the storage: the one place that says which
// C++ type a kind's bits are. Calls use(number) with the stored number of a
// numeric kind (Char to Bool; a Bool as its byte, so a stored 2 stays 2) and
// returns its result; any other kind gives `otherwise` without calling it.
// The getters cast from it, the text forms format it and copies copy it.
// Inlined into each caller, so it costs what a switch written there would.
template <class Result, class Use>
Result WithStoredNumber(ValueType type, const void* storage, Result otherwise, Use&& use) {
  switch (type) {
    case ValueType::Char: return use(LoadStored<int8_t>(storage));
    case ValueType::UChar: case ValueType::Bool: return use(LoadStored<uint8_t>(storage));
    case ValueType::Short: return use(LoadStored<int16_t>(storage));
    case ValueType::UShort: return use(LoadStored<uint16_t>(storage));
    case ValueType::Int: case ValueType::Long: return use(LoadStored<int32_t>(storage));
    case ValueType::UInt: case ValueType::ULong: return use(LoadStored<uint32_t>(storage));
    case ValueType::Int64: return use(LoadStored<int64_t>(storage));
    case ValueType::UInt64: return use(LoadStored<uint64_t>(storage));
    case ValueType::Float: return use(LoadStored<float>(storage));
    // A long double is kept at double precision.
    case ValueType::Double: case ValueType::LongDouble: return use(LoadStored<double>(storage));
    default: return otherwise;
  }
}

}  // namespace kelmo

#endif  // KELMO_TREE_VALUE_STORAGE_H
