#include "libxml2_reading.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cctype>
#include <memory>
#include <vector>

namespace kelmo_diff {
namespace {

void IgnoreMessage(void*, const char*, ...) {}

struct LibraryQuiet {
  LibraryQuiet() {
    xmlInitParser();
    xmlSetGenericErrorFunc(nullptr, IgnoreMessage);
  }
};

std::u16string Text(const xmlChar* utf8) {
  return utf8 ? Utf16Of(reinterpret_cast<const char*>(utf8)) : std::u16string();
}

std::u16string QualifiedName(const xmlChar* name, const xmlNs* ns) {
  std::u16string out;
  if (ns && ns->prefix) out = Text(ns->prefix) + u":";
  return out + Text(name);
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// An attribute's value: its text children, and a note of any reference to a
// declared entity among them.
std::u16string AttributeValue(const xmlAttr* attribute, bool& usesEntities) {
  std::u16string value;
  for (const xmlNode* part = attribute->children; part; part = part->next) {
    if (part->type == XML_ENTITY_REF_NODE) {
      usesEntities = true;
    } else if (part->content) {
      value += Text(part->content);
    }
  }
  return value;
}

// The element's node as this library builds it: kind and value from its
// text runs and CDATA sections, in document order.
ConformanceNode ElementNode(const xmlNode* element, uint32_t depth, ElementText form,
                            bool& usesEntities) {
  ConformanceNode node;
  node.depth = depth;
  node.name = QualifiedName(element->name, element->ns);
  for (const xmlNode* child = element->children; child; child = child->next) {
    switch (child->type) {
      case XML_TEXT_NODE:
        if (!node.hasText) {
          std::u16string run = form == ElementText::kCanonical ? CanonicalElementText(Text(child->content))
                                                               : Text(child->content);
          if (!run.empty()) {
            node.hasText = true;
            node.text = run;
            node.kind = 0;
          }
        }
        break;
      case XML_CDATA_SECTION_NODE:
        // Each section replaces the value, whatever came before.
        node.kind = 1;
        node.hasText = true;
        node.text = Text(child->content);
        break;
      case XML_ENTITY_REF_NODE:
        usesEntities = true;
        break;
      default:
        break;
    }
  }
  return node;
}

}  // namespace

std::u16string CanonicalElementText(const std::u16string& text) {
  std::u16string run;
  for (char16_t c : text)
    if (c != u'\n') run += c;
  size_t begin = 0;
  size_t end = run.size();
  while (begin < end && IsBlank(run[begin])) ++begin;
  while (end > begin && IsBlank(run[end - 1])) --end;
  return run.substr(begin, end - begin);
}

ReferenceReading ReadWithLibxml2(const std::string& bytes, ElementText form) {
  static LibraryQuiet quiet;
  ReferenceReading reading;
  const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE;
  std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> doc(
      xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), "document.xml", nullptr, options),
      xmlFreeDoc);
  if (!doc) return reading;
  reading.parsed = true;
  if (const xmlDtd* subset = doc->intSubset) {
    for (const xmlNode* n = subset->children; n; n = n->next) {
      if (n->type != XML_ENTITY_DECL) continue;
      const xmlChar* content = reinterpret_cast<const xmlEntity*>(n)->content;
      for (const xmlChar* c = content; c && *c; ++c)
        if (*c == '<' || *c == '>') reading.subsetLiteralHoldsMarkup = true;
    }
  }
  if (doc->encoding) {
    for (const xmlChar* p = doc->encoding; *p; ++p)
      reading.declaredEncoding += static_cast<char>(std::tolower(*p));
  }

  ConformanceNode root;
  reading.tree.push_back(root);
  // Pre-order over the elements with an explicit stack (documents may nest
  // deeper than a recursion should go).
  struct Pending {
    const xmlNode* node;
    uint32_t depth;
  };
  std::vector<Pending> stack;
  std::vector<const xmlNode*> elements;
  auto pushElements = [&](const xmlNode* first, uint32_t depth) {
    elements.clear();
    for (const xmlNode* n = first; n; n = n->next)
      if (n->type == XML_ELEMENT_NODE) elements.push_back(n);
    for (auto it = elements.rbegin(); it != elements.rend(); ++it) stack.push_back({*it, depth});
  };
  pushElements(doc->children, 1);
  while (!stack.empty()) {
    const Pending p = stack.back();
    stack.pop_back();
    reading.tree.push_back(ElementNode(p.node, p.depth, form, reading.usesDeclaredEntities));
    for (const xmlNs* ns = p.node->nsDef; ns; ns = ns->next) {
      ConformanceNode declaration;
      declaration.depth = p.depth + 1;
      declaration.name = ns->prefix ? u"xmlns:" + Text(ns->prefix) : u"xmlns";
      declaration.kind = 2;
      declaration.hasText = true;
      declaration.text = Text(ns->href);
      reading.tree.push_back(declaration);
    }
    for (const xmlAttr* a = p.node->properties; a; a = a->next) {
      ConformanceNode attribute;
      attribute.depth = p.depth + 1;
      attribute.name = QualifiedName(a->name, a->ns);
      attribute.kind = 2;
      attribute.hasText = true;
      attribute.text = AttributeValue(a, reading.usesDeclaredEntities);
      reading.tree.push_back(attribute);
    }
    pushElements(p.node->children, p.depth + 1);
  }
  return reading;
}

}  // namespace kelmo_diff
