#include "xml/encodable_text.h"
#include "text/unicode_units.h"
#include "text/character_reference.h"

namespace kelmo {
namespace {

// The character starting at text[i] and the units it takes: a surrogate
// pair is one character, a lone half stands for itself.
char32_t CharacterAt(const WChar* text, uint32_t n, uint32_t i, uint32_t& units) {
  size_t next = i;
  const char32_t c = platform::NextCodePoint(text, n, next);
  units = uint32_t(next - i);
  return c;
}

void AppendReference(WStrBuf& out, char32_t c) {
  WChar reference[kCharacterReferenceSize];
  out.Append(reference, FormatCharacterReference(c, 1, reference));
}

}  // namespace

void EncodableText::Check(const WChar* text, uint32_t n) {
  uint32_t units = 1;
  for (uint32_t i = 0; i < n && writable_; i += units) {
    if (!repertoire_.Carries(CharacterAt(text, n, i, units))) writable_ = false;
  }
}

void EncodableText::AppendContent(const WChar* text, uint32_t n) {
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
    AppendReference(out_, c);
    start = i + units;
  }
  out_.Append(text + start, n - start);
}

}  // namespace kelmo
