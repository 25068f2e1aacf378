// The XML reader: turns UTF-16 text into a tree of nodes under a fresh,
// nameless root. The markup is read by the shared tokenizer; this is its
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

namespace kelmo {

// What the tokenizer reads, built into a document's memory: elements and
// attributes become nodes, an element's first text or its section its
// String value. `current` is the open element (or the attribute being
// read) while a feed runs.
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
  // Only character data comes this way; a section always takes the value.
  bool TakesText() const {
    return current != root && syntax::RunTakesValue(false, current->Type() != ValueType::Empty);
  }
  void ElementText(const WChar* text, uint32_t length) {
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
  void SectionText(const WChar* text, uint32_t length) { Store(text, length); }
  // A new attribute takes its value without the general value change.
  void PlainAttributeValue(const WChar* text, uint32_t length) {
    WStrBuf frozen = builder.FreezeText(text, length);
    current->AdoptFrozenString(frozen);
  }
  void AttributeValue(const WChar* text, uint32_t length) { Store(text, length); }
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

  // After the last input: true when the document ended outside every
  // construct with no element left open. Otherwise the input was cut short
  // (inside a tag, an open element, a comment, section, instruction or
  // reference): sets ParseError::Truncated and returns false, keeping the
  // partial tree and the position of the last character.
  bool FinishInput();

  uint32_t Line() const { return tokenizer_.Line(); }
  uint32_t Column() const { return tokenizer_.Column(); }
  uint32_t Offset() const { return tokenizer_.Offset(); }
  uint32_t Error() const { return tokenizer_.Error(); }
  void SetError(ParseError error) { tokenizer_.SetError(error); }

  const RefPtr<TreeNode>& Root() const { return root_; }
  const RefPtr<TreeNode>& Current() const { return current_; }
  void ReleaseCurrent() { current_ = nullptr; }
  void ReleaseRoot() { root_ = nullptr; }

 private:
  syntax::XmlTokenizer<TreeBuildingSink> tokenizer_;
  TreeBuildingSink sink_;
  RefPtr<TreeNode> root_;
  // Holds the reference to the current node between feeds; while a feed
  // runs, the sink tracks it (the tree under root keeps it alive) so moving
  // between elements touches no counts.
  RefPtr<TreeNode> current_;
};

}  // namespace kelmo

#endif  // KELMO_XML_XML_PARSER_H
