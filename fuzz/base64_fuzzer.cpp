// Base64 both ways against a plain reference: the input, read as text, is
// decoded by the library and by the reference; the input's bytes are encoded
// and must decode back to themselves. Both paths run through the node's
// getters as well.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "finding.h"
#include "fuzz_text.h"
#include "tree/base64.h"
#include "tree/tree_node.h"

namespace {

using kelmo::WChar;
using kelmo_fuzz::ReportFinding;
using kelmo_fuzz::Require;

const std::u16string kAlphabet =
    u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Straight from the definition: drop at most two final "=", skip blanks,
// look every other unit up in the alphabet, then turn the 6-bit values into
// a bit string and cut it into bytes. A lone value in the last group fails.
bool ReferenceDecode(std::u16string text, std::vector<uint8_t>& out) {
  if (text.empty()) return false;
  for (int i = 0; i < 2 && !text.empty() && text.back() == u'='; ++i) text.pop_back();
  std::vector<int> values;
  for (char16_t c : text) {
    if (c == 9 || c == 10 || c == 13 || c == 32) continue;
    const size_t at = kAlphabet.find(c);
    if (at == std::u16string::npos) return false;
    values.push_back(static_cast<int>(at));
  }
  if (values.size() % 4 == 1) return false;
  std::string bits;
  for (int v : values)
    for (int b = 5; b >= 0; --b) bits += (v >> b) & 1 ? '1' : '0';
  out.clear();
  for (size_t i = 0; i + 8 <= bits.size(); i += 8) {
    uint8_t byte = 0;
    for (size_t b = 0; b < 8; ++b) byte = static_cast<uint8_t>(byte << 1 | (bits[i + b] == '1'));
    out.push_back(byte);
  }
  return true;
}

std::u16string ReferenceEncode(const uint8_t* data, size_t n) {
  std::string bits;
  for (size_t i = 0; i < n; ++i)
    for (int b = 7; b >= 0; --b) bits += (data[i] >> b) & 1 ? '1' : '0';
  while (bits.size() % 6) bits += '0';
  std::u16string out;
  for (size_t i = 0; i < bits.size(); i += 6) out += kAlphabet[std::stoi(bits.substr(i, 6), nullptr, 2)];
  while (out.size() % 4) out += u'=';
  return out;
}

void CheckDecode(const std::u16string& text) {
  const WChar* units = reinterpret_cast<const WChar*>(text.c_str());
  const uint32_t m = static_cast<uint32_t>(text.size());
  std::vector<uint8_t> expected;
  const bool expectOk = ReferenceDecode(text, expected);

  const uint64_t room64 = kelmo::Base64DecodeRoom(m);
  std::vector<uint8_t> out(room64 + 1, 0xA5);
  uint32_t room = static_cast<uint32_t>(room64);
  const bool ok = kelmo::Base64Decode(units, m, out.data(), room);
  Require(ok == expectOk, "decode result differs from the reference");
  if (ok) {
    Require(room == expected.size(), "decoded length differs from the reference");
    Require(std::equal(expected.begin(), expected.end(), out.begin()), "decoded bytes differ");
  } else {
    Require(room == room64, "a failed decode changed room");
  }
  Require(out[room64] == 0xA5, "decode wrote past its room");

  // One byte less room than the rule asks for fails before anything else.
  if (m > 0) {
    uint32_t small = static_cast<uint32_t>(room64 - 1);
    std::vector<uint8_t> probe(room64, 0x5A);
    Require(!kelmo::Base64Decode(units, m, probe.data(), small) && small == room64 - 1,
            "decode accepted too little room");
    Require(probe[0] == 0x5A, "decode wrote while refusing");
  }

  // The zero-terminated form reads up to the first zero unit.
  const std::u16string prefix(text.c_str());
  std::vector<uint8_t> viaPrefix;
  const bool prefixOk = ReferenceDecode(prefix, viaPrefix);
  std::vector<uint8_t> out2(kelmo::Base64DecodeRoom(static_cast<uint32_t>(prefix.size())) + 1);
  uint32_t room2 = static_cast<uint32_t>(out2.size());
  const bool ok2 = kelmo::Base64Decode(units, kelmo::kWholeText, out2.data(), room2);
  Require(ok2 == prefixOk, "zero-terminated decode differs from the reference");
  if (ok2) Require(room2 == viaPrefix.size(), "zero-terminated decode length differs");

  // Through a node: a String read as bytes; the empty text gives false.
  kelmo::RefPtr<kelmo::TreeNode> node = kelmo::TreeNode::Make();
  node->SetStringW(units, m);
  const unsigned char* bytes = nullptr;
  unsigned int length = 0;
  kelmo::RefPtr<kelmo::XInRes> holder;
  const bool nodeOk = node->GetBinary(bytes, length, holder);
  Require(nodeOk == (expectOk && m > 0), "GetBinary result differs from the reference");
  if (nodeOk)
    Require(length == expected.size() && std::equal(expected.begin(), expected.end(), bytes),
            "GetBinary bytes differ from the reference");
}

void CheckEncode(const uint8_t* data, size_t n) {
  if (n == 0) return;
  const std::u16string expected = ReferenceEncode(data, n);
  const uint32_t need = static_cast<uint32_t>(kelmo::Base64EncodedLength(static_cast<uint32_t>(n)));
  Require(need == expected.size(), "encoded length formula differs");

  std::u16string wide(need + 1, u'#');
  uint32_t room = need;
  Require(kelmo::Base64Encode(data, static_cast<uint32_t>(n), reinterpret_cast<WChar*>(&wide[0]), room) &&
              room == need,
          "wide encode failed");
  Require(wide.compare(0, need, expected) == 0 && wide[need] == u'#', "wide encoding differs");

  std::string narrow(need + 1, '#');
  room = need;
  Require(kelmo::Base64Encode(data, static_cast<uint32_t>(n), &narrow[0], room) && room == need,
          "narrow encode failed");
  for (uint32_t i = 0; i < need; ++i)
    Require(static_cast<char16_t>(narrow[i]) == expected[i], "narrow encoding differs");

  uint32_t small = need - 1;
  Require(!kelmo::Base64Encode(data, static_cast<uint32_t>(n), &narrow[0], small) &&
              small == need - 1,
          "encode accepted too little room");

  // Bytes read as a string and back as bytes.
  kelmo::RefPtr<kelmo::TreeNode> node = kelmo::TreeNode::Make();
  node->SetBinary(data, static_cast<uint32_t>(n));
  const WChar* text = nullptr;
  unsigned int length = 0;
  kelmo::RefPtr<kelmo::XInRes> holder;
  Require(node->GetStringW(text, length, holder) && length == need &&
              std::u16string(reinterpret_cast<const char16_t*>(text), length) == expected,
          "GetStringW of bytes differs from the encoding");
  kelmo::RefPtr<kelmo::TreeNode> back = kelmo::TreeNode::Make();
  back->SetStringW(text, length);
  const unsigned char* bytes = nullptr;
  unsigned int count = 0;
  kelmo::RefPtr<kelmo::XInRes> holder2;
  Require(back->GetBinary(bytes, count, holder2) && count == n &&
              std::equal(data, data + n, bytes),
          "bytes do not survive base64 text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0xFFFFFu) return 0;
  CheckDecode(kelmo_fuzz::LenientUtf16(data, size));
  CheckEncode(data, size);
  return 0;
}
