#include "value_format.h"

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

// Whether the node's text holds a minus sign. The library reads a whole
// number into the bits of its width, so a text beyond the signed range comes
// back negative; without a minus in the text that is a wrapped number.
bool TextIsNegative(const Node& node) {
  if (kelmo::easy::TypeOf(node) != kelmo::ValueType::String) return false;
  const std::optional<std::string> text = ValueOf<std::string>(node);
  return text && text->find('-') != std::string::npos;
}

// A whole number as the library reads it (decimal, or hexadecimal after x, 0x
// or $; blanks anywhere), refused when it lies outside [low, high] rather than
// taken as the wrapped bits of the type, which would store another number.
std::optional<int64_t> WholeInRange(const Node& node, int64_t low, uint64_t high) {
  const std::optional<int64_t> value = ValueOf<int64_t>(node);
  if (!value) return std::nullopt;
  // Above the signed 64-bit range: only an unsigned 64-bit target could hold
  // it, and none of the --as types is one.
  if (*value < 0 && kelmo::easy::TypeOf(node) == kelmo::ValueType::String && !TextIsNegative(node))
    return std::nullopt;
  if (*value < low || (*value > 0 && static_cast<uint64_t>(*value) > high)) return std::nullopt;
  return value;
}

// What a node's value means as `kind`, by the library's own conversions, so
// that get and set share one grammar: set reads its argument from a spare
// node holding the text, get reads the node in the file.
struct Interpreted {
  int64_t whole = 0;
  double real = 0;
  bool flag = false;
};

// A whole number within the range of T.
template <class T>
std::optional<int64_t> WholeOf(const Node& node) {
  return WholeInRange(node, std::numeric_limits<T>::min(), static_cast<uint64_t>(std::numeric_limits<T>::max()));
}

// The interpretation with one field set from a reading; nothing when the
// text did not read as the kind.
template <class T, class Field>
std::optional<Interpreted> Holding(const std::optional<T>& value, Field Interpreted::*field) {
  if (!value) return std::nullopt;
  Interpreted out;
  out.*field = *value;
  return out;
}

std::optional<Interpreted> Interpret(const Node& node, ValueKind kind) {
  switch (kind) {
    case ValueKind::Int: return Holding(WholeOf<int32_t>(node), &Interpreted::whole);
    case ValueKind::UInt: return Holding(WholeOf<uint32_t>(node), &Interpreted::whole);
    case ValueKind::Int64: return Holding(WholeOf<int64_t>(node), &Interpreted::whole);
    case ValueKind::Double: return Holding(ValueOf<double>(node), &Interpreted::real);
    case ValueKind::Bool: return Holding(ValueOf<bool>(node), &Interpreted::flag);
    default: return std::nullopt;
  }
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

const char* ValueKindRule(ValueKind kind) {
  switch (kind) {
    case ValueKind::String: return "any text";
    case ValueKind::Int:
      return "an int is a whole number from -2147483648 to 2147483647, in decimal or in "
             "hexadecimal after x, 0x or $";
    case ValueKind::UInt:
      return "a uint is a whole number from 0 to 4294967295, in decimal or in hexadecimal after "
             "x, 0x or $";
    case ValueKind::Int64:
      return "an int64 is a whole number from -9223372036854775808 to 9223372036854775807, in "
             "decimal or in hexadecimal after x, 0x or $";
    case ValueKind::Double:
      return "a double is a decimal number such as 2.5, -0.125 or 1000 (no exponent), or nan, "
             "inf or -inf";
    case ValueKind::Bool:
      return "a bool is a text that starts with t or y (true) or with f or n (false), or a whole "
             "number (true unless 0)";
    case ValueKind::Base64: return "the text is not valid base64";
  }
  return "unknown value type";
}

std::optional<std::string> ReadValue(const Node& node, ValueKind kind) {
  switch (kind) {
    case ValueKind::String:
      if (node->IsEmpty()) return std::string();
      return ValueOf<std::string>(node);
    case ValueKind::Int:
    case ValueKind::UInt:
    case ValueKind::Int64: {
      const std::optional<Interpreted> v = Interpret(node, kind);
      if (!v) return std::nullopt;
      return std::to_string(v->whole);
    }
    case ValueKind::Double: {
      const std::optional<Interpreted> v = Interpret(node, kind);
      if (!v) return std::nullopt;
      // The library's own text for the number: the shortest plain decimal
      // that reads back exactly, as the library writes it into a file.
      const Node scratch = node->CreateNode();
      scratch->SetDouble(v->real);
      return ValueOf<std::string>(scratch);
    }
    case ValueKind::Bool: {
      const std::optional<Interpreted> v = Interpret(node, kind);
      if (!v) return std::nullopt;
      return std::string(v->flag ? "true" : "false");
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
    case ValueKind::UInt:
    case ValueKind::Int64:
    case ValueKind::Double:
    case ValueKind::Bool: {
      // The text is read as get will read it back: by the library, from a
      // spare node that holds it as text.
      const Node probe = library.CreateNode();
      kelmo::easy::StoreValue(probe, text);
      const std::optional<Interpreted> v = Interpret(probe, kind);
      if (!v) return std::string(ValueKindRule(kind));
      if (kind == ValueKind::Int) node->SetInt(static_cast<int32_t>(v->whole));
      if (kind == ValueKind::UInt) node->SetUInt(static_cast<uint32_t>(v->whole));
      if (kind == ValueKind::Int64) node->SetInt64(v->whole);
      if (kind == ValueKind::Double) node->SetDouble(v->real);
      if (kind == ValueKind::Bool) node->SetBool(v->flag);
      return std::nullopt;
    }
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
