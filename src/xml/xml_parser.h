// The XML reader: a single pass that turns UTF-16 text into a tree of nodes
// under a fresh, nameless root. Its scanners take whole runs at a time
// (text, names, attribute values, comment, section and instruction bodies);
// the stored state names the step that goes on where an input ended, so a
// document may arrive in several feeds, and nesting depth costs no stack:
// open elements are found again through the nodes' parent links.
#ifndef KELMO_XML_XML_PARSER_H
#define KELMO_XML_XML_PARSER_H

#include <cstdint>

#include "tree/doc_memory.h"
#include "tree/tree_node.h"
#include "tree/wstr_buf.h"
#include "xml/char_reader.h"
#include "xml/parse_state.h"

namespace kelmo {

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

  uint32_t Line() const { return reader_.line; }
  uint32_t Column() const { return reader_.column; }
  uint32_t Offset() const { return reader_.Offset(); }
  uint32_t Error() const { return error_; }
  void SetError(ParseError error) { error_ = static_cast<uint32_t>(error); }

  const RefPtr<TreeNode>& Root() const { return root_; }
  const RefPtr<TreeNode>& Current() const { return current_; }
  void ReleaseCurrent() { current_ = nullptr; }
  void ReleaseRoot() { root_ = nullptr; }

 private:
  // Character data and attribute values: starts, extends or resolves a
  // reference, drops line breaks, and appends everything else to out (when
  // out is null the text is checked but not kept). False for a reference
  // that cannot be decoded.
  bool FeedTextChar(WChar c, WStrBuf* out);
  bool Step(CharReader& r);
  bool StepText(CharReader& r);
  bool ReadText(CharReader& r);
  bool StepMarkupOpen(CharReader& r);
  bool StepBangOpen(CharReader& r);
  bool StepSectionKeyword(CharReader& r);
  bool StepSection(CharReader& r);
  bool StepCommentOpen(CharReader& r);
  bool StepComment(CharReader& r);
  bool StepEndTag(CharReader& r);
  bool StepPiTarget(CharReader& r);
  bool StepPiBody(CharReader& r);
  bool ExtendName(CharReader& r, WChar& stop);
  bool StepElementName(CharReader& r);
  bool StepInTag(CharReader& r);
  bool StepAttrName(CharReader& r);
  bool StepAfterAttrName(CharReader& r);
  bool StepBeforeAttrValue(CharReader& r);
  bool StepAttrValue(CharReader& r);
  bool StepCloseTag(CharReader& r);
  bool StepMarkupEnd(CharReader& r);
  bool StepSkipToClose(CharReader& r);

  bool Fail(ParseError error) {
    SetError(error);
    return false;
  }
  // Appends a new element or attribute named by the run to the current
  // node and makes it current.
  void OpenNode(const WChar* name, uint32_t length);
  bool CloseElement();
  // The gathered text becomes the current node's String value, copied into
  // the document's memory; text_ keeps its block for the next text.
  void StoreText();
  // After an attribute's name: reads ="value" at once when the value needs
  // no decoding, and stores it. False, with the state set to where it
  // stopped, otherwise.
  bool ReadPlainAttribute(CharReader& r);
  // The closing quote of an attribute value: the value is stored and the
  // element's tag goes on (FinishAttribute, once the value is stored).
  bool CloseAttribute();
  bool FinishAttribute();
  // Resolves the pending reference that c = ";" just ended.
  bool ResolveReference(const WChar* ref, uint32_t length, WStrBuf* out);
  bool ReadReference(CharReader& r, WStrBuf* out, WChar markup);
  // Scratch: the name being read after "</" or "<?", or the keyword after
  // "<![", is checked against what it must equal as it arrives rather than
  // gathered, so no buffer is made per tag.
  void ClearScratch() {
    scratchLength_ = 0;
    scratchDiffers_ = false;
  }
  void ScratchAppend(WChar c, const WChar* expected, uint32_t expectedLength) {
    if (scratchLength_ >= expectedLength || expected[scratchLength_] != c) scratchDiffers_ = true;
    ++scratchLength_;
  }
  void ScratchAppend(const WChar* run, uint32_t n, const WChar* expected,
                     uint32_t expectedLength);
  bool ScratchEquals(uint32_t expectedLength) const {
    return !scratchDiffers_ && scratchLength_ == expectedLength;
  }

  CharReader reader_;
  DocBuilder builder_;
  // The pending reference: its text from "&" on, valid while referencePending_
  // is set. The block is kept between references.
  WStrBuf reference_;
  bool referencePending_ = false;
  WStrBuf text_;
  // How many units at the end of text_ are literal spaces and tabs, which
  // trimming removes (blanks decoded from references are not counted).
  uint32_t literalBlankTail_ = 0;
  // Attributes opened in the current start tag so far: where the next one
  // stands in its element's order of attributes.
  uint32_t attributesRead_ = 0;
  uint32_t scratchLength_ = 0;
  bool scratchDiffers_ = false;
  RefPtr<TreeNode> root_;
  // Holds the reference to the current node between feeds; while a feed
  // runs, cur_ tracks it (the tree under root keeps it alive) so moving
  // between elements touches no counts.
  RefPtr<TreeNode> current_;
  TreeNode* cur_ = nullptr;
  ParseState state_ = ParseState::Text;
  uint32_t error_ = 0;
  uint32_t matchCount_ = 0;
  WChar quote_ = 0;
};

}  // namespace kelmo

#endif  // KELMO_XML_XML_PARSER_H
