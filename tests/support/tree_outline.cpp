#include "support/tree_outline.h"

#include <cstdio>

#include "support/node_text.h"
#include "support/utf8_reference.h"

namespace kelmo_test {

std::string Printable(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool paired = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() &&
                        text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
    char escape[12];
    if (c < 0x20) {
      std::snprintf(escape, sizeof escape, "\\x%02X", unsigned(c));
    } else if (c >= 0xD800 && c <= 0xDFFF && !paired) {
      std::snprintf(escape, sizeof escape, "\\u%04X", unsigned(c));
    } else {
      out += Utf8Of(text.substr(i, paired ? 2 : 1));
      i += paired ? 1 : 0;
      continue;
    }
    out += escape;
  }
  return out;
}

std::string Label(const kelmo::RefPtr<kelmo::Kelmo>& node) {
  std::string out = Printable(NameOf(node));
  if (node->GetKind() != 0) out += "#" + std::to_string(node->GetKind());
  switch (static_cast<kelmo::ValueType>(node->GetType())) {
    case kelmo::ValueType::Empty:
      break;
    case kelmo::ValueType::String:
      out += "=\"" + Printable(StringOf(node)) + "\"";
      break;
    case kelmo::ValueType::Bool:
      out += ":bool";
      break;
    default:
      out += ":type" + std::to_string(node->GetType());
      break;
  }
  return out;
}

std::string Outline(const kelmo::RefPtr<kelmo::Kelmo>& root) {
  std::string out;
  if (!root) return "<null>";
  kelmo::RefPtr<kelmo::Kelmo> node = root->GetFirstChild();
  while (node) {
    out += Label(node);
    if (kelmo::RefPtr<kelmo::Kelmo> child = node->GetFirstChild()) {
      out += "(";
      node = child;
      continue;
    }
    // Climb until a node with a next sibling, closing each level left.
    for (;;) {
      if (kelmo::RefPtr<kelmo::Kelmo> next = node->GetNextSibling()) {
        out += ",";
        node = next;
        break;
      }
      node = node->GetParent();
      if (!node || node == root) {
        node = nullptr;
        break;
      }
      out += ")";
    }
  }
  return out;
}

}  // namespace kelmo_test
