// Texts between narrow code pages and UTF-16: the WStrBuf conversions that
// every A operation goes through, built on the platform's converter (asked
// for the size first, then to convert).
#include <memory>
#include <utility>

#include "os/code_page.h"
#include "tree/in_res.h"
#include "tree/wstr_buf.h"

namespace kelmo {

bool WStrBuf::FromNarrow(WStrBuf& destination, const char* text, uint32_t length,
                         uint32_t codePage) {
  length = text::ResolveLength(text, length);
  if (length == 0) {
    destination.Clear();
    return true;
  }
  if (length > 0x7FFFFFFFu) {
    destination.Clear();
    return false;
  }
  int needed = os::MultiByteToWide(codePage, text, static_cast<int>(length), nullptr, 0);
  if (needed <= 0) {
    destination.Clear();
    return false;
  }
  destination.Resize(static_cast<uint32_t>(needed));
  int written = os::MultiByteToWide(codePage, text, static_cast<int>(length),
                                          destination.MutableData(), needed);
  if (written != needed) {
    destination.Clear();
    return false;
  }
  return true;
}

bool WStrBuf::ToNarrow(const WStrBuf& source, uint32_t codePage, RefPtr<XInRes>& holder,
                       const char*& text, uint32_t& length) {
  return ToNarrow(source.Data(), source.Length(), codePage, holder, text, length);
}

bool WStrBuf::ToNarrow(const WChar* source, uint32_t sourceLength, uint32_t codePage,
                       RefPtr<XInRes>& holder, const char*& text, uint32_t& length) {
  if (sourceLength == 0) {
    text = kEmptyNarrow;
    length = 0;
    return true;
  }
  int needed = sourceLength > 0x7FFFFFFFu
                   ? 0
                   : os::WideToMultiByte(codePage, source, static_cast<int>(sourceLength),
                                               nullptr, 0);
  if (needed <= 0 || static_cast<uint32_t>(needed) >= kWholeText) {
    text = kEmptyNarrow;
    length = 0;
    return false;
  }
  std::unique_ptr<char[]> bytes(new char[size_t(needed) + 1]);
  bytes[needed] = 0;
  int written = os::WideToMultiByte(codePage, source, static_cast<int>(sourceLength),
                                          bytes.get(), needed);
  if (written != needed) {
    text = kEmptyNarrow;
    length = 0;
    return false;
  }
  text = bytes.get();
  length = static_cast<uint32_t>(needed);
  PlaceArray(std::move(bytes), holder);
  return true;
}

}  // namespace kelmo
