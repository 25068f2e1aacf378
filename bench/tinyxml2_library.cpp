#include <tinyxml2.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "xml_library.h"

namespace bench {
namespace {

class Tinyxml2Library final : public XmlLibrary {
 public:
  std::string Name() const override { return "tinyxml2"; }
  // UTF-8 only; other encodings are not decoded.
  bool Decodes(Encoding encoding) const override { return encoding == Encoding::kUtf8; }

  bool Load(const std::vector<unsigned char>& bytes, Encoding) override {
    Free();
    document_.reset(new tinyxml2::XMLDocument);
    return document_->Parse(reinterpret_cast<const char*>(bytes.data()), bytes.size()) ==
           tinyxml2::XML_SUCCESS;
  }

  void Free() override { document_.reset(); }

  size_t CountNodes() override {
    size_t count = 0;
    // Depth first along the sibling and parent links, without recursion.
    const tinyxml2::XMLNode* node = document_.get();
    while (node) {
      ++count;
      if (const tinyxml2::XMLNode* child = node->FirstChild()) {
        node = child;
        continue;
      }
      while (node && !node->NextSibling()) node = node->Parent();
      if (node) node = node->NextSibling();
    }
    return count;
  }

  size_t ReadAll() override {
    size_t seen = 0;
    const tinyxml2::XMLNode* node = document_->FirstChild();
    while (node) {
      if (const char* value = node->Value()) seen += std::strlen(value);
      if (const tinyxml2::XMLElement* element = node->ToElement())
        for (const tinyxml2::XMLAttribute* a = element->FirstAttribute(); a; a = a->Next())
          seen += std::strlen(a->Name()) + std::strlen(a->Value());
      if (const tinyxml2::XMLNode* child = node->FirstChild()) {
        node = child;
        continue;
      }
      while (node && !node->NextSibling()) node = node->Parent();
      if (node) node = node->NextSibling();
    }
    return seen;
  }

  size_t WriteToMemory() override {
    tinyxml2::XMLPrinter printer;
    document_->Print(&printer);
    return size_t(printer.CStrSize());
  }

  bool WriteToFile(const std::string& path) override {
    return document_->SaveFile(path.c_str()) == tinyxml2::XML_SUCCESS;
  }

  void BuildSiblings(const std::vector<std::string>& names) override {
    siblings_.reset(new tinyxml2::XMLDocument);
    names_ = names;
    parent_ = siblings_->NewElement("parent");
    siblings_->InsertEndChild(parent_);
    for (const std::string& name : names) parent_->InsertEndChild(siblings_->NewElement(name.c_str()));
  }
  bool FindChild(size_t which) override {
    return parent_->FirstChildElement(names_[which].c_str()) != nullptr;
  }

 private:
  std::unique_ptr<tinyxml2::XMLDocument> document_;
  std::unique_ptr<tinyxml2::XMLDocument> siblings_;
  tinyxml2::XMLElement* parent_ = nullptr;
  std::vector<std::string> names_;
};

}  // namespace

std::unique_ptr<XmlLibrary> MakeTinyxml2() { return std::make_unique<Tinyxml2Library>(); }

}  // namespace bench
