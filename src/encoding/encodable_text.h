// Wide XML text on its way to an encoding narrower than Unicode. Element
// text and attribute values reach it through AppendContent, where a
// character that the encoding cannot carry becomes a character reference, so
// the file still reads back as the same text. Everything else (names, CDATA
// sections, markup, indents and line ends) has no such way out: a character
// there that the encoding cannot carry marks the text as not writable.
//
// The text itself goes on to a sink with Append(const WChar*, uint32_t): the
// library's wide text buffer, or any other.
#ifndef KELMO_ENCODING_ENCODABLE_TEXT_H
#define KELMO_ENCODING_ENCODABLE_TEXT_H

#include <cstdint>

#include "encoding/repertoire.h"
#include "kelmo/platform_types.h"
#include "syntax/xml_escape.h"

namespace kelmo {

template <class Sink>
class EncodableText {
 public:
  EncodableText(Sink& out, Repertoire& repertoire) : out_(out), repertoire_(repertoire) {}
  EncodableText(const EncodableText&) = delete;
  EncodableText& operator=(const EncodableText&) = delete;

  void Append(const WChar* text, uint32_t n) {
    if (writable_ && !repertoire_.CarriesAll()) writable_ = repertoire_.CarriesEvery(text, n);
    out_.Append(text, n);
  }
  template <class Text>
  void Append(const Text& text) {
    Append(text.Data(), text.Length());
  }
  void AppendChar(WChar c) { Append(&c, 1); }

  // Text that character references may stand in for.
  void AppendContent(const WChar* text, uint32_t n) {
    if (repertoire_.CarriesAll()) {
      out_.Append(text, n);
      return;
    }
    uint32_t start = 0;  // of the run not yet appended
    uint32_t units = 1;
    for (uint32_t i = 0; i < n; i += units) {
      const char32_t c = CharacterAt(text, n, i, units);
      if (repertoire_.Carries(c)) continue;
      out_.Append(text + start, i - start);
      WChar reference[syntax::kCharacterReferenceSize];
      out_.Append(reference, syntax::FormatCharacterReference(c, 1, reference));
      start = i + units;
    }
    out_.Append(text + start, n - start);
  }

  // False once something other than content held a character that the
  // encoding cannot carry.
  bool Writable() const { return writable_; }

 private:
  Sink& out_;
  Repertoire& repertoire_;
  bool writable_ = true;
};

}  // namespace kelmo

#endif  // KELMO_ENCODING_ENCODABLE_TEXT_H
