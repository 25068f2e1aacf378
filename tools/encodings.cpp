#include "encodings.h"

#include <climits>
#include <cstring>

#include "kelmo/easy/decoding.hpp"
#include "text/code_page_names.h"

namespace kelmo_tool {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

const unsigned char* Bytes(std::string_view bytes) {
  return reinterpret_cast<const unsigned char*>(bytes.data());
}

}  // namespace

std::optional<std::string> EncodeBack(const kelmo::Encoding& encoding, const std::u16string& text) {
  if (text.empty() || text.size() > size_t(INT_MAX)) return std::string();
  const auto* units = reinterpret_cast<const kelmo::WChar*>(text.data());
  const int size = kelmo::EncodeWith(encoding, units, int(text.size()), nullptr, 0);
  if (size <= 0) return std::nullopt;
  std::string back(static_cast<size_t>(size), '\0');
  if (kelmo::EncodeWith(encoding, units, int(text.size()), &back[0], size) != size) return std::nullopt;
  return back;
}

EncodingInfo Utf8Encoding() { return EncodingInfo{"utf-8", kelmo::Encoding{kelmo::kCodePageUtf8, {}}, true}; }

std::optional<EncodingInfo> FindEncodingByName(std::string_view name) {
  const std::string lower = Lower(name);
  kelmo::Encoding encoding;
  if (lower.size() >= kelmo::kEncodingNameSize || lower.find('\0') != std::string::npos ||
      !kelmo::FindEncoding(lower.c_str(), encoding))
    return std::nullopt;
  return EncodingInfo{lower.empty() ? std::string("utf-8") : lower, encoding, true};
}

std::string KnownEncodingNames() {
  std::string names;
  for (size_t row = 0; row < kelmo::text::kCodePageNameRows; ++row) {
    kelmo::text::ForEachName(kelmo::text::kCodePageNames[row].own, [&names](std::string_view name) {
      if (!names.empty()) names += ", ";
      names += name;
    });
  }
  return names;
}

EncodingInfo DetectDocumentEncoding(std::string_view bytes) {
  char name[kelmo::kEncodingNameSize] = {};
  uint32_t bomLength = 0;
  const uint32_t size = bytes.size() > UINT32_MAX ? UINT32_MAX : uint32_t(bytes.size());
  EncodingInfo info = Utf8Encoding();
  if (!kelmo::DetectEncoding(Bytes(bytes), size, name, &bomLength) || name[0] == 0) return info;
  info.name = name;
  kelmo::Encoding fallback;  // code page 0, as the parser reads unknown names
  info.known = kelmo::FindEncoding(name, info.encoding);
  if (!info.known) info.encoding = fallback;
  return info;
}

bool ReadIn(std::string_view bytes, const EncodingInfo& encoding) {
  const EncodingInfo found = DetectDocumentEncoding(bytes);
  if (found.known != encoding.known) return false;
  if (!found.known) return found.name == encoding.name;
  return found.encoding.codePage == encoding.encoding.codePage &&
         std::strcmp(found.encoding.charset, encoding.encoding.charset) == 0;
}

std::u16string DecodeAsParserDoes(std::string_view bytes) { return DecodeDocumentOnce(bytes).text; }

DecodedDocument DecodeDocumentOnce(std::string_view bytes) {
  DecodedDocument result;
  result.encoding = Utf8Encoding();
  if (bytes.size() >= UINT32_MAX) return result;
  const uint32_t size = uint32_t(bytes.size());
  kelmo::TextDecoder decoder;
  bool known = true;
  if (!kelmo::SniffDocument(decoder, Bytes(bytes), size, result.bomLength, &known)) return result;
  // Named as DetectDocumentEncoding names it: no name is UTF-8, an unknown
  // one is read in the platform's default code page.
  if (decoder.name[0] != 0) {
    result.encoding.name = decoder.name;
    result.encoding.known = known;
    result.encoding.encoding = known ? kelmo::EncodingOf(decoder.codePage, decoder.charset) : kelmo::Encoding();
  }
  const kelmo::WChar* text = nullptr;
  uint32_t units = 0;
  if (!decoder.Decode(Bytes(bytes) + result.bomLength, size - result.bomLength, text, units)) return result;
  result.text.assign(reinterpret_cast<const char16_t*>(text), units);
  result.decoded = true;
  result.halfUnitAtEnd = decoder.ReadsUtf16() && (size - result.bomLength) % 2 != 0;
  return result;
}

std::string ReplacedBytesMessage(const EncodingInfo& info) {
  return "bytes that are not valid " + (info.known ? info.name : std::string("in the default encoding")) +
         " became U+FFFD";
}

std::vector<InputRepair> FindInputRepairs(std::string_view bytes) {
  return FindInputRepairs(bytes, DecodeDocumentOnce(bytes));
}

std::vector<InputRepair> FindInputRepairs(std::string_view bytes, const DecodedDocument& document) {
  std::vector<InputRepair> repairs;
  const EncodingInfo& info = document.encoding;
  const std::u16string& text = document.text;
  if (!info.known) {
    // The name stands in the declaration at the start, which reads as ASCII
    // in every encoding that can be sniffed.
    const size_t at = text.find(u"encoding");
    const size_t quote = at == std::u16string::npos ? at : text.find_first_of(u"\"'", at);
    const auto where = kelmo::easy::PositionsOf(text, {quote == std::u16string::npos ? 0 : quote + 1});
    const unsigned int line = where.empty() ? 1u : where[0].line;
    const unsigned int column = where.empty() ? 1u : where[0].column;
    repairs.push_back({line, column, "unknown encoding \"" + info.name +
                                         "\"; the document was read in the system's default encoding"});
  }
  const std::vector<size_t> replaced = kelmo::easy::ReplacedUnits(
      text, bytes.substr(document.bomLength), [&](const std::u16string& t) { return EncodeBack(info.encoding, t); });
  for (const auto& [line, column] : kelmo::easy::PositionsOf(text, replaced))
    repairs.push_back({line, column, ReplacedBytesMessage(info)});
  return repairs;
}

}  // namespace kelmo_tool
