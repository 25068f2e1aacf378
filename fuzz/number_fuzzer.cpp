// Text to number against a simple reference, and numbers through their text
// and back. The first byte picks the mode:
//  - even: the rest is text, read by ParseInteger at every width and by
//    ParseReal for float and double, compared with a reference reading of
//    the same rules and, where the text is plain, with the C library; the
//    node's getters must give the same as the parsers they are built on.
//  - odd: the rest gives a number's bits; every numeric kind is stored,
//    written as text (as the XML writer writes it) and read back.
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "finding.h"
#include "fuzz_text.h"
#include "tree/tree_node.h"
#include "tree/number_parse.h"

namespace {

using kelmo::WChar;
using kelmo_fuzz::ReportFinding;
using kelmo_fuzz::Require;

const WChar* Units(const std::u16string& s) { return reinterpret_cast<const WChar*>(s.data()); }

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// The integer rules read with 128-bit arithmetic. Prefixes and signs are
// taken while the value is 0; a magnitude beyond the width's range (up to
// 2^width - 1, or 2^(width-1) when negative) fails.
bool ReferenceInteger(const std::u16string& text, unsigned width, uint64_t& bits) {
  if (text.empty() || text[0] == 0) return false;
  const unsigned __int128 modulus = static_cast<unsigned __int128>(1) << width;
  unsigned __int128 v = 0;
  bool hex = false;
  bool negative = false;
  for (char16_t c : text) {
    if (c == 0) break;
    if (c == u' ' || c == u'\t') continue;
    const int digit = HexValue(c);
    if (digit >= 0 && (digit < 10 || hex)) {
      v = v * (hex ? 16 : 10) + digit;
      if (v >= modulus) return false;
    } else if ((c == u'x' || c == u'X' || c == u'$') && v == 0 && !hex) {
      hex = true;
    } else if (c == u'-' && v == 0) {
      negative = true;
    } else if (c == u'+' && v == 0 && !negative) {
    } else {
      return false;
    }
  }
  if (negative && v > modulus / 2) return false;
  bits = static_cast<uint64_t>(negative ? (modulus - v) % modulus : v);
  return true;
}

// Plain texts the C library reads too: an optional sign, then up to 18
// decimal digits, or a hexadecimal prefix and up to 15 hexadecimal digits.
bool LibraryInteger(const std::u16string& text, unsigned width, uint64_t& bits) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  int base = 10;
  if (i + 1 < text.size() && text[i] == u'0' && text[i + 1] == u'x') {
    base = 16;
    i += 2;
  } else if (i < text.size() && (text[i] == u'x' || text[i] == u'$')) {
    base = 16;
    ++i;
  }
  const size_t digits = text.size() - i;
  if (digits == 0 || digits > (base == 10 ? 18u : 15u)) return false;
  std::string ascii;
  for (; i < text.size(); ++i) {
    const int d = HexValue(text[i]);
    if (d < 0 || d >= base) return false;
    ascii += static_cast<char>(text[i]);
  }
  long long value = std::strtoll(ascii.c_str(), nullptr, base);
  const uint64_t mask = width == 64 ? ~uint64_t(0) : (uint64_t(1) << width) - 1;
  // Only numbers within the width's range are compared.
  if (static_cast<uint64_t>(value) > (negative ? (mask >> 1) + 1 : mask)) return false;
  if (negative) value = -value;
  bits = static_cast<uint64_t>(value) & mask;
  return true;
}

// The real rules: digits, at most one point, blanks anywhere, a sign only
// while the value is still 0. The value itself comes from the C library
// (correctly rounded), so only the acceptance follows the rules. `decided`
// is false when a sign follows digits so deep in the fraction that the
// target type rounds their value to 0: whether the sign is accepted then
// hangs on that rounding, which the reference does not model.
struct RealReading {
  bool ok = false;
  bool decided = true;
  bool negative = false;
  size_t digits = 0;
  size_t integerDigits = 0;
  bool hasFraction = false;
  long double value = 0;  // magnitude
};

RealReading ReferenceReal(const std::u16string& text, size_t deepestSafeFraction) {
  RealReading r;
  if (text.empty() || text[0] == 0) return r;
  std::string number;
  bool fraction = false;
  size_t fractionPosition = 0;
  bool nonzero = false;     // some nonzero digit whose value survives
  bool lostDigit = false;   // some nonzero digit that may round away
  for (char16_t c : text) {
    if (c == 0) break;
    if (c == u' ' || c == u'\t') continue;
    if (c >= u'0' && c <= u'9') {
      number += static_cast<char>(c);
      ++r.digits;
      if (fraction) {
        ++fractionPosition;
      } else {
        ++r.integerDigits;
      }
      if (c != u'0') {
        if (fraction && fractionPosition > deepestSafeFraction) {
          lostDigit = true;
        } else {
          nonzero = true;
        }
      }
    } else if (c == u'.') {
      if (fraction) return r;
      fraction = true;
      r.hasFraction = true;
      number += '.';
    } else if (c == u'-' || c == u'+') {
      if (nonzero) return r;
      if (c == u'+' && r.negative) return r;
      if (lostDigit) r.decided = false;
      if (c == u'-') r.negative = true;
    } else {
      // The words of the non-finite values, blanks ignored.
      std::string word;
      for (char16_t w : text) {
        if (w == 0) break;
        if (w != u' ' && w != u'\t') word += static_cast<char>(w < 0x80 ? w : '?');
      }
      RealReading words;
      words.ok = word == "nan" || word == "inf" || word == "+inf" || word == "-inf";
      words.negative = word == "-inf";
      words.value = word == "nan" ? NAN : INFINITY;
      return words;
    }
  }
  r.ok = true;
  r.value = number.empty() || number == "." ? 0 : std::strtold(number.c_str(), nullptr);
  return r;
}

template <class Real>
void CheckReal(const std::u16string& text, const char* what) {
  const size_t safe = std::numeric_limits<Real>::max_exponent10 - 2;
  const RealReading expected = ReferenceReal(text, safe);
  Real value = 0;
  const bool ok = kelmo::ParseReal(Units(text), Units(text) + text.size(), value);
  if (!expected.decided) return;
  if (ok != expected.ok) ReportFinding(std::string(what) + ": acceptance differs from the rules");
  if (!ok) return;
  if (!std::isnan(value) && std::signbit(value) != expected.negative)
    ReportFinding(std::string(what) + ": sign differs");
  const long double got = std::fabs(static_cast<long double>(value));
  const long double exact = expected.value;
  if (std::isnan(exact)) {
    if (!std::isnan(got)) ReportFinding(std::string(what) + ": nan not read");
    return;
  }
  if (std::isinf(exact)) {
    if (!std::isinf(got)) ReportFinding(std::string(what) + ": inf not read");
    return;
  }
  const long double eps = std::numeric_limits<Real>::epsilon();
  const long double maxReal = std::numeric_limits<Real>::max();
  const long double n = static_cast<long double>(expected.digits);
  const long double relative = (2 * n + 4) * eps;
  if (std::isinf(got)) {
    if (exact < maxReal * (1 - relative)) ReportFinding(std::string(what) + ": overflow too early");
    return;
  }
  if (std::isnan(got)) ReportFinding(std::string(what) + ": NaN");
  const long double tolerance =
      relative * exact + 16 * n * std::numeric_limits<Real>::denorm_min();
  if (std::fabs(got - exact) > tolerance)
    ReportFinding(std::string(what) + ": value too far from the exact reading");
  // Whole numbers that the type holds exactly are read exactly.
  const size_t exactDigits = std::numeric_limits<Real>::digits10;
  if (!expected.hasFraction && expected.integerDigits <= exactDigits && got != exact)
    ReportFinding(std::string(what) + ": whole number not exact");
}

template <class T, class Getter>
void RequireSameGetter(kelmo::TreeNode& node, Getter get, bool parsedOk, T parsed,
                       const char* what) {
  T value{};
  const bool ok = (node.*get)(value);
  if (ok != parsedOk) ReportFinding(std::string(what) + ": getter result differs from the parser");
  if (ok && std::memcmp(&value, &parsed, sizeof(T)) != 0)
    ReportFinding(std::string(what) + ": getter value differs from the parser");
}

void CheckText(const std::u16string& text) {
  const WChar* first = Units(text);
  const WChar* end = first + text.size();
  uint64_t parsed[4] = {};
  bool parsedOk[4] = {};
  const unsigned widths[4] = {8, 16, 32, 64};
  for (int i = 0; i < 4; ++i) {
    uint64_t expected = 0;
    const bool expectOk = ReferenceInteger(text, widths[i], expected);
    parsedOk[i] = kelmo::ParseInteger(first, end, widths[i], parsed[i]);
    if (parsedOk[i] != expectOk) ReportFinding("ParseInteger acceptance differs from the rules");
    if (expectOk && parsed[i] != expected) ReportFinding("ParseInteger value differs from the rules");
    uint64_t library = 0;
    if (LibraryInteger(text, widths[i], library) && (!parsedOk[i] || parsed[i] != library))
      ReportFinding("ParseInteger differs from the C library on a plain text");
  }
  CheckReal<float>(text, "ParseReal float");
  CheckReal<double>(text, "ParseReal double");

  kelmo::RefPtr<kelmo::TreeNode> node = kelmo::TreeNode::Make();
  node->SetStringW(first, static_cast<uint32_t>(text.size()));
  using K = kelmo::TreeNode;
  RequireSameGetter<char>(*node, &K::GetChar, parsedOk[0], static_cast<char>(parsed[0]), "GetChar");
  RequireSameGetter<unsigned char>(*node, &K::GetUChar, parsedOk[0],
                                   static_cast<unsigned char>(parsed[0]), "GetUChar");
  RequireSameGetter<int16_t>(*node, &K::GetShort, parsedOk[1], static_cast<int16_t>(parsed[1]),
                             "GetShort");
  RequireSameGetter<uint16_t>(*node, &K::GetUShort, parsedOk[1], static_cast<uint16_t>(parsed[1]),
                              "GetUShort");
  RequireSameGetter<int>(*node, &K::GetInt, parsedOk[2], static_cast<int>(parsed[2]), "GetInt");
  RequireSameGetter<unsigned int>(*node, &K::GetUInt, parsedOk[2],
                                  static_cast<unsigned int>(parsed[2]), "GetUInt");
  RequireSameGetter<int32_t>(*node, &K::GetLong, parsedOk[2], static_cast<int32_t>(parsed[2]),
                             "GetLong");
  RequireSameGetter<uint32_t>(*node, &K::GetULong, parsedOk[2], static_cast<uint32_t>(parsed[2]),
                              "GetULong");
  RequireSameGetter<int64_t>(*node, &K::GetInt64, parsedOk[3], static_cast<int64_t>(parsed[3]),
                             "GetInt64");
  RequireSameGetter<uint64_t>(*node, &K::GetUInt64, parsedOk[3], parsed[3], "GetUInt64");
  float f = 0;
  const bool fOk = kelmo::ParseReal(first, end, f);
  RequireSameGetter<float>(*node, &K::GetFloat, fOk, f, "GetFloat");
  double d = 0;
  const bool dOk = kelmo::ParseReal(first, end, d);
  RequireSameGetter<double>(*node, &K::GetDouble, dOk, d, "GetDouble");
  long double ld = 0;
  if (node->GetLongDouble(ld) != dOk || (dOk && !(ld == d || (std::isnan(ld) && std::isnan(d)))))
    ReportFinding("GetLongDouble differs from GetDouble");

  // Booleans: the first unit decides for the words, otherwise the number.
  bool b = false;
  const bool bOk = node->GetBool(b);
  const char16_t c0 = text.empty() ? 0 : text[0];
  const std::u16string yes = u"TtYy", no = u"FfNn";
  if (c0 != 0 && yes.find(c0) != std::u16string::npos) {
    Require(bOk && b, "GetBool of a yes word");
  } else if (c0 != 0 && no.find(c0) != std::u16string::npos) {
    Require(bOk && !b, "GetBool of a no word");
  } else {
    Require(bOk == parsedOk[2] && (!bOk || b == (static_cast<uint32_t>(parsed[2]) != 0)),
            "GetBool differs from the 32-bit reading");
  }
}

std::u16string TextOf(kelmo::TreeNode& node) {
  const WChar* text = nullptr;
  unsigned int length = 0;
  kelmo::RefPtr<kelmo::XInRes> holder;
  if (!node.GetStringW(text, length, holder)) ReportFinding("a number has no text");
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

// Reads the node back through every numeric getter (whatever the value, no
// getter may misbehave) and returns its text.
std::u16string ExerciseGetters(kelmo::TreeNode& node) {
  char c;
  unsigned char uc;
  int16_t s;
  uint16_t us;
  int i;
  unsigned int ui;
  int32_t l;
  uint32_t ul;
  int64_t i64;
  uint64_t u64;
  float f;
  double d;
  long double ld;
  bool b;
  Require(node.GetChar(c) && node.GetUChar(uc) && node.GetShort(s) && node.GetUShort(us) &&
              node.GetInt(i) && node.GetUInt(ui) && node.GetLong(l) && node.GetULong(ul) &&
              node.GetInt64(i64) && node.GetUInt64(u64) && node.GetFloat(f) &&
              node.GetDouble(d) && node.GetLongDouble(ld) && node.GetBool(b),
          "a numeric getter refused a number");
  return TextOf(node);
}

template <class Int>
void CheckIntegerText(Int value, void (kelmo::TreeNode::*set)(Int), unsigned width) {
  kelmo::RefPtr<kelmo::TreeNode> node = kelmo::TreeNode::Make();
  (node.get()->*set)(value);
  const std::u16string text = ExerciseGetters(*node);
  uint64_t bits = 0;
  const uint64_t mask = width == 64 ? ~uint64_t(0) : (uint64_t(1) << width) - 1;
  if (!kelmo::ParseInteger(Units(text), Units(text) + text.size(), width, bits) ||
      bits != (static_cast<uint64_t>(value) & mask))
    ReportFinding("an integer does not survive its text: " + std::string(text.begin(), text.end()));
}

template <class Real>
void CheckRealText(Real value, void (kelmo::TreeNode::*set)(Real)) {
  kelmo::RefPtr<kelmo::TreeNode> node = kelmo::TreeNode::Make();
  (node.get()->*set)(value);
  const std::u16string text = ExerciseGetters(*node);
  Real back = 0;
  if (!kelmo::ParseReal(Units(text), Units(text) + text.size(), back))
    ReportFinding("the text of a real does not parse: " + std::string(text.begin(), text.end()));
  // The text is the shortest that reads back as the very same value.
  const bool same = std::isnan(value) ? std::isnan(back)
                                      : std::memcmp(&back, &value, sizeof value) == 0;
  if (!same)
    ReportFinding("a real does not survive its text: " + std::string(text.begin(), text.end()));
  if (text.find_first_of(u"eE") != std::u16string::npos)
    ReportFinding("a real text has an exponent: " + std::string(text.begin(), text.end()));
}

void CheckNumbers(const uint8_t* data, size_t size) {
  uint8_t raw[8] = {};
  std::memcpy(raw, data, size < 8 ? size : 8);
  uint64_t u;
  std::memcpy(&u, raw, 8);
  double d;
  std::memcpy(&d, raw, 8);
  float f;
  std::memcpy(&f, raw, 4);
  using K = kelmo::TreeNode;
  CheckIntegerText<char>(static_cast<char>(u), &K::SetChar, 8);
  CheckIntegerText<unsigned char>(static_cast<unsigned char>(u), &K::SetUChar, 8);
  CheckIntegerText<int16_t>(static_cast<int16_t>(u), &K::SetShort, 16);
  CheckIntegerText<uint16_t>(static_cast<uint16_t>(u), &K::SetUShort, 16);
  CheckIntegerText<int>(static_cast<int>(u), &K::SetInt, 32);
  CheckIntegerText<unsigned int>(static_cast<unsigned int>(u), &K::SetUInt, 32);
  CheckIntegerText<int32_t>(static_cast<int32_t>(u), &K::SetLong, 32);
  CheckIntegerText<uint32_t>(static_cast<uint32_t>(u), &K::SetULong, 32);
  CheckIntegerText<int64_t>(static_cast<int64_t>(u), &K::SetInt64, 64);
  CheckIntegerText<uint64_t>(u, &K::SetUInt64, 64);
  CheckRealText<double>(d, &K::SetDouble);
  CheckRealText<float>(f, &K::SetFloat);
  kelmo::RefPtr<kelmo::TreeNode> node = kelmo::TreeNode::Make();
  node->SetLongDouble(d);
  ExerciseGetters(*node);
  node->SetBool(raw[0] & 1);
  ExerciseGetters(*node);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0xFFFFu) return 0;
  const uint8_t mode = kelmo_fuzz::TakeByte(data, size);
  if (mode & 1) {
    CheckNumbers(data, size);
  } else {
    CheckText(kelmo_fuzz::LenientUtf16(data, size));
  }
  return 0;
}
