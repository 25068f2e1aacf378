// Wide XML text on its way to an encoding narrower than Unicode. Element
// text and attribute values reach it through AppendContent, where a
// character that the encoding cannot carry becomes a character reference, so
// the file still reads back as the same text. Everything else (names, CDATA
// sections, markup, indents and line ends) has no such way out: a character
// there that the encoding cannot carry marks the text as not writable.
#ifndef KELMO_XML_ENCODABLE_TEXT_H
#define KELMO_XML_ENCODABLE_TEXT_H

#include <cstdint>

#include "encoding/repertoire.h"
#include "kelmo/platform_types.h"
#include "tree/wstr_buf.h"

namespace kelmo {

class EncodableText {
 public:
  EncodableText(WStrBuf& out, Repertoire& repertoire) : out_(out), repertoire_(repertoire) {}
  EncodableText(const EncodableText&) = delete;
  EncodableText& operator=(const EncodableText&) = delete;

  void Append(const WChar* text, uint32_t n) {
    if (!repertoire_.CarriesAll()) Check(text, n);
    out_.Append(text, n);
  }
  void Append(const WStrBuf& text) { Append(text.Data(), text.Length()); }
  void AppendChar(WChar c) { Append(&c, 1); }

  // Text that character references may stand in for.
  void AppendContent(const WChar* text, uint32_t n);

  // False once something other than content held a character that the
  // encoding cannot carry.
  bool Writable() const { return writable_; }
  WStrBuf& Text() { return out_; }

 private:
  void Check(const WChar* text, uint32_t n);

  WStrBuf& out_;
  Repertoire& repertoire_;
  bool writable_ = true;
};

}  // namespace kelmo

#endif  // KELMO_XML_ENCODABLE_TEXT_H
