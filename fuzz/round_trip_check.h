// The round-trip property: a tree that the parser builds, written as XML and
// parsed again, comes back as the same tree, except where the mapping between
// XML and nodes cannot carry a detail:
//  - The root has no name and so writes no element of its own. When it holds
//    a value (set by a CDATA section at document level) the writer refuses
//    the tree; without that value the tree is written, and the root comes
//    back with no value and kind 0.
//  - An empty text value of an element-kind node comes back as no value.
//  - A CDATA-kind value holding "]]>" or a surrogate half outside a pair
//    cannot be a section; it is written as escaped text and comes back as an
//    element-kind value. (Sections end at their first "]]>", so the parser
//    never builds one; only a reference keeps a lone surrogate half.)
//  - Values are compared as text: a CDATA node left holding its Bool marker
//    by an unfinished section comes back as the String "1".
// Line feeds and carriage returns in values, and blanks at their ends,
// survive, because the writer writes them as character references. A tree
// written once more after the round trip must then be reproduced exactly:
// the second tree, written and parsed again, gives the same tree and the
// same text.
#ifndef KELMO_FUZZ_ROUND_TRIP_CHECK_H
#define KELMO_FUZZ_ROUND_TRIP_CHECK_H

#include <string>

#include "api/kelmo_parser_impl.h"
#include "encoding/encoding.h"
#include "text/utf8_codec.h"
#include "tree/tree_node.h"
#include "tree/wstr_buf.h"
#include "tree_snapshot.h"
#include "xml/xml_writer.h"

namespace kelmo_fuzz {

// Indent unit, newline and first indent of the writer; all blank, so the
// layout never changes what is read back.
struct Layout {
  const char16_t* unit;
  const char16_t* newline;
  const char16_t* indent;
};

constexpr Layout kLayouts[] = {
    {u"  ", u"\n", u""},
    {u"", u"", u""},
    {u"\t", u"\r\n", u"\t"},
    {u" ", u"\r", u""},
};
constexpr unsigned kLayoutCount = sizeof(kLayouts) / sizeof(kLayouts[0]);

// Output encodings for the bytes leg of the check; each can hold any text
// that has no unpaired surrogate.
constexpr const char16_t* kOutputEncodings[] = {u"utf-8", u"utf-16le", u"utf-16be"};
constexpr unsigned kOutputEncodingCount = 3;

// The tree that a written and re-read copy of `built` must give.
inline TreeSnapshot ExpectedAfterRoundTrip(const TreeSnapshot& built) {
  TreeSnapshot expected = built;
  for (size_t i = 0; i < expected.size(); ++i) {
    NodeRecord& r = expected[i];
    if (i == 0) {
      r.kind = 0;
      r.hasText = false;
      r.text.clear();
      continue;
    }
    bool unpaired = false;
    for (size_t k = 0; k < r.text.size(); ++k) {
      const char16_t c = r.text[k];
      if (c < 0xD800 || c > 0xDFFF) continue;
      if (c <= 0xDBFF && k + 1 < r.text.size() && r.text[k + 1] >= 0xDC00 && r.text[k + 1] <= 0xDFFF) {
        ++k;
      } else {
        unpaired = true;
      }
    }
    const bool noSection = unpaired || r.text.find(u"]]>") != std::u16string::npos;
    if (r.kind == 1 && r.hasText && noSection) r.kind = 0;
    if (r.kind == 0 && r.hasText && r.text.empty()) r.hasText = false;
  }
  return expected;
}

inline kelmo::WStrBuf Buf(const char16_t* text) {
  return kelmo::WStrBuf(reinterpret_cast<const WChar*>(text), kelmo::kWholeText);
}

// The written text; empty when the writer refused the tree.
inline kelmo::WStrBuf WriteTree(TreeNode& root, const Layout& layout, bool* written = nullptr) {
  kelmo::WStrBuf out;
  const bool ok =
      kelmo::WriteXml(root, out, Buf(layout.unit), Buf(layout.indent), Buf(layout.newline));
  if (written) *written = ok;
  if (!ok) out.Clear();
  return out;
}

struct ParsedTree {
  kelmo::RefPtr<kelmo::KelmoParserImpl> parser{new kelmo::KelmoParserImpl, kelmo::adopt_ref};
  bool ok = false;
  TreeNode* root() const { return parser->Parser().Root().get(); }
  std::string Where() const {
    return "error " + std::to_string(parser->GetErrorCode()) + " at line " +
           std::to_string(parser->GetErrorLine()) + " column " +
           std::to_string(parser->GetErrorColumn());
  }
};

inline void ParseWide(ParsedTree& tree, const kelmo::WStrBuf& text) {
  tree.ok = tree.parser->ParseStringW(text.Data(), text.Length());
}

inline bool HasUnpairedSurrogate(const kelmo::WStrBuf& text) {
  const WChar* p = text.Data();
  const uint32_t n = text.Length();
  for (uint32_t i = 0; i < n; ++i) {
    const uint16_t c = static_cast<uint16_t>(p[i]);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && static_cast<uint16_t>(p[i + 1]) >= 0xDC00 &&
        static_cast<uint16_t>(p[i + 1]) <= 0xDFFF) {
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      return true;
    }
  }
  return false;
}

// Whether the tree holds an element: without one, what it writes holds none
// either, and reading that fails with "no element" (error 14).
inline bool HasElement(TreeNode& root) {
  for (TreeNode* child = root.FirstChild(); child; child = child->NextSibling()) {
    if (child->Kind() != 2) return true;
  }
  return false;
}

// Parses `text`, whatever the outcome (a failed parse keeps a partial tree,
// which must round-trip too), and checks the property with the given layout
// and output encoding. Empty when everything holds, otherwise what failed.
// The tree written as UTF-8, with the UTF-16 units the writer counted.
inline std::string WriteUtf8(TreeNode& root, const Layout& layout) {
  kelmo::Utf8Text out;
  if (!kelmo::WriteXml(root, out, Buf(layout.unit), Buf(layout.indent), Buf(layout.newline)))
    return "(refused)";
  out.Finish();
  return std::string(reinterpret_cast<const char*>(out.Data()), out.Size()) + "|" +
         std::to_string(out.Units());
}

// The document read from its UTF-8, where the tree keeps long and non-ASCII
// texts as that UTF-8: written to the same bytes as the tree read from
// UTF-16 (both without a root value), and the same tree. Empty when it is;
// text with a surrogate half alone has no UTF-8 and is not tried.
inline std::string CheckUtf8Reading(const WChar* text, uint32_t length, TreeNode& fromUnits,
                                    const Layout& layout) {
  const kelmo::WStrBuf units(text, length);
  if (length == 0 || HasUnpairedSurrogate(units)) return std::string();
  std::string utf8(size_t(length) * 3 + 1, '\0');
  utf8.resize(size_t(kelmo::text::EncodeUtf8(units.Data(), units.Length(),
                                             reinterpret_cast<unsigned char*>(&utf8[0]), utf8.size())));
  ParsedTree fromBytes;
  fromBytes.ok = fromBytes.parser->ParseStringA(utf8.data(), static_cast<uint32_t>(utf8.size()),
                                                kelmo::kCodePageUtf8);
  if (!fromBytes.ok) return "the UTF-8 of a parsed text does not parse: " + fromBytes.Where();
  TreeNode* root = fromBytes.root();
  root->ResetValue();
  // Written first, while no text has its UTF-16 form yet.
  const std::string written = WriteUtf8(*root, layout);
  const std::string expected = WriteUtf8(fromUnits, layout);
  if (written != expected) {
    auto shown = [](const std::string& bytes) {
      std::u16string units;
      for (const char b : bytes) units.push_back(static_cast<unsigned char>(b));
      return Printable(units);
    };
    return "texts kept as UTF-8 write otherwise: " + shown(written) + "\nexpected: " + shown(expected);
  }
  const std::string diff = CompareSnapshots(Snapshot(&fromUnits), Snapshot(root));
  if (!diff.empty()) return "read from UTF-8: " + diff;
  return std::string();
}

inline std::string CheckRoundTrip(const WChar* text, uint32_t length, unsigned layoutChoice,
                                  unsigned encodingChoice) {
  const Layout& layout = kLayouts[layoutChoice % kLayoutCount];
  ParsedTree first;
  first.ok = first.parser->ParseStringW(text, length);
  TreeNode* root1 = first.root();
  std::string shape = CheckParserShape(root1);
  if (!shape.empty()) return "parsed tree: " + shape;
  const TreeSnapshot built = Snapshot(root1);

  bool writable = false;
  WriteTree(*root1, layout, &writable);
  if (writable == (root1->Type() != kelmo::ValueType::Empty))
    return writable ? "a root with a value was written" : "the writer refused a parsed tree";
  root1->ResetValue();
  const kelmo::WStrBuf written1 = WriteTree(*root1, layout, &writable);
  if (!writable) return "the writer refused a parsed tree without a root value";
  if (first.ok) {
    const std::string utf8Problem = CheckUtf8Reading(text, length, *root1, layout);
    if (!utf8Problem.empty()) return utf8Problem;
  }
  ParsedTree second;
  ParseWide(second, written1);
  const bool elementless = !HasElement(*root1);
  if (!second.ok && (second.parser->GetErrorCode() != 14 || !elementless))
    return "written text does not parse: " + second.Where() + "\n" +
           Printable(std::u16string(reinterpret_cast<const char16_t*>(written1.Data()), written1.Length()));
  const TreeSnapshot reread = Snapshot(second.root());
  std::string diff = CompareSnapshots(ExpectedAfterRoundTrip(built), reread);
  if (!diff.empty())
    return "round trip: " + diff + "\nwritten: " +
           Printable(std::u16string(reinterpret_cast<const char16_t*>(written1.Data()), written1.Length()));

  // From here on nothing may change any more.
  const kelmo::WStrBuf written2 = WriteTree(*second.root(), layout);
  ParsedTree third;
  ParseWide(third, written2);
  diff = CompareSnapshots(reread, Snapshot(third.root()));
  if (!diff.empty()) return "second round trip: " + diff;
  const kelmo::WStrBuf written3 = WriteTree(*third.root(), layout);
  if (!written3.Equals(written2)) return "second writing differs from the first";

  // The same text as bytes with a byte-order mark and a declaration, as a
  // saved file holds it, read back through the encoding sniffer.
  if (elementless || HasUnpairedSurrogate(written2)) return std::string();
  const char16_t* encoding = kOutputEncodings[encodingChoice % kOutputEncodingCount];
  kelmo::WStrBuf document = Buf(u"<?xml version=\"1.0\" encoding=\"");
  document.Append(Buf(encoding));
  document.Append(Buf(u"\"?>"));
  document.Append(Buf(layout.newline));
  document.Append(written2);
  kelmo::TextEncoder encoder;
  const unsigned char* bom = nullptr;
  uint32_t bomLength = 0;
  const unsigned char* bytes = nullptr;
  uint64_t size = 0;
  if (!kelmo::PrepareOutputEncoding(encoder, reinterpret_cast<const WChar*>(encoding),
                                    document.Data(), document.Length(), &bom, &bomLength, bytes,
                                    size))
    return "cannot encode the written text";
  std::string file(reinterpret_cast<const char*>(bom), bomLength);
  file.append(reinterpret_cast<const char*>(bytes), size);
  ParsedTree fourth;
  fourth.ok = fourth.parser->ParseBuffer(reinterpret_cast<const unsigned char*>(file.data()),
                                         static_cast<uint32_t>(file.size()));
  if (!fourth.ok) return "encoded text does not parse: " + fourth.Where();
  diff = CompareSnapshots(reread, Snapshot(fourth.root()));
  if (!diff.empty()) return "encoded round trip: " + diff;
  return std::string();
}

}  // namespace kelmo_fuzz

#endif  // KELMO_FUZZ_ROUND_TRIP_CHECK_H
