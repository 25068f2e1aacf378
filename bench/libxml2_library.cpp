#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>

#include <cstring>
#include <string>

#include "xml_library.h"

namespace bench {
namespace {

class Libxml2Library final : public XmlLibrary {
 public:
  Libxml2Library() { xmlInitParser(); }
  ~Libxml2Library() override {
    Free();
    if (siblings_) xmlFreeDoc(siblings_);
  }

  std::string Name() const override { return "libxml2"; }
  bool Decodes(Encoding) const override { return true; }

  // The encoding comes from the byte-order mark or the declaration.
  bool Load(const std::vector<unsigned char>& bytes, Encoding) override {
    Free();
    document_ = xmlReadMemory(reinterpret_cast<const char*>(bytes.data()), int(bytes.size()),
                              nullptr, nullptr,
                              XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    return document_ != nullptr;
  }

  void Free() override {
    if (document_) xmlFreeDoc(document_);
    document_ = nullptr;
  }

  size_t CountNodes() override {
    size_t count = 0;
    xmlNodePtr node = reinterpret_cast<xmlNodePtr>(document_);
    while (node) {
      ++count;
      if (node->children && node->type != XML_ENTITY_REF_NODE) {
        node = node->children;
        continue;
      }
      while (node && !node->next) node = node->parent;
      if (node) node = node->next;
    }
    return count;
  }

  size_t ReadAll() override {
    size_t seen = 0;
    auto length = [](const xmlChar* text) { return text ? std::strlen(reinterpret_cast<const char*>(text)) : 0; };
    xmlNodePtr node = document_->children;
    while (node) {
      // Only elements and character nodes: the DOCTYPE and its declarations
      // are other structures that merely begin like a node.
      const bool element = node->type == XML_ELEMENT_NODE;
      const bool characters = node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE ||
                              node->type == XML_COMMENT_NODE || node->type == XML_PI_NODE;
      if (element || characters) seen += length(node->name);
      if (characters) seen += length(node->content);
      for (xmlAttrPtr a = element ? node->properties : nullptr; a; a = a->next)
        seen += length(a->name) + (a->children ? length(a->children->content) : 0);
      if (node->children && element) {
        node = node->children;
        continue;
      }
      while (node && !node->next) node = node->parent == reinterpret_cast<xmlNodePtr>(document_) ? nullptr : node->parent;
      if (node) node = node->next;
    }
    return seen;
  }

  size_t WriteToMemory() override {
    xmlChar* text = nullptr;
    int size = 0;
    xmlDocDumpFormatMemoryEnc(document_, &text, &size, "UTF-8", 1);
    xmlFree(text);
    return size_t(size);
  }

  bool WriteToFile(const std::string& path) override {
    return xmlSaveFormatFileEnc(path.c_str(), document_, "UTF-8", 1) >= 0;
  }

  void BuildSiblings(const std::vector<std::string>& names) override {
    if (siblings_) xmlFreeDoc(siblings_);
    siblings_ = xmlNewDoc(BAD_CAST "1.0");
    names_ = names;
    parent_ = xmlNewDocNode(siblings_, nullptr, BAD_CAST "parent", nullptr);
    xmlDocSetRootElement(siblings_, parent_);
    for (const std::string& name : names)
      xmlNewChild(parent_, nullptr, BAD_CAST name.c_str(), nullptr);
  }
  bool FindChild(size_t which) override {
    const xmlChar* name = BAD_CAST names_[which].c_str();
    for (xmlNodePtr child = parent_->children; child; child = child->next)
      if (child->type == XML_ELEMENT_NODE && xmlStrEqual(child->name, name)) return true;
    return false;
  }

 private:
  xmlDocPtr document_ = nullptr;
  xmlDocPtr siblings_ = nullptr;
  xmlNodePtr parent_ = nullptr;
  std::vector<std::string> names_;
};

}  // namespace

std::unique_ptr<XmlLibrary> MakeLibxml2() { return std::make_unique<Libxml2Library>(); }

}  // namespace bench
