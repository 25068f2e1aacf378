#include "syntax/xml_declaration.h"

#include <cstring>

#include "syntax/char_classes.h"

namespace kelmo::syntax {
namespace {

// Outcome of matching one piece of the declaration.
enum class Match {
  Mismatch,   // something else is there: the buffer has no usable declaration
  Truncated,  // the buffer ends inside (or right at the end of) the piece
  Found,      // matched; the position is past it
};

class DeclarationScanner {
 public:
  DeclarationScanner(const unsigned char* bytes, uint32_t size) : bytes_(bytes), size_(size) {}

  // Skips white space, then compares the token's bytes exactly.
  Match Token(const char* token) {
    uint32_t pos = pos_;
    while (pos < size_ && IsXmlSpace(bytes_[pos])) ++pos;
    const uint32_t length = static_cast<uint32_t>(std::strlen(token));
    for (uint32_t i = 0; i < length; ++i) {
      if (uint64_t(pos) + i >= size_) return Match::Truncated;
      if (bytes_[pos + i] != static_cast<unsigned char>(token[i])) return Match::Mismatch;
    }
    // A declaration always goes on after any of its pieces.
    if (uint64_t(pos) + length >= size_) return Match::Truncated;
    pos_ = pos + length;
    return Match::Found;
  }

  // The first alternative, or the second when the first is plainly not there.
  Match EitherToken(const char* first, const char* second) {
    Match m = Token(first);
    return m == Match::Mismatch ? Token(second) : m;
  }

  // Steps over the white space unit that must follow; false when another
  // byte is there. Callers only ask after a match, so a byte is always there.
  bool Separator() {
    if (pos_ >= size_ || !IsXmlSpace(bytes_[pos_])) return false;
    ++pos_;
    return true;
  }

  // The digits of a version number after "1.", then the quote that opened
  // the value.
  Match VersionDigits(unsigned char quote) {
    uint32_t end = pos_;
    while (end < size_ && bytes_[end] >= '0' && bytes_[end] <= '9') ++end;
    if (uint64_t(end) + 1 >= size_) return Match::Truncated;
    if (end == pos_ || bytes_[end] != quote) return Match::Mismatch;
    pos_ = end + 1;
    return Match::Found;
  }

  // The byte n places before the position; callers ask only within what
  // they matched.
  unsigned char Behind(uint32_t n) const { return bytes_[pos_ - n]; }

  uint32_t Position() const { return pos_; }

 private:
  const unsigned char* bytes_;
  uint32_t size_;
  uint32_t pos_ = 0;
};

// The characters of an XML encoding name.
bool IsEncodingNameByte(unsigned char b) {
  return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
         b == '-' || b == '_' || b == '.';
}

}  // namespace

bool ReadDeclaredEncoding(const unsigned char* bytes, uint32_t size, char* name, uint32_t nameSize) {
  DeclarationScanner scan(bytes, size);
  // Each piece either matches, or is plainly absent (no declaration to go
  // by: true with the empty name), or is cut off by the end (false).
  Match m;
  if ((m = scan.Token("<?xml")) != Match::Found) return m == Match::Mismatch;
  if (!scan.Separator()) return true;
  if ((m = scan.Token("version")) != Match::Found) return m == Match::Mismatch;
  if ((m = scan.Token("=")) != Match::Found) return m == Match::Mismatch;
  // Version 1.0, 1.1 or any later 1.x: the encoding is named the same way.
  if ((m = scan.EitherToken("\"1.", "'1.")) != Match::Found) return m == Match::Mismatch;
  if ((m = scan.VersionDigits(scan.Behind(3))) != Match::Found) return m == Match::Mismatch;
  if (!scan.Separator()) return true;
  if ((m = scan.Token("encoding")) != Match::Found) return m == Match::Mismatch;
  if ((m = scan.Token("=")) != Match::Found) return m == Match::Mismatch;
  if ((m = scan.EitherToken("\"", "'")) != Match::Found) return m == Match::Mismatch;

  uint32_t end = scan.Position();
  while (end < size && IsEncodingNameByte(bytes[end])) ++end;
  if (end >= size) return false;
  if (bytes[end] != '"' && bytes[end] != '\'') return true;

  const uint32_t start = scan.Position();
  const uint32_t count = end - start < nameSize - 1 ? end - start : nameSize - 1;
  for (uint32_t i = 0; i < count; ++i) {
    const unsigned char b = bytes[start + i];
    name[i] = static_cast<char>(b >= 'A' && b <= 'Z' ? b - 'A' + 'a' : b);
  }
  return true;
}

}  // namespace kelmo::syntax
