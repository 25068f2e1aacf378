// Which characters an encoding can carry, asked one character at a time
// while text is written, so that the writer can put a character reference
// where the encoding has no form for a character.
#ifndef KELMO_ENCODING_REPERTOIRE_H
#define KELMO_ENCODING_REPERTOIRE_H

#include <cstdint>
#include <memory>

#include "encoding/encoding.h"

namespace kelmo {

// The character starting at text[i] and the units it takes: a surrogate
// pair is one character, a lone half stands for itself.
char32_t CharacterAt(const WChar* text, uint32_t n, uint32_t i, uint32_t& units);

class Repertoire {
 public:
  explicit Repertoire(const Encoding& encoding);
  Repertoire(const Repertoire&) = delete;
  Repertoire& operator=(const Repertoire&) = delete;

  // True when the encoding carries every character (the Unicode forms and
  // GB18030): no character needs asking about.
  bool CarriesAll() const { return carriesAll_; }

  // True when the character, alone, encodes and decodes back to itself. A
  // lone surrogate half is carried only by the encodings that carry all.
  bool Carries(char32_t c);
  // Carries for every character of the text (surrogate pairs as one).
  bool CarriesEvery(const WChar* text, uint32_t n);

 private:
  bool Probe(char32_t c) const;

  Encoding encoding_;
  bool carriesAll_;
  // The answers for the Basic Multilingual Plane, filled as characters come
  // up: 0 not asked yet, 1 carried, 2 not carried.
  std::unique_ptr<uint8_t[]> known_;
};

}  // namespace kelmo

#endif  // KELMO_ENCODING_REPERTOIRE_H
