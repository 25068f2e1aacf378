#include "value_format.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <limits>

namespace kelmo_tool {
namespace {

using kelmo::easy::Bytes;
using kelmo::easy::Node;
using kelmo::easy::ValueOf;

struct KindSpelling {
  const char* word;
  ValueKind kind;
};

constexpr KindSpelling kKindWords[] = {
    {"string", ValueKind::String}, {"int", ValueKind::Int},       {"uint", ValueKind::UInt},
    {"int64", ValueKind::Int64},   {"double", ValueKind::Double}, {"bool", ValueKind::Bool},
    {"base64", ValueKind::Base64},
};

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// A whole number in decimal or 0x hexadecimal with an optional sign, within
// [minimum, maximum]. Nothing when the text is anything else.
template <class T>
std::optional<T> ParseWhole(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  uint64_t magnitude = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (negative) {
    if (!std::is_signed_v<T>) {
      if (magnitude != 0) return std::nullopt;
      return T(0);
    }
    const uint64_t limit = static_cast<uint64_t>(std::numeric_limits<T>::max()) + 1;
    if (magnitude > limit) return std::nullopt;
    return static_cast<T>(-static_cast<int64_t>(magnitude - 1) - 1);
  }
  if (magnitude > static_cast<uint64_t>(std::numeric_limits<T>::max())) return std::nullopt;
  return static_cast<T>(magnitude);
}

std::optional<bool> ParseBool(const std::string& text) {
  const std::string word = Lower(text);
  if (word == "true" || word == "yes" || word == "on" || word == "1") return true;
  if (word == "false" || word == "no" || word == "off" || word == "0") return false;
  return std::nullopt;
}

template <class T>
std::optional<std::string> Decimal(const Node& node) {
  std::optional<T> value = ValueOf<T>(node);
  if (!value) return std::nullopt;
  return std::to_string(*value);
}

}  // namespace

const char* KindWord(kelmo::NodeKind kind) {
  switch (kind) {
    case kelmo::NodeKind::Element: return "element";
    case kelmo::NodeKind::CData: return "cdata";
    case kelmo::NodeKind::Attribute: return "attribute";
  }
  return "unknown kind";
}

const char* TypeWord(kelmo::ValueType type) {
  switch (type) {
    case kelmo::ValueType::Empty: return "empty";
    case kelmo::ValueType::Char: return "char";
    case kelmo::ValueType::UChar: return "uchar";
    case kelmo::ValueType::Short: return "short";
    case kelmo::ValueType::UShort: return "ushort";
    case kelmo::ValueType::Int: return "int";
    case kelmo::ValueType::UInt: return "uint";
    case kelmo::ValueType::Int64: return "int64";
    case kelmo::ValueType::UInt64: return "uint64";
    case kelmo::ValueType::Long: return "long";
    case kelmo::ValueType::ULong: return "ulong";
    case kelmo::ValueType::Float: return "float";
    case kelmo::ValueType::Double: return "double";
    case kelmo::ValueType::LongDouble: return "long double";
    case kelmo::ValueType::Bool: return "bool";
    case kelmo::ValueType::Pointer: return "pointer";
    case kelmo::ValueType::SharedPtr: return "shared pointer";
    case kelmo::ValueType::Unknown: return "IUnknown";
    case kelmo::ValueType::Dispatch: return "IDispatch";
    case kelmo::ValueType::String: return "string";
    case kelmo::ValueType::Binary: return "binary";
  }
  return "unknown type";
}

std::optional<ValueKind> ParseValueKind(const std::string& word) {
  for (const KindSpelling& k : kKindWords) {
    if (word == k.word) return k.kind;
  }
  return std::nullopt;
}

const char* ValueKindName(ValueKind kind) {
  for (const KindSpelling& k : kKindWords) {
    if (kind == k.kind) return k.word;
  }
  return "value";
}

std::optional<std::string> ReadValue(const Node& node, ValueKind kind) {
  switch (kind) {
    case ValueKind::String:
      if (node->IsEmpty()) return std::string();
      return ValueOf<std::string>(node);
    case ValueKind::Int: return Decimal<int32_t>(node);
    case ValueKind::UInt: return Decimal<uint32_t>(node);
    case ValueKind::Int64: return Decimal<int64_t>(node);
    case ValueKind::Double: {
      std::optional<double> value = ValueOf<double>(node);
      if (!value) return std::nullopt;
      // The library's own text for the number: the shortest plain decimal
      // that reads back exactly, as the library writes it into a file.
      const Node scratch = node->CreateNode();
      scratch->SetDouble(*value);
      return ValueOf<std::string>(scratch);
    }
    case ValueKind::Bool: {
      std::optional<bool> value = ValueOf<bool>(node);
      if (!value) return std::nullopt;
      return std::string(*value ? "true" : "false");
    }
    case ValueKind::Base64: {
      std::optional<Bytes> bytes = ValueOf<Bytes>(node);
      if (!bytes) return std::nullopt;
      return std::string(bytes->begin(), bytes->end());
    }
  }
  return std::nullopt;
}

std::optional<std::string> StoreValue(const kelmo::easy::Library& library, const Node& node,
                                      ValueKind kind, const std::string& text) {
  switch (kind) {
    case ValueKind::String:
      kelmo::easy::StoreValue(node, text);
      return std::nullopt;
    case ValueKind::Int:
      if (std::optional<int32_t> v = ParseWhole<int32_t>(text)) {
        node->SetInt(*v);
        return std::nullopt;
      }
      return std::string("an int is a whole number from -2147483648 to 2147483647");
    case ValueKind::UInt:
      if (std::optional<uint32_t> v = ParseWhole<uint32_t>(text)) {
        node->SetUInt(*v);
        return std::nullopt;
      }
      return std::string("a uint is a whole number from 0 to 4294967295");
    case ValueKind::Int64:
      if (std::optional<int64_t> v = ParseWhole<int64_t>(text)) {
        node->SetInt64(*v);
        return std::nullopt;
      }
      return std::string(
          "an int64 is a whole number from -9223372036854775808 to 9223372036854775807");
    case ValueKind::Double: {
      double value = 0;
      const char* begin = text.data();
      const char* end = begin + text.size();
      if (begin != end && *begin == '+') ++begin;
      const auto [stop, error] = std::from_chars(begin, end, value);
      if (begin == end || error != std::errc() || stop != end || !std::isfinite(value))
        return std::string("a double is a finite decimal number such as 2.5, -0.125 or 1e-3");
      // The library writes a double as the shortest plain decimal that
      // reads back as the same value.
      node->SetDouble(value);
      return std::nullopt;
    }
    case ValueKind::Bool:
      if (std::optional<bool> v = ParseBool(text)) {
        node->SetBool(*v);
        return std::nullopt;
      }
      return std::string("a bool is true or false (also yes/no, on/off, 1/0)");
    case ValueKind::Base64: {
      if (text.empty()) {
        kelmo::easy::StoreValue(node, Bytes());
        return std::nullopt;
      }
      // Decoded by the library itself, so only text it accepts is stored.
      Node probe = library.CreateNode();
      kelmo::easy::StoreValue(probe, text);
      std::optional<Bytes> bytes = ValueOf<Bytes>(probe);
      if (!bytes || bytes->size() >= kelmo::kWholeText)
        return std::string("the text is not valid base64");
      kelmo::easy::StoreValue(node, *bytes);
      return std::nullopt;
    }
  }
  return std::string("unknown value type");
}

}  // namespace kelmo_tool
