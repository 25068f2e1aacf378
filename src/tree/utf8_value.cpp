#include "tree/utf8_value.h"

#include "text/unit_scan.h"
#include "text/utf8_codec.h"
#include "tree/doc_memory.h"

namespace kelmo {

WStrBuf Utf8Value::MakeWide(const void* owner) const {
  const char* bytes = Bytes();
  const uint32_t size = size_;
  const uint32_t units = size < kCountedFrom ? size : text::Utf16UnitsOfUtf8(bytes, bytes + size);
  auto decode = [bytes, size, units](WChar* to) {
    return static_cast<uint32_t>(text::DecodeTrustedUtf8(bytes, size, to, to + units) - to);
  };
  void* at = nullptr;
  {
    DocMemory::LateCarving lane(owner);
    // Forms are published under the lane's lock, so this sees any made
    // since the caller looked.
    if (const void* block = wide_.load(std::memory_order_relaxed)) return WStrBuf::OfFrozenBlock(block);
    const size_t room = WStrBuf::FrozenBytes(units);
    at = lane.Carve(room, WStrBuf::kFrozenAlignment);
    if (size < kCountedFrom) {
      // Room for a unit a byte; what the text did not take goes back.
      WStrBuf made = WStrBuf::FreezeFilled(at, decode);
      lane.GiveBackTail(static_cast<char*>(at) + room, room - WStrBuf::FrozenBytes(made.Length()));
      wide_.store(made.FrozenBlock(), std::memory_order_release);
      return made;
    }
  }
  // A long text is decoded outside the lock, into room counted exactly,
  // and another reader may have published its own form meanwhile.
  WStrBuf made = WStrBuf::FreezeFilled(at, decode);
  const void* expected = nullptr;
  if (wide_.compare_exchange_strong(expected, made.FrozenBlock(), std::memory_order_acq_rel,
                                    std::memory_order_acquire))
    return made;
  return WStrBuf::OfFrozenBlock(expected);
}

}  // namespace kelmo
