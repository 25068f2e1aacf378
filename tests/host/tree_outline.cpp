#include "host/tree_outline.h"

#include <cstdio>

#include "host/host_library.h"

namespace kelmo_test {

std::string Printable(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    char escape[12];
    if (c < 0x20) {
      std::snprintf(escape, sizeof escape, "\\x%02X", unsigned(c));
      out += escape;
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      std::snprintf(escape, sizeof escape, "\\u%04X", unsigned(c));
      out += escape;
      continue;
    }
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
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
