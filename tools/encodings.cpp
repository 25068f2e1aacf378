#include "encodings.h"

#include <cctype>

namespace kelmo_tool {
namespace {

constexpr EncodingInfo kEncodings[] = {
    {"utf-8", 65001},     {"utf8", 65001},       {"utf-16le", 1200},  {"utf16le", 1200},
    {"utf-16", 1200},     {"utf16", 1200},       {"unicode", 1200},   {"utf-16be", 1201},
    {"utf16be", 1201},    {"unicodefffe", 1201}, {"gb2312", 936},     {"gbk", 936},
    {"x-cp20936", 20936}, {"hz-gb-2312", 52936}, {"gb18030", 54936},  {"big5", 950},
    {"shift_jis", 932},   {"ks_c_5601-1987", 949}, {"us-ascii", 20127},
};

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool StartsWith(std::string_view bytes, std::string_view prefix) {
  return bytes.substr(0, prefix.size()) == prefix;
}

bool IsNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
}

// The value of encoding="..." in a declaration at the very start.
std::string DeclaredEncoding(std::string_view bytes) {
  if (!StartsWith(bytes, "<?xml")) return {};
  const std::string_view declaration = bytes.substr(0, bytes.find("?>"));
  size_t at = declaration.find("encoding");
  if (at == std::string_view::npos) return {};
  at += 8;
  while (at < declaration.size() && (declaration[at] == ' ' || declaration[at] == '\t')) ++at;
  if (at >= declaration.size() || declaration[at] != '=') return {};
  ++at;
  while (at < declaration.size() && (declaration[at] == ' ' || declaration[at] == '\t')) ++at;
  if (at >= declaration.size() || (declaration[at] != '"' && declaration[at] != '\'')) return {};
  const size_t start = ++at;
  while (at < declaration.size() && IsNameChar(declaration[at])) ++at;
  return std::string(declaration.substr(start, at - start));
}

}  // namespace

std::optional<EncodingInfo> FindEncoding(std::string_view name) {
  const std::string lower = Lower(name);
  for (const EncodingInfo& encoding : kEncodings) {
    if (lower == encoding.name) return encoding;
  }
  return std::nullopt;
}

std::string KnownEncodingNames() {
  std::string names;
  for (const EncodingInfo& encoding : kEncodings) {
    if (!names.empty()) names += ", ";
    names += encoding.name;
  }
  return names;
}

bool IsUtf16(const EncodingInfo& encoding) {
  return encoding.codePage == 1200 || encoding.codePage == 1201;
}

EncodingInfo DetectEncoding(std::string_view bytes) {
  if (StartsWith(bytes, "\xFF\xFE") || StartsWith(bytes, std::string_view("<\0", 2)))
    return {"utf-16le", 1200};
  if (StartsWith(bytes, "\xFE\xFF") || StartsWith(bytes, std::string_view("\0<", 2)))
    return {"utf-16be", 1201};
  if (StartsWith(bytes, "\xEF\xBB\xBF")) return {"utf-8", 65001};
  if (std::optional<EncodingInfo> declared = FindEncoding(DeclaredEncoding(bytes)))
    return *declared;
  return {"utf-8", 65001};
}

}  // namespace kelmo_tool
