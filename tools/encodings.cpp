#include "encodings.h"

#include <climits>
#include <cstring>

namespace kelmo_tool {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

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

// Line and column of the given units of the decoded text (ascending), from
// 1, the column in characters; a carriage return and line feed pair breaks
// the line once.
std::vector<std::pair<unsigned int, unsigned int>> Positions(const std::u16string& text,
                                                             const std::vector<size_t>& indexes) {
  std::vector<std::pair<unsigned int, unsigned int>> positions;
  unsigned int line = 1, column = 0;
  size_t next = 0;
  for (size_t i = 0; i < text.size() && next < indexes.size(); ++i) {
    const bool newLine = i > 0 && (text[i - 1] == u'\n' || (text[i - 1] == u'\r' && text[i] != u'\n'));
    // Columns count characters: the second half of a surrogate pair adds none.
    const bool secondHalf = i > 0 && text[i] >= 0xDC00 && text[i] <= 0xDFFF && text[i - 1] >= 0xD800 &&
                            text[i - 1] < 0xDC00;
    if (newLine) {
      ++line;
      column = 1;
    } else if (!secondHalf) {
      ++column;
    }
    if (i == indexes[next]) {
      positions.emplace_back(line, column);
      ++next;
    }
  }
  return positions;
}

// True when the decoded text encodes back to exactly the bytes it came
// from: then every U+FFFD in it was written in the document as such.
bool DecodedExactly(const kelmo::Encoding& encoding, std::string_view bytes, const std::u16string& text) {
  if (text.empty() || text.size() > size_t(INT_MAX)) return bytes.empty();
  const auto* units = reinterpret_cast<const kelmo::WChar*>(text.data());
  const int size = kelmo::EncodeWith(encoding, units, int(text.size()), nullptr, 0);
  if (size <= 0) return false;
  std::string back(static_cast<size_t>(size), '\0');
  return kelmo::EncodeWith(encoding, units, int(text.size()), &back[0], size) == size && back == bytes;
}

}  // namespace

EncodingInfo Utf8Encoding() { return EncodingInfo{"utf-8", kelmo::Encoding{kelmo::kCodePageUtf8, {}}, true}; }

std::optional<EncodingInfo> FindEncoding(std::string_view name) {
  const std::string lower = Lower(name);
  kelmo::Encoding encoding;
  if (lower.size() >= kelmo::kEncodingNameSize || lower.find('\0') != std::string::npos ||
      !kelmo::FindEncoding(lower.c_str(), encoding))
    return std::nullopt;
  return EncodingInfo{lower.empty() ? std::string("utf-8") : lower, encoding, true};
}

std::string KnownEncodingNames() {
  std::string names;
  for (int row = 1; row < kelmo::kEncodingCount; ++row) {
    if (!names.empty()) names += ", ";
    names += kelmo::kEncodingNames[row];
  }
  return names;
}

EncodingInfo DetectEncoding(std::string_view bytes) {
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

std::u16string DecodeDocument(std::string_view bytes) {
  if (bytes.size() >= UINT32_MAX) return {};
  kelmo::TextDecoder decoder;
  const kelmo::WChar* text = nullptr;
  uint32_t units = 0;
  if (!kelmo::DecodeDocument(decoder, Bytes(bytes), uint32_t(bytes.size()), text, units, nullptr))
    return {};
  return std::u16string(reinterpret_cast<const char16_t*>(text), units);
}

std::vector<InputRepair> FindInputRepairs(std::string_view bytes) {
  std::vector<InputRepair> repairs;
  const EncodingInfo info = DetectEncoding(bytes);
  const std::u16string text = DecodeDocument(bytes);
  if (!info.known) {
    // The name stands in the declaration at the start, which reads as ASCII
    // in every encoding that can be sniffed.
    const size_t at = text.find(u"encoding");
    const size_t quote = at == std::u16string::npos ? at : text.find_first_of(u"\"'", at);
    const auto where = Positions(text, {quote == std::u16string::npos ? 0 : quote + 1});
    const auto [line, column] = where.empty() ? std::make_pair(1u, 1u) : where[0];
    repairs.push_back({line, column, "unknown encoding \"" + info.name +
                                         "\"; the document was read in the system's default encoding"});
  }
  if (text.find(kReplacement) == std::u16string::npos) return repairs;
  uint32_t bomLength = 0;
  char name[kelmo::kEncodingNameSize];
  kelmo::DetectEncoding(Bytes(bytes), uint32_t(bytes.size()), name, &bomLength);
  if (DecodedExactly(info.encoding, bytes.substr(bomLength), text)) return repairs;
  std::vector<size_t> replaced;
  for (size_t i = text.find(kReplacement); i != std::u16string::npos; i = text.find(kReplacement, i + 1))
    replaced.push_back(i);
  for (const auto& [line, column] : Positions(text, replaced))
    repairs.push_back({line, column, "bytes that are not valid " + (info.known ? info.name : std::string("in the default encoding")) + " became U+FFFD"});
  return repairs;
}

}  // namespace kelmo_tool
