#include "document_text.h"

namespace kelmo_tool {
namespace {

using kelmo::WChar;

constexpr unsigned int kUtf8 = 65001, kUtf16Le = 1200, kUtf16Be = 1201;

std::string_view TakeMark(std::string_view bytes, std::string_view mark, std::string& taken) {
  if (bytes.substr(0, mark.size()) != mark) return bytes;
  taken = std::string(mark);
  return bytes.substr(mark.size());
}

bool DecodeUtf16(std::string_view bytes, bool bigEndian, std::string& utf8, std::string& why) {
  if (bytes.size() % 2 != 0) {
    why = "it ends in half a UTF-16 unit";
    return false;
  }
  const std::u16string units = Utf16UnitsOf(bytes, bigEndian);
  utf8 = kelmo::easy::ToUtf8(units);
  if (kelmo::easy::ToUtf16(utf8) != units) {
    why = "it holds an unpaired UTF-16 surrogate";
    return false;
  }
  return true;
}

std::string EncodeUtf16(std::string_view utf8, bool bigEndian) {
  const std::u16string units = kelmo::easy::ToUtf16(utf8);
  std::string bytes;
  bytes.reserve(units.size() * 2);
  for (char16_t unit : units) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    bytes += bigEndian ? high : low;
    bytes += bigEndian ? low : high;
  }
  return bytes;
}

// Narrow encodings go through the library's own converters, which are the
// ones that read and write the document.
std::string NarrowToUtf8(std::string_view bytes, const kelmo::Encoding& encoding) {
  if (bytes.empty() || bytes.size() > 0x7FFFFFFF) return {};
  const int size = static_cast<int>(bytes.size());
  const int units = kelmo::DecodeWith(encoding, bytes.data(), size, nullptr, 0);
  if (units <= 0) return {};
  std::u16string wide(static_cast<size_t>(units), u'\0');
  if (kelmo::DecodeWith(encoding, bytes.data(), size, reinterpret_cast<WChar*>(&wide[0]), units) != units)
    return {};
  return kelmo::easy::ToUtf8(wide);
}

std::string Utf8ToNarrow(std::string_view utf8, const kelmo::Encoding& encoding) {
  const std::u16string wide = kelmo::easy::ToUtf16(utf8);
  if (wide.empty() || wide.size() > 0x7FFFFFFF) return {};
  const WChar* in = reinterpret_cast<const WChar*>(wide.data());
  const int units = static_cast<int>(wide.size());
  const int size = kelmo::EncodeWith(encoding, in, units, nullptr, 0);
  if (size <= 0) return {};
  std::string narrow(static_cast<size_t>(size), '\0');
  if (kelmo::EncodeWith(encoding, in, units, &narrow[0], size) != size) return {};
  return narrow;
}

}  // namespace

std::u16string Utf16UnitsOf(std::string_view bytes, bool bigEndian) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    const unsigned char a = static_cast<unsigned char>(bytes[2 * i]);
    const unsigned char b = static_cast<unsigned char>(bytes[2 * i + 1]);
    units[i] = static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
  }
  return units;
}

bool HoldsAllCharacters(const EncodingInfo& encoding) {
  return kelmo::Repertoire(encoding.encoding).CarriesAll();
}

bool DecodeDocumentText(std::string_view bytes, const EncodingInfo& encoding, DocumentText& text,
                        std::string& why) {
  text = DocumentText();
  const unsigned int codePage = encoding.encoding.charset[0] ? 0 : encoding.encoding.codePage;
  if (codePage == kUtf8) {
    // Kept as bytes: whatever the file holds comes back as it was.
    text.utf8 = std::string(TakeMark(bytes, "\xEF\xBB\xBF", text.byteOrderMark));
    return true;
  }
  if (codePage == kUtf16Le || codePage == kUtf16Be) {
    const bool bigEndian = codePage == kUtf16Be;
    const std::string_view rest = TakeMark(bytes, bigEndian ? "\xFE\xFF" : "\xFF\xFE",
                                           text.byteOrderMark);
    return DecodeUtf16(rest, bigEndian, text.utf8, why);
  }
  text.utf8 = NarrowToUtf8(bytes, encoding.encoding);
  if (Utf8ToNarrow(text.utf8, encoding.encoding) != bytes) {
    why = std::string("its bytes do not all decode as ") + encoding.name;
    return false;
  }
  return true;
}

bool EncodeDocumentText(const DocumentText& text, const EncodingInfo& encoding, std::string& bytes,
                        std::string& why) {
  const unsigned int codePage = encoding.encoding.charset[0] ? 0 : encoding.encoding.codePage;
  if (codePage == kUtf8) {
    bytes = text.byteOrderMark + text.utf8;
    return true;
  }
  if (codePage == kUtf16Le || codePage == kUtf16Be) {
    bytes = text.byteOrderMark + EncodeUtf16(text.utf8, codePage == kUtf16Be);
    return true;
  }
  const std::string narrow = Utf8ToNarrow(text.utf8, encoding.encoding);
  if (NarrowToUtf8(narrow, encoding.encoding) != text.utf8) {
    why = std::string("the text has characters that ") + encoding.name + " cannot hold";
    return false;
  }
  bytes = text.byteOrderMark + narrow;
  return true;
}

}  // namespace kelmo_tool
