#include "tree/value_text.h"

#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

#include "tree/base64.h"
#include "tree/blob_buf.h"
#include "tree/in_res.h"
#include "tree/number_format.h"
#include "tree/value_storage.h"

namespace kelmo {

namespace {

constexpr uint32_t kPointerDigits = 2 * sizeof(void*);
constexpr uint32_t kPointerText = 2 + kPointerDigits;

uint32_t FormatPointer(const void* storage, char* out) {
  uintptr_t address = reinterpret_cast<uintptr_t>(LoadStored<void*>(storage));
  out[0] = '0';
  out[1] = 'x';
  // Every digit is written, leading zeros included, so the text always has
  // the same length and holds the whole address.
  for (uint32_t i = kPointerDigits; i > 0; --i) {
    out[1 + i] = "0123456789abcdef"[address & 15];
    address >>= 4;
  }
  return kPointerText;
}

// The ASCII text of a number or pointer; 0 for kinds this does not format.
// A Bool never comes here: its text is "1" or "0", not its stored byte.
uint32_t FormatScalar(ValueType type, const void* storage, char* out) {
  if (type == ValueType::Pointer) return FormatPointer(storage, out);
  return WithStoredNumber(type, storage, uint32_t(0), [out](auto number) -> uint32_t {
    if constexpr (std::is_floating_point<decltype(number)>::value)
      return FormatReal(number, out);
    else
      return FormatDecimal(number, out, kMaxRealText);
  });
}

static_assert(kMaxScalarText >= kMaxRealText && kMaxScalarText >= kPointerText,
              "room for every scalar text");

template <class Ch>
struct Constants {
  static constexpr Ch kOne[2] = {Ch('1'), 0};
  static constexpr Ch kZero[2] = {Ch('0'), 0};
  static constexpr Ch kEmpty[1] = {0};
};

template <class Ch>
bool ValueToString(ValueType type, const void* storage, const Ch*& text, uint32_t& length,
                   RefPtr<XInRes>& holder) {
  if (type == ValueType::Bool) {
    text = LoadStored<uint8_t>(storage) != 0 ? Constants<Ch>::kOne : Constants<Ch>::kZero;
    length = 1;
    return true;
  }
  if (type == ValueType::Binary) {
    const BlobBuf& bytes = *static_cast<const BlobBuf*>(storage);
    uint32_t n = bytes.Length();
    if (n == 0) {
      text = Constants<Ch>::kEmpty;
      length = 0;
      return true;
    }
    uint64_t need = Base64EncodedLength(n);
    // The length must fit the 32-bit count handed back, terminator aside.
    if (need >= kWholeText) throw std::bad_alloc();
    std::unique_ptr<Ch[]> array(new Ch[size_t(need) + 1]);
    uint32_t room = static_cast<uint32_t>(need);
    Base64Encode(bytes.Data(), n, array.get(), room);
    array[room] = 0;
    text = array.get();
    length = room;
    PlaceArray(std::move(array), holder);
    return true;
  }
  char ascii[kMaxRealText];
  uint32_t count = FormatScalar(type, storage, ascii);
  if (count == 0) return false;
  std::unique_ptr<Ch[]> array(new Ch[count + 1]);
  for (uint32_t i = 0; i < count; ++i) array[i] = static_cast<Ch>(ascii[i]);
  array[count] = 0;
  text = array.get();
  length = count;
  PlaceArray(std::move(array), holder);
  return true;
}

}  // namespace

uint32_t ScalarText(ValueType type, const void* storage, char* out) {
  if (type == ValueType::Bool) {
    out[0] = LoadStored<uint8_t>(storage) != 0 ? '1' : '0';
    return 1;
  }
  return FormatScalar(type, storage, out);
}

bool ValueToStringW(ValueType type, const void* storage, const WChar*& text, uint32_t& length,
                    RefPtr<XInRes>& holder) {
  return ValueToString(type, storage, text, length, holder);
}

bool ValueToStringA(ValueType type, const void* storage, const char*& text, uint32_t& length,
                    RefPtr<XInRes>& holder) {
  return ValueToString(type, storage, text, length, holder);
}

}  // namespace kelmo
