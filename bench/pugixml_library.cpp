#include <pugixml.hpp>

#include <cstring>
#include <string>

#include "xml_library.h"

namespace bench {
namespace {

class PugixmlLibrary final : public XmlLibrary {
 public:
  std::string Name() const override { return "pugixml"; }
  bool Decodes(Encoding encoding) const override { return encoding != Encoding::kGb2312; }

  // The encoding comes from the byte-order mark or the first bytes.
  bool Load(const std::vector<unsigned char>& bytes, Encoding) override {
    Free();
    return bool(document_.load_buffer(bytes.data(), bytes.size(), pugi::parse_default,
                                      pugi::encoding_auto));
  }

  void Free() override { document_.reset(); }

  size_t CountNodes() override {
    struct Counter : pugi::xml_tree_walker {
      size_t count = 1;  // the document
      bool for_each(pugi::xml_node&) override {
        ++count;
        return true;
      }
    } counter;
    document_.traverse(counter);
    return counter.count;
  }

  size_t ReadAll() override {
    size_t seen = 0;
    pugi::xml_node node = document_.first_child();
    while (node) {
      seen += std::strlen(node.name()) + std::strlen(node.value());
      for (pugi::xml_attribute attribute : node.attributes())
        seen += std::strlen(attribute.name()) + std::strlen(attribute.value());
      if (pugi::xml_node child = node.first_child()) {
        node = child;
        continue;
      }
      while (node && !node.next_sibling()) node = node.parent();
      if (node) node = node.next_sibling();
    }
    return seen;
  }

  size_t WriteToMemory() override {
    struct StringWriter : pugi::xml_writer {
      std::string text;
      void write(const void* data, size_t size) override {
        text.append(static_cast<const char*>(data), size);
      }
    } writer;
    document_.save(writer, "  ", pugi::format_default, pugi::encoding_utf8);
    return writer.text.size();
  }

  bool WriteToFile(const std::string& path) override {
    return document_.save_file(path.c_str(), "  ", pugi::format_default, pugi::encoding_utf8);
  }

  void BuildSiblings(const std::vector<std::string>& names) override {
    siblings_.reset();
    names_ = names;
    parent_ = siblings_.append_child("parent");
    for (const std::string& name : names) parent_.append_child(name.c_str());
  }
  bool FindChild(size_t which) override { return bool(parent_.child(names_[which].c_str())); }

 private:
  pugi::xml_document document_;
  pugi::xml_document siblings_;
  pugi::xml_node parent_;
  std::vector<std::string> names_;
};

}  // namespace

std::unique_ptr<XmlLibrary> MakePugixml() { return std::make_unique<PugixmlLibrary>(); }

}  // namespace bench
