// A name read from UTF-8 input, as the UTF-16 units the tree keeps names in.
// The parser interns every name it reads; most are a few bytes long, so the
// units are decoded into a buffer on the stack and a long name alone goes
// to the heap.
#ifndef KELMO_XML_UTF8_NAME_H
#define KELMO_XML_UTF8_NAME_H

#include <cstdint>
#include <memory>

#include "kelmo/platform_types.h"
#include "text/unit_scan.h"
#include "text/utf8_codec.h"

namespace kelmo {

class Utf8Name {
 public:
  // bytes: whole characters of trusted UTF-8 (text/utf8_codec.h).
  Utf8Name(const char* bytes, uint32_t size) {
    // Never more units than bytes: a pair of units takes four bytes.
    WChar* out = local_;
    if (size > kLocalUnits) {
      heap_.reset(new WChar[size]);
      out = heap_.get();
    }
    data_ = out;
    // Widened as ASCII in one pass; decoded again only when a byte was not.
    length_ = size;
    if (!text::WidenAsciiRun(bytes, size, out)) length_ = static_cast<uint32_t>(text::DecodeTrustedUtf8(bytes, size, out, out + size) - out);
  }
  Utf8Name(const Utf8Name&) = delete;
  Utf8Name& operator=(const Utf8Name&) = delete;

  const WChar* Data() const { return data_; }
  uint32_t Length() const { return length_; }

 private:
  static constexpr uint32_t kLocalUnits = 64;
  WChar local_[kLocalUnits];
  std::unique_ptr<WChar[]> heap_;
  const WChar* data_ = nullptr;
  uint32_t length_ = 0;
};

}  // namespace kelmo

#endif  // KELMO_XML_UTF8_NAME_H
