#include "tree/utf8_value.h"

#include "text/unit_scan.h"
#include "text/utf8_codec.h"
#include "tree/doc_memory.h"

namespace kelmo {

WStrBuf Utf8Value::MakeWide(const void* owner) const {
  const char* bytes = Bytes();
  const uint32_t units = text::Utf16UnitsOfUtf8(bytes, bytes + size_);
  void* at = DocMemory::CarveLate(owner, WStrBuf::FrozenBytes(units), WStrBuf::kFrozenAlignment);
  WStrBuf made = WStrBuf::FreezeFilled(at, [bytes, this, units](WChar* to) {
    return static_cast<uint32_t>(text::DecodeTrustedUtf8(bytes, size_, to, to + units) - to);
  });
  const void* expected = nullptr;
  if (wide_.compare_exchange_strong(expected, made.FrozenBlock(), std::memory_order_acq_rel,
                                    std::memory_order_acquire))
    return made;
  return WStrBuf::OfFrozenBlock(expected);
}

}  // namespace kelmo
