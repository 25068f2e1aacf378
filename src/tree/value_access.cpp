// The node's typed value: the getters with their conversions between kinds,
// and the setters, which release what the old value owned.
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "tree/base64.h"
#include "tree/in_res.h"
#include "tree/tree_node.h"
#include "tree/number_parse.h"
#include "tree/numeric_cast.h"
#include "tree/value_storage.h"
#include "tree/value_text.h"

namespace kelmo {

// The numeric kinds with their own getter and setter (Get<Kind>, Set<Kind>)
// and the C++ type those take. LongDouble and Bool, which convert on the
// way in or out, have theirs written out.
#define KELMO_NUMERIC_ACCESSORS(X)                                                 \
  X(Double, double) X(Float, float) X(Int64, int64_t) X(UInt64, uint64_t)          \
  X(UInt, unsigned int) X(ULong, uint32_t) X(Int, int) X(Long, int32_t)            \
  X(UShort, uint16_t) X(Short, int16_t) X(UChar, unsigned char) X(Char, char)

namespace {

// Text to T: integers of T's width (signed and unsigned share the bits),
// reals in T's precision.
template <class T, class Unit>
bool ParseAs(const Unit* first, const Unit* end, T& value) {
  if constexpr (std::is_floating_point<T>::value) {
    return ParseReal(first, end, value);
  } else {
    uint64_t bits = 0;
    if (!ParseInteger(first, end, sizeof(T) * 8, bits)) return false;
    value = NumericCast<T>(bits);
    return true;
  }
}

// Steps shared by every numeric getter once the node's own kind has been
// ruled out: parse a String, cast another number, refuse everything else.
template <class T>
bool ConvertValue(const TreeNode& node, const void* storage, T& value) {
  const ValueType type = node.Type();
  if (type == ValueType::String) {
    // A text kept as UTF-8 is read as it is.
    if (node.KeepsUtf8()) {
      const Utf8Value& text = node.Utf8String();
      return ParseAs(text.Bytes(), text.Bytes() + text.Size(), value);
    }
    const TreeNode::Units units = node.StringUnits();
    return ParseAs(units.data, units.data + units.length, value);
  }
  return WithStoredNumber(type, storage, false, [&value](auto number) {
    value = NumericCast<T>(number);
    return true;
  });
}

}  // namespace

// --- value lifetime ---

void TreeNode::ResetValue() noexcept {
  // The tag becomes Empty before anything is released: a COM Release or a
  // shared pointer's deleter may call back into this node and must then see
  // a consistent, empty value rather than a half-destroyed one.
  ValueType old = Type();
  SetTag(ValueType::Empty);
  switch (old) {
    case ValueType::String:
      // A text kept as UTF-8 belongs to the document's memory.
      if (utf8String_)
        utf8String_ = 0;
      else
        StringStorage().~WStrBuf();
      break;
    case ValueType::Binary:
      BinaryStorage().~BlobBuf();
      break;
    case ValueType::SharedPtr: {
      std::unique_ptr<SharedValue> doomed(value_.shared);
      value_.shared = nullptr;
      break;  // the share is dropped here, after the storage is cleared
    }
    case ValueType::Unknown:
      if (IUnknown* unknown = value_.unknown) unknown->Release();
      break;
    case ValueType::Dispatch:
      if (IDispatch* dispatch = value_.dispatch) dispatch->Release();
      break;
    default:
      break;
  }
}

// Leaves the storage holding a live object of its kind and the tag naming
// that kind, so the two never disagree, even if a later step throws.
template <class Held>
Held& TreeNode::PrepareHeld(ValueType kind) {
  if (Type() != kind || utf8String_) {
    ResetValue();
    new (&value_) Held();
    SetTag(kind);
  }
  return *reinterpret_cast<Held*>(&value_);
}

// A shared pointer lives on the heap; the box is made before the old value
// goes, so a failed allocation leaves the node as it was.
template <>
SharedValue& TreeNode::PrepareHeld<SharedValue>(ValueType kind) {
  if (Type() != kind) {
    std::unique_ptr<SharedValue> box(new SharedValue());
    ResetValue();
    value_.shared = box.release();
    SetTag(kind);
  }
  return *value_.shared;
}

void TreeNode::AssignString(const WChar* text, uint32_t length) {
  Spoil();
  if (Type() == ValueType::String && !utf8String_) {
    // Assign copies before it frees, so text inside the current block is fine.
    StringStorage().Assign(text, length);
    return;
  }
  // The text may lie inside what the old value owns (a byte array's block):
  // copy it before the old value is released.
  WStrBuf copy(text, length);
  PrepareHeld<WStrBuf>(ValueType::String).Swap(copy);
}

void TreeNode::TakeString(WStrBuf& text) {
  if (!text.IsNull() && !text.IsFrozen()) Spoil();
  PrepareHeld<WStrBuf>(ValueType::String).Swap(text);
}

// --- getters ---

bool TreeNode::GetBinary(const unsigned char*& data, unsigned int& length,
                          RefPtr<XInRes>& holder) {
  if (Type() == ValueType::Binary) {
    const BlobBuf& bytes = BinaryStorage();
    data = bytes.Data();
    length = bytes.Length();
    return true;
  }
  if (Type() != ValueType::String) return false;
  const Units text = StringUnits();
  uint32_t n = text.length;
  if (n == 0) return false;
  uint64_t capacity = Base64DecodeRoom(n);
  if (capacity >= kWholeText) throw std::bad_alloc();
  std::unique_ptr<unsigned char[]> bytes(new unsigned char[size_t(capacity)]);
  uint32_t room = static_cast<uint32_t>(capacity);
  if (!Base64Decode(text.data, n, bytes.get(), room)) return false;
  data = bytes.get();
  length = room;
  PlaceArray(std::move(bytes), holder);
  return true;
}

bool TreeNode::GetStringA(const char*& text, unsigned int& length, unsigned int codePage,
                           RefPtr<XInRes>& holder) {
  if (Type() == ValueType::String) {
    // A text kept as UTF-8 is already the UTF-8 form.
    if (utf8String_ && codePage == kCodePageUtf8) {
      text = Utf8String().Bytes();
      length = Utf8String().Size();
      return true;
    }
    const Units units = StringUnits();
    return WStrBuf::ToNarrow(units.data, units.length, codePage, holder, text, length);
  }
  return ValueToStringA(Type(), &value_, text, length, holder);
}

uint32_t TreeNode::ScalarText(char* out) const noexcept {
  return kelmo::ScalarText(Type(), &value_, out);
}

bool TreeNode::GetStringW(const WChar*& text, unsigned int& length, RefPtr<XInRes>& holder) {
  if (Type() == ValueType::String) {
    const Units units = StringUnits();
    text = units.data;
    length = units.length;
    return true;
  }
  return ValueToStringW(Type(), &value_, text, length, holder);
}

// A null pointer of either COM kind is the same absence of an object, so the
// cross-kind getters answer it as the same-kind getters do: true and null,
// without asking a null object for an interface.
namespace {

// GetDispatch and GetUnknown alike: `same` is the stored object when the
// node holds the kind asked for, `other` the one it holds of the other kind.
template <class Wanted, class Other>
bool GetComObject(bool holdsWanted, Wanted* same, bool holdsOther, Other* other, const IID& iid,
                  Wanted*& value) {
  if (holdsWanted || (holdsOther && !other)) {
    // The new reference is taken first, so handing back the object the
    // caller already holds cannot free it in between.
    if (same) same->AddRef();
    if (value) value->Release();
    value = same;
    return true;
  }
  if (!holdsOther) return false;
  if (value) value->Release();
  value = nullptr;
  void* obtained = nullptr;
  const bool ok = other->QueryInterface(iid, &obtained) >= 0;
  value = static_cast<Wanted*>(obtained);
  return ok;
}

}  // namespace

bool TreeNode::GetDispatch(IDispatch*& value) {
  const bool dispatch = Type() == ValueType::Dispatch, unknown = Type() == ValueType::Unknown;
  return GetComObject(dispatch, dispatch ? value_.dispatch : nullptr, unknown,
                      unknown ? value_.unknown : nullptr, IidDispatch(), value);
}

bool TreeNode::GetUnknown(IUnknown*& value) {
  const bool dispatch = Type() == ValueType::Dispatch, unknown = Type() == ValueType::Unknown;
  return GetComObject(unknown, unknown ? value_.unknown : nullptr, dispatch,
                      dispatch ? value_.dispatch : nullptr, IidUnknown(), value);
}

bool TreeNode::GetSharedPtr(std::shared_ptr<void>& value) {
  if (Type() != ValueType::SharedPtr) return false;
  value = ToStdShare(SharedStorage());
  return true;
}

bool TreeNode::GetPointer(void*& value) {
  if (Type() != ValueType::Pointer) return false;
  value = value_.pointer;
  return true;
}

bool TreeNode::GetBool(bool& value) {
  if (Type() == ValueType::Bool) {
    value = LoadStored<uint8_t>(&value_) != 0;
    return true;
  }
  if (Type() == ValueType::String) {
    // The first character, as ASCII: any other does not say yes or no.
    uint32_t first = 0;
    if (KeepsUtf8()) {
      first = static_cast<unsigned char>(Utf8String().Bytes()[0]);
    } else {
      const WStrBuf& own = StringStorage();
      first = own.IsEmpty() ? 0 : static_cast<uint16_t>(own.Data()[0]);
    }
    switch (first) {
      case 'T': case 't': case 'Y': case 'y':
        value = true;
        return true;
      case 'F': case 'f': case 'N': case 'n':
        value = false;
        return true;
      default:
        break;
    }
  }
  uint32_t number = 0;
  if (!ConvertValue(*this, &value_, number)) return false;
  value = number != 0;
  return true;
}

bool TreeNode::GetLongDouble(long double& value) {
  double wide = 0;
  if (!GetDouble(wide)) return false;
  value = wide;
  return true;
}

// The numeric getters: the node's own kind is copied, anything else goes
// through ConvertValue. (The unsigned 64-bit getter thus receives the bits
// the signed one would.)
#define KELMO_NUMERIC_GETTER(Kind, T)                                                       \
  bool TreeNode::Get##Kind(T& value) {                                                     \
    if (Type() == ValueType::Kind) {                                                        \
      value = LoadStored<T>(&value_);                                                       \
      return true;                                                                          \
    }                                                                                       \
    return ConvertValue(*this, &value_, value);                                             \
  }

KELMO_NUMERIC_ACCESSORS(KELMO_NUMERIC_GETTER)

#undef KELMO_NUMERIC_GETTER

// --- setters ---

void TreeNode::SetBinary(const unsigned char* data, unsigned int length) {
  Spoil();
  if (Type() == ValueType::Binary) {
    BinaryStorage().Assign(data, length);
    return;
  }
  // Copied first: the bytes may be the characters of the String value that
  // is about to be released.
  BlobBuf copy;
  copy.Assign(data, length);
  BlobBuf& own = PrepareHeld<BlobBuf>(ValueType::Binary);
  own = std::move(copy);
}

void TreeNode::SetStringA(const char* text, unsigned int length, unsigned int codePage) {
  // Converted aside, so that a text the code page cannot convert leaves the
  // value as it was, and the text may lie in the storage being replaced.
  WStrBuf converted;
  if (!WStrBuf::FromNarrow(converted, text, length, codePage)) return;
  Spoil();
  if (Type() == ValueType::String && !utf8String_) {
    StringStorage().Swap(converted);
    return;
  }
  PrepareHeld<WStrBuf>(ValueType::String).Swap(converted);
}

void TreeNode::SetStringW(const WChar* text, unsigned int length) { AssignString(text, length); }

void TreeNode::SetDispatch(IDispatch* value) {
  // The new reference is taken before the old one is dropped, so storing the
  // object the node already holds is safe.
  if (value) value->AddRef();
  ResetValue();
  value_.dispatch = value;
  SetTag(ValueType::Dispatch);
}

void TreeNode::SetUnknown(IUnknown* value) {
  if (value) value->AddRef();
  ResetValue();
  value_.unknown = value;
  SetTag(ValueType::Unknown);
}

void TreeNode::SetSharedPtr(const std::shared_ptr<void>& value) {
  if (Type() == ValueType::SharedPtr) {
    SharedStorage() = SharedValue(value);  // self-assignment is safe
    return;
  }
  // Shared before the old value goes: releasing it might drop the last other
  // owner of `value`'s object.
  SharedValue copy(value);
  PrepareHeld<SharedValue>(ValueType::SharedPtr) = std::move(copy);
}

void TreeNode::SetPointer(void* value) {
  ResetValue();
  value_.pointer = value;
  SetTag(ValueType::Pointer);
}

void TreeNode::SetBool(bool value) {
  ResetValue();
  Store<uint8_t>(&value_, value ? 1 : 0);
  SetTag(ValueType::Bool);
}

void TreeNode::SetLongDouble(long double value) {
  ResetValue();
  Store<double>(&value_, static_cast<double>(value));
  SetTag(ValueType::LongDouble);
}

#define KELMO_NUMERIC_SETTER(Kind, T)  \
  void TreeNode::Set##Kind(T value) { \
    ResetValue();                      \
    Store<T>(&value_, value);          \
    SetTag(ValueType::Kind);           \
  }

KELMO_NUMERIC_ACCESSORS(KELMO_NUMERIC_SETTER)

#undef KELMO_NUMERIC_SETTER

void TreeNode::SetEmpty() { ResetValue(); }

#undef KELMO_NUMERIC_ACCESSORS

}  // namespace kelmo
