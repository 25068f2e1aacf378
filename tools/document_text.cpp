#include "document_text.h"

namespace kelmo_tool {
namespace {

using kelmo::RefPtr;
using kelmo::WChar;
using kelmo::XInRes;
using kelmo::easy::AsWide;
using kelmo::easy::FromWide;

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
std::string NarrowToUtf8(const kelmo::easy::Library& library, std::string_view bytes,
                         unsigned int codePage) {
  if (bytes.empty()) return {};
  kelmo::easy::Node probe = library.CreateNode();
  probe->SetStringA(bytes.data(), static_cast<unsigned int>(bytes.size()), codePage);
  return kelmo::easy::ValueOf<std::string>(probe).value_or(std::string());
}

std::string Utf8ToNarrow(const kelmo::easy::Library& library, std::string_view utf8,
                         unsigned int codePage) {
  if (utf8.empty()) return {};
  kelmo::easy::Node probe = library.CreateNode();
  kelmo::easy::StoreValue(probe, utf8);
  const char* text = nullptr;
  unsigned int length = 0;
  RefPtr<XInRes> holder;
  if (!probe->GetStringA(text, length, codePage, holder)) return {};
  return std::string(text, length);
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
  return encoding.codePage == kUtf8 || IsUtf16(encoding);
}

bool DecodeDocumentText(const kelmo::easy::Library& library, std::string_view bytes,
                        const EncodingInfo& encoding, DocumentText& text, std::string& why) {
  text = DocumentText();
  if (encoding.codePage == kUtf8) {
    // Kept as bytes: whatever the file holds comes back as it was.
    text.utf8 = std::string(TakeMark(bytes, "\xEF\xBB\xBF", text.byteOrderMark));
    return true;
  }
  if (encoding.codePage == kUtf16Le || encoding.codePage == kUtf16Be) {
    const bool bigEndian = encoding.codePage == kUtf16Be;
    const std::string_view rest = TakeMark(bytes, bigEndian ? "\xFE\xFF" : "\xFF\xFE",
                                           text.byteOrderMark);
    return DecodeUtf16(rest, bigEndian, text.utf8, why);
  }
  text.utf8 = NarrowToUtf8(library, bytes, encoding.codePage);
  if (Utf8ToNarrow(library, text.utf8, encoding.codePage) != bytes) {
    why = std::string("its bytes do not all decode as ") + encoding.name;
    return false;
  }
  return true;
}

bool EncodeDocumentText(const kelmo::easy::Library& library, const DocumentText& text,
                        const EncodingInfo& encoding, std::string& bytes, std::string& why) {
  if (encoding.codePage == kUtf8) {
    bytes = text.byteOrderMark + text.utf8;
    return true;
  }
  if (encoding.codePage == kUtf16Le || encoding.codePage == kUtf16Be) {
    bytes = text.byteOrderMark + EncodeUtf16(text.utf8, encoding.codePage == kUtf16Be);
    return true;
  }
  const std::string narrow = Utf8ToNarrow(library, text.utf8, encoding.codePage);
  if (NarrowToUtf8(library, narrow, encoding.codePage) != text.utf8) {
    why = std::string("the text has characters that ") + encoding.name + " cannot hold";
    return false;
  }
  bytes = text.byteOrderMark + narrow;
  return true;
}

}  // namespace kelmo_tool
