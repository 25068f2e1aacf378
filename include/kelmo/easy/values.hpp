// Typed reads and writes of one node's value through C++ types. Each type is
// routed to the getter and setter of the same width, so the library's own
// conversions (text to number, number to number, base64 to bytes) apply.
#ifndef KELMO_EASY_VALUES_HPP
#define KELMO_EASY_VALUES_HPP

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "kelmo/easy/utf.hpp"
#include "kelmo/kelmo.h"

namespace kelmo {
namespace easy {

using Node = RefPtr<Kelmo>;
using Bytes = std::vector<unsigned char>;

// How one C++ type meets the node interface. Specialised below for booleans,
// integers of every width, floating types, text and bytes.
template <class T, class Enable = void>
struct ValueTraits;

template <>
struct ValueTraits<bool> {
  static bool Get(Kelmo& node, bool& value) { return node.GetBool(value); }
  static void Set(Kelmo& node, bool value) { node.SetBool(value); }
};

namespace detail {

// The node's getter and setter for one width of integer, and the C++ type
// they take. Each integer type is routed to the pair of its width and sign.
template <class Held, auto kGet, auto kSet>
struct IntegerSlots {
  using Type = Held;
  static bool Get(Kelmo& node, Held& value) { return (node.*kGet)(value); }
  static void Set(Kelmo& node, Held value) { (node.*kSet)(value); }
};

template <size_t kSize, bool kSigned>
struct IntegerSlotsOf {
  static_assert(kSize <= 8, "integers wider than 64 bits have no node kind");
};
template <> struct IntegerSlotsOf<1, true> : IntegerSlots<char, &Kelmo::GetChar, &Kelmo::SetChar> {};
template <> struct IntegerSlotsOf<1, false> : IntegerSlots<unsigned char, &Kelmo::GetUChar, &Kelmo::SetUChar> {};
template <> struct IntegerSlotsOf<2, true> : IntegerSlots<int16_t, &Kelmo::GetShort, &Kelmo::SetShort> {};
template <> struct IntegerSlotsOf<2, false> : IntegerSlots<uint16_t, &Kelmo::GetUShort, &Kelmo::SetUShort> {};
template <> struct IntegerSlotsOf<4, true> : IntegerSlots<int, &Kelmo::GetInt, &Kelmo::SetInt> {};
template <> struct IntegerSlotsOf<4, false> : IntegerSlots<unsigned int, &Kelmo::GetUInt, &Kelmo::SetUInt> {};
template <> struct IntegerSlotsOf<8, true> : IntegerSlots<int64_t, &Kelmo::GetInt64, &Kelmo::SetInt64> {};
template <> struct IntegerSlotsOf<8, false> : IntegerSlots<uint64_t, &Kelmo::GetUInt64, &Kelmo::SetUInt64> {};

}  // namespace detail

template <class T>
struct ValueTraits<T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>>> {
  static constexpr bool kSigned = std::is_signed_v<T> || std::is_same_v<T, char>;
  using Slots = detail::IntegerSlotsOf<sizeof(T), kSigned>;
  using Held = typename Slots::Type;

  static bool Get(Kelmo& node, T& value) {
    Held held;
    if (!Slots::Get(node, held)) return false;
    value = static_cast<T>(held);
    return true;
  }

  static void Set(Kelmo& node, T value) { Slots::Set(node, static_cast<Held>(value)); }
};

template <>
struct ValueTraits<float> {
  static bool Get(Kelmo& node, float& value) { return node.GetFloat(value); }
  static void Set(Kelmo& node, float value) { node.SetFloat(value); }
};

template <>
struct ValueTraits<double> {
  static bool Get(Kelmo& node, double& value) { return node.GetDouble(value); }
  static void Set(Kelmo& node, double value) { node.SetDouble(value); }
};

template <>
struct ValueTraits<long double> {
  static bool Get(Kelmo& node, long double& value) { return node.GetLongDouble(value); }
  static void Set(Kelmo& node, long double value) { node.SetLongDouble(value); }
};

template <>
struct ValueTraits<std::u16string> {
  static bool Get(Kelmo& node, std::u16string& value) {
    const WChar* text = nullptr;
    unsigned int length = 0;
    RefPtr<XInRes> holder;
    if (!node.GetStringW(text, length, holder)) return false;
    value.assign(FromWide(text, length));
    return true;
  }
  static void Set(Kelmo& node, const std::u16string& value) {
    node.SetStringW(AsWide(value), static_cast<unsigned int>(value.size()));
  }
};

// UTF-8 text. Kept apart from the narrow getters so that the result does not
// depend on which code pages the platform converter knows.
template <>
struct ValueTraits<std::string> {
  static bool Get(Kelmo& node, std::string& value) {
    std::u16string wide;
    if (!ValueTraits<std::u16string>::Get(node, wide)) return false;
    value = ToUtf8(wide);
    return true;
  }
  static void Set(Kelmo& node, std::string_view value) {
    ValueTraits<std::u16string>::Set(node, ToUtf16(value));
  }
};

template <>
struct ValueTraits<std::string_view> {
  static void Set(Kelmo& node, std::string_view value) { ValueTraits<std::string>::Set(node, value); }
};

template <>
struct ValueTraits<const char*> {
  static void Set(Kelmo& node, const char* value) {
    ValueTraits<std::string>::Set(node, value ? std::string_view(value) : std::string_view());
  }
};

template <>
struct ValueTraits<char*> : ValueTraits<const char*> {};

template <>
struct ValueTraits<std::u16string_view> {
  static void Set(Kelmo& node, std::u16string_view value) {
    ValueTraits<std::u16string>::Set(node, std::u16string(value));
  }
};

template <>
struct ValueTraits<const char16_t*> {
  static void Set(Kelmo& node, const char16_t* value) {
    ValueTraits<std::u16string>::Set(node, value ? std::u16string(value) : std::u16string());
  }
};

// Bytes: a Binary value directly, or a String value decoded from base64.
template <>
struct ValueTraits<Bytes> {
  static bool Get(Kelmo& node, Bytes& value) {
    const unsigned char* data = nullptr;
    unsigned int length = 0;
    RefPtr<XInRes> holder;
    if (!node.GetBinary(data, length, holder)) return false;
    value.assign(data, data + length);
    return true;
  }
  static void Set(Kelmo& node, const Bytes& value) {
    // A length of 0xFFFFFFFF would mean "up to the first zero byte".
    if (value.size() >= kWholeText) return;
    node.SetBinary(value.data(), static_cast<unsigned int>(value.size()));
  }
};

// A bool to be written as the word "true" or "false" rather than the
// library's 1 or 0: Set(config, "server/tls", BoolText{true}). It is stored
// as that text, which every bool getter reads back.
struct BoolText {
  bool value = false;
};

template <>
struct ValueTraits<BoolText> {
  static bool Get(Kelmo& node, BoolText& value) { return node.GetBool(value.value); }
  static void Set(Kelmo& node, BoolText value) {
    ValueTraits<std::u16string_view>::Set(node, value.value ? u"true" : u"false");
  }
};

// The node's own value as T; empty when there is no node or the value does
// not convert to T.
template <class T>
std::optional<T> ValueOf(const Node& node) {
  if (!node) return std::nullopt;
  T value{};
  if (!ValueTraits<T>::Get(*node, value)) return std::nullopt;
  return value;
}

// A null text stands for empty text.
inline bool IsValidUtf8OrNull(const char* text) { return !text || IsValidUtf8(text); }

// Stores a value of any supported type in the node; false without a node,
// and for text that is not valid UTF-8 (the value is then left as it was).
template <class T>
bool StoreValue(const Node& node, T&& value) {
  if (!node) return false;
  using Stored = std::decay_t<T>;
  if constexpr (std::is_same_v<Stored, const char*> || std::is_same_v<Stored, char*>) {
    if (!IsValidUtf8OrNull(value)) return false;
  } else if constexpr (std::is_convertible_v<const Stored&, std::string_view>) {
    if (!IsValidUtf8(std::string_view(value))) return false;
  }
  ValueTraits<Stored>::Set(*node, std::forward<T>(value));
  return true;
}

// The node's name as UTF-8 ("" for a null node or an unnamed one).
inline std::string NameOf(const Node& node) {
  if (!node) return {};
  const WChar* text = nullptr;
  unsigned int length = 0;
  RefPtr<XInRes> holder;
  if (!node->GetNameW(text, length, holder)) return {};
  return ToUtf8(FromWide(text, length));
}

// Renames the node; false, with the name left as it was, without a node or
// for a name that is not valid UTF-8.
inline bool Rename(const Node& node, std::string_view name) {
  if (!node || !IsValidUtf8(name)) return false;
  const std::u16string wide = ToUtf16(name);
  node->SetNameW(AsWide(wide), static_cast<unsigned int>(wide.size()));
  return true;
}

inline NodeKind KindOf(const Node& node) {
  return node ? static_cast<NodeKind>(node->GetKind()) : NodeKind::Element;
}

inline ValueType TypeOf(const Node& node) {
  return node ? static_cast<ValueType>(node->GetType()) : ValueType::Empty;
}

}  // namespace easy
}  // namespace kelmo

#endif  // KELMO_EASY_VALUES_HPP
