// This library driven the way a host drives it: loaded with dlopen, used
// only through the factory and the public interfaces.
#include <dlfcn.h>

#include <stdexcept>
#include <string>

#include "kelmo/kelmo.h"
#include "xml_library.h"

namespace bench {
namespace {

std::u16string Widen(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

const kelmo::WChar* W(const std::u16string& s) {
  return reinterpret_cast<const kelmo::WChar*>(s.c_str());
}

class KelmoLibrary final : public XmlLibrary {
 public:
  explicit KelmoLibrary(const std::string& path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) throw std::runtime_error(std::string("cannot load ") + path + ": " + dlerror());
    get_ = reinterpret_cast<KelmoGetModuleFn>(dlsym(handle_, "GetCppModuleInterface"));
    free_ = reinterpret_cast<KelmoFreeModuleFn>(dlsym(handle_, "FreeCppModuleInterface"));
    if (!get_ || !free_) throw std::runtime_error("entry points missing in " + path);
    get_(&module_);
    if (!module_) throw std::runtime_error("no factory");
    traversal_ = module_->CreateTraversal();
  }
  ~KelmoLibrary() override {
    Free();
    parent_ = nullptr;
    traversal_ = nullptr;
    free_(&module_);
    // The library stays loaded: objects of it may still be in caches of
    // the C++ runtime until exit.
  }

  std::string Name() const override { return "kelmo"; }
  bool Decodes(Encoding) const override { return true; }

  bool Load(const std::vector<unsigned char>& bytes, Encoding) override {
    Free();
    kelmo::RefPtr<kelmo::KelmoParser> parser = module_->CreateParser();
    if (!parser->ParseBuffer(bytes.data(), static_cast<unsigned int>(bytes.size()))) return false;
    root_ = parser->DetachRoot();
    return bool(root_);
  }

  void Free() override { root_ = nullptr; }

  size_t CountNodes() override {
    size_t count = 0;
    traversal_->Traverse(
        root_,
        [](kelmo::RefPtr<kelmo::Kelmo>&, void* context) {
          ++*static_cast<size_t*>(context);
          return true;
        },
        &count);
    return count;
  }

  // Depth first along the interface's child, sibling and parent steps, as a
  // host walks a tree; attributes are child nodes here.
  size_t ReadAll() override {
    size_t seen = 0;
    kelmo::RefPtr<kelmo::XInRes> holder;
    kelmo::RefPtr<kelmo::Kelmo> node = root_->GetFirstChild();
    while (node) {
      const kelmo::WChar* text = nullptr;
      unsigned int length = 0;
      if (node->GetNameW(text, length, holder)) seen += length;
      if (node->GetStringW(text, length, holder)) seen += length;
      kelmo::RefPtr<kelmo::Kelmo> next = node->GetFirstChild();
      while (!next && node) {
        next = node->GetNextSibling();
        if (!next) node = node->GetParent();
      }
      node = next;
    }
    return seen;
  }

  size_t WriteToMemory() override {
    unsigned int length = 0;
    kelmo::RefPtr<kelmo::XInRes> holder;
    traversal_->ToXmlA(root_, &length, "  ", "\n", 65001, holder);
    return length;
  }

  bool WriteToFile(const std::string& path) override {
    return traversal_->SaveFileA(root_, path.c_str(), "  ", "\n", "utf-8", 65001);
  }

  void BuildSiblings(const std::vector<std::string>& names) override {
    static const std::u16string kParent = u"parent";
    parent_ = module_->CreateNodeW(W(kParent), 6);
    wideNames_.clear();
    for (const std::string& name : names) {
      wideNames_.push_back(Widen(name));
      parent_->AppendChild(module_->CreateNodeW(W(wideNames_.back()), 0xFFFFFFFFu));
    }
  }
  bool SupportsIndex() const override { return true; }
  void SetIndexed(bool indexed) override {
    if (indexed)
      parent_->BuildNameIndex();
    else
      parent_->DropNameIndex();
  }
  bool FindChild(size_t which) override {
    const std::u16string& name = wideNames_[which];
    return bool(parent_->FindChildW(W(name), static_cast<unsigned int>(name.size()), 0));
  }

 private:
  void* handle_ = nullptr;
  KelmoGetModuleFn get_ = nullptr;
  KelmoFreeModuleFn free_ = nullptr;
  kelmo::IModule* module_ = nullptr;
  kelmo::RefPtr<kelmo::KelmoTraversal> traversal_;
  kelmo::RefPtr<kelmo::Kelmo> root_;
  kelmo::RefPtr<kelmo::Kelmo> parent_;
  std::vector<std::u16string> wideNames_;
};

}  // namespace

std::unique_ptr<XmlLibrary> MakeKelmo(const std::string& libraryPath) {
  return std::make_unique<KelmoLibrary>(libraryPath);
}

}  // namespace bench
