// The XML reader: turns UTF-16 text, or UTF-8 bytes read as they stand,
// into a tree of nodes under a fresh, nameless root. The markup is read by the shared tokenizer; this is its
// tree-building sink. A document may arrive in several feeds, and nesting
// depth costs no stack: open elements are found again through the nodes'
// parent links.
#ifndef KELMO_XML_XML_PARSER_H
#define KELMO_XML_XML_PARSER_H

#include <cstdint>

#include "syntax/value_rules.h"
#include "syntax/xml_tokenizer.h"
#include "tree/doc_memory.h"
#include "tree/tree_node.h"
#include "tree/wstr_buf.h"
#include "xml/utf8_name.h"

namespace kelmo {

// What the tokenizer reads, built into a document's memory: elements and
// attributes become nodes, an element's first text or its section its
// String value. `current` is the open element (or the attribute being
// read) while a feed runs. The tokenizer of UTF-8 input hands over byte
// spans: names are decoded to be interned, and texts are copied into the
// document's memory as UTF-8 (short ASCII ones widened to UTF-16).
class TreeBuildingSink {
 public:
  void OpenElement(const WChar* name, uint32_t length) {
    current = current->AppendNewChild(builder, name, length);
  }
  // Elements of one kind mostly repeat their attributes in one order.
  void OpenAttribute(uint32_t place, const WChar* name, uint32_t length) {
    current = current->AppendNewChild(builder, builder.InternNameAt(place, name, length));
  }
  // The parser grows a name cut by the end of its input.
  void ExtendName(const WChar* run, uint32_t length) {
    current->AppendToName(builder, run, length);
  }
  // A name met before is found from its bytes; only a new one is decoded,
  // out of line, so that the tokenizer's steps that inline these stay small.
  void OpenElement(const char* name, uint32_t length) {
    WStrBuf known = builder.FindRecentAsciiName(name, length);
    if (known.IsNull()) return OpenDecodedElement(name, length);
    current = current->AppendNewChild(builder, std::move(known));
  }
  void OpenAttribute(uint32_t place, const char* name, uint32_t length) {
    WStrBuf known = builder.FindAsciiNameAt(place, name, length);
    if (known.IsNull()) return OpenDecodedAttribute(place, name, length);
    current = current->AppendNewChild(builder, std::move(known));
  }
  [[gnu::noinline]] void OpenDecodedElement(const char* name, uint32_t length) {
    const Utf8Name units(name, length);
    OpenElement(units.Data(), units.Length());
  }
  [[gnu::noinline]] void OpenDecodedAttribute(uint32_t place, const char* name, uint32_t length) {
    const Utf8Name units(name, length);
    OpenAttribute(place, units.Data(), units.Length());
  }
  [[gnu::noinline]] void ExtendName(const char* run, uint32_t length) {
    const Utf8Name units(run, length);
    ExtendName(units.Data(), units.Length());
  }
  // Only character data comes this way; a section always takes the value.
  bool TakesText() const {
    return current != root && syntax::RunTakesValue(false, current->Type() != ValueType::Empty);
  }
  // Texts come as UTF-16 units or, from UTF-8 input, as its bytes.
  template <class Unit>
  void ElementText(const Unit* text, uint32_t length) {
    Store(text, length);
    current->SetKindByte(static_cast<int8_t>(NodeKind::Element));
  }
  // The node is a section now. Its value stops being empty at once (Bool
  // true until the section's text replaces it at "]]>"), so a text run
  // after the section is not taken as the value, and a section cut off by
  // the end of the input still shows it began.
  void SectionOpened() {
    current->SetKindByte(static_cast<int8_t>(NodeKind::CData));
    current->SetBool(true);
  }
  template <class Unit>
  void SectionText(const Unit* text, uint32_t length) { Store(text, length); }
  // A new attribute takes its value without the general value change.
  void PlainAttributeValue(const WChar* text, uint32_t length) {
    WStrBuf frozen = builder.FreezeText(text, length);
    current->AdoptFrozenString(frozen);
  }
  void PlainAttributeValue(const char* bytes, uint32_t size) { StoreUtf8<true>(bytes, size); }
  template <class Unit>
  void AttributeValue(const Unit* text, uint32_t length) { Store(text, length); }
  bool CloseAttribute() {
    current->SetKindByte(static_cast<int8_t>(NodeKind::Attribute));
    return Up();
  }
  bool CloseElement() { return Up(); }
  const WChar* OpenName(uint32_t& length) const {
    length = current->Name().Length();
    return current->Name().Data();
  }
  bool AtTop() const { return current == root; }

  DocBuilder builder;
  TreeNode* root = nullptr;  // held by the parser
  TreeNode* current = nullptr;

 private:
  // The text becomes the node's String value, copied into the document's
  // memory.
  void Store(const WChar* text, uint32_t length) {
    WStrBuf frozen = builder.FreezeText(text, length);
    current->TakeString(frozen);
  }
  void Store(const char* bytes, uint32_t size) { StoreUtf8<false>(bytes, size); }
  // A text of UTF-8 input kept as UTF-8 or widened (DocBuilder::KeepUtf8Text);
  // a new attribute adopts it without the general value change.
  template <bool kAdopt>
  void StoreUtf8(const char* bytes, uint32_t size) {
    WStrBuf wide;
    const Utf8Value* kept = builder.KeepUtf8Text(bytes, size, wide);
    if constexpr (kAdopt) {
      if (kept)
        current->AdoptUtf8String(kept);
      else
        current->AdoptFrozenString(wide);
    } else {
      if (kept)
        current->TakeUtf8String(kept);
      else
        current->TakeString(wide);
    }
  }
  // Only a named node can be closed, so it always has a parent; the check
  // keeps a broken tree from ending the walk at a null node.
  bool Up() {
    TreeNode* parent = current->Parent();
    if (!parent) return false;
    current = parent;
    return true;
  }
};

class XmlParser {
 public:
  XmlParser() = default;
  XmlParser(const XmlParser&) = delete;
  XmlParser& operator=(const XmlParser&) = delete;

  // Clean reader, new root that is also the current node, no error.
  void Reset();

  // Runs the whole text (length already resolved) through the machine. False
  // when an error stops it; the error, the position of the failing character
  // and the partial tree stay. Running out of input is never an error.
  bool Feed(const WChar* text, uint32_t length);
  // The same for UTF-8 bytes, read as they stand: well-formed UTF-8
  // (text::IsWellFormedUtf8), each feed ending on a whole character. A
  // parse takes one form from its Reset on; positions count UTF-16 units
  // either way.
  // `units`, when known, is the UTF-16 units the bytes decode to (it spares
  // counting them for positions).
  bool FeedBytes(const char* text, uint32_t length, uint32_t units = kUnitsUnknown);
  static constexpr uint32_t kUnitsUnknown = syntax::BasicCharReader<char>::kUnitsUnknown;

  // After the last input: true when the document ended outside every
  // construct with no element left open. Otherwise the input was cut short
  // (inside a tag, an open element, a comment, section, instruction or
  // reference): sets ParseError::Truncated and returns false, keeping the
  // partial tree and the position of the last character.
  bool FinishInput();

  uint32_t Line() const { return readsBytes_ ? byteTokenizer_.Line() : tokenizer_.Line(); }
  uint32_t Column() const { return readsBytes_ ? byteTokenizer_.Column() : tokenizer_.Column(); }
  uint32_t Offset() const { return readsBytes_ ? byteTokenizer_.Offset() : tokenizer_.Offset(); }
  uint32_t Error() const { return readsBytes_ ? byteTokenizer_.Error() : tokenizer_.Error(); }
  void SetError(ParseError error) {
    readsBytes_ ? byteTokenizer_.SetError(error) : tokenizer_.SetError(error);
  }

  const RefPtr<TreeNode>& Root() const { return root_; }
  const RefPtr<TreeNode>& Current() const { return current_; }
  void ReleaseCurrent() { current_ = nullptr; }
  void ReleaseRoot() { root_ = nullptr; }

 private:
  template <class Tokenizer, class Unit>
  bool FeedUnits(Tokenizer& tokenizer, const Unit* text, uint32_t length, uint32_t units);

  syntax::XmlTokenizer<TreeBuildingSink> tokenizer_;
  syntax::XmlTokenizer<TreeBuildingSink, char> byteTokenizer_;
  bool readsBytes_ = false;  // since the last Reset
  TreeBuildingSink sink_;
  RefPtr<TreeNode> root_;
  // Holds the reference to the current node between feeds; while a feed
  // runs, the sink tracks it (the tree under root keeps it alive) so moving
  // between elements touches no counts.
  RefPtr<TreeNode> current_;
};

}  // namespace kelmo

#endif  // KELMO_XML_XML_PARSER_H
