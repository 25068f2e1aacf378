// The value types of get and set (--as) and how their values are shown and
// read on the command line.
#ifndef KELMO_TOOLS_VALUE_FORMAT_H
#define KELMO_TOOLS_VALUE_FORMAT_H

#include <optional>
#include <string>

#include "kelmo/easy.hpp"

namespace kelmo_tool {

enum class ValueKind { String, Int, UInt, Int64, Double, Bool, Base64 };

// Words for node kinds and value types, as the tool prints them.
const char* KindWord(kelmo::NodeKind kind);
const char* TypeWord(kelmo::ValueType type);

// The kind for a --as word; nothing for an unknown word.
std::optional<ValueKind> ParseValueKind(const std::string& word);
const char* ValueKindName(ValueKind kind);
constexpr const char* kValueKindWords = "string, int, uint, int64, double, bool or base64";

// Both directions follow the library's own conversions of text to a value,
// so that what set stores, get reads back. Whole numbers: decimal, or
// hexadecimal after x, 0x or $, blanks allowed anywhere, within the range of
// the type (a number outside it is refused, never wrapped). double: a plain
// decimal with an optional sign and point, no exponent, or nan, inf, -inf.
// bool: a text whose first character is t or y (true) or f or n (false),
// else a whole number, true unless 0.

// The rule for a kind, as a message for a value that does not follow it.
const char* ValueKindRule(ValueKind kind);

// The node's value as the kind asks, ready to print: numbers in decimal,
// bool as true or false, base64 as the decoded bytes. A string of an empty
// node is "". Nothing when the value does not convert.
std::optional<std::string> ReadValue(const kelmo::easy::Node& node, ValueKind kind);

// Stores `text` in the node as the kind says (numbers in the library's
// decimal text, bool as 1 or 0; base64 checked and stored as bytes).
// Returns an explanation when the text is not a value of that kind (the node
// is then unchanged), nothing on success.
std::optional<std::string> StoreValue(const kelmo::easy::Library& library,
                                      const kelmo::easy::Node& node, ValueKind kind,
                                      const std::string& text);

}  // namespace kelmo_tool

#endif  // KELMO_TOOLS_VALUE_FORMAT_H
