// Writes a node and its subtree as indented XML text.
#ifndef KELMO_XML_XML_WRITER_H
#define KELMO_XML_XML_WRITER_H

#include "encoding/encodable_text.h"
#include "tree/tree_node.h"
#include "tree/wstr_buf.h"
#include "xml/utf8_text.h"

namespace kelmo {

// Appends the XML of node and its subtree to out. Attribute children become
// attributes, other children child elements, the value the element's text
// (a CDATA section for CDATA nodes). A node without a name writes only its
// children, at its own indent. unit is added to the indent once per element
// level; newline ends every line. Deep trees cost heap, not stack.
// Returns false, with out holding part of the text, for a tree that would
// not read back the same: a name that is not a sequence of name characters
// (or an empty attribute name), a value or attribute children on a node
// without a name, or children of an attribute; and an indent unit, indent
// or newline holding anything but XML white space.
bool WriteXml(TreeNode& node, WStrBuf& out, const WStrBuf& unit, const WStrBuf& indent,
              const WStrBuf& newline);
// The same text as UTF-8 bytes.
bool WriteXml(TreeNode& node, Utf8Text& out, const WStrBuf& unit, const WStrBuf& indent,
              const WStrBuf& newline);
// The same text bound for a narrower encoding (see EncodableText).
bool WriteXml(TreeNode& node, EncodableText<WStrBuf>& out, const WStrBuf& unit,
              const WStrBuf& indent, const WStrBuf& newline);

}  // namespace kelmo

#endif  // KELMO_XML_XML_WRITER_H
