#include "conformance_tree.h"

#include "api/kelmo_parser_impl.h"
#include "tree/tree_node.h"

namespace kelmo_diff {

using kelmo::TreeNode;

bool IsNamespaceDeclaration(const std::u16string& name) {
  return name == u"xmlns" || name.compare(0, 6, u"xmlns:") == 0;
}

namespace {

std::u16string NameOf(TreeNode& node) {
  return std::u16string(reinterpret_cast<const char16_t*>(node.Name().Data()), node.Name().Length());
}

bool IsNamespaceAttribute(TreeNode& node) {
  return node.Kind() == 2 && IsNamespaceDeclaration(NameOf(node));
}

ConformanceNode NodeOf(TreeNode& node, uint32_t depth) {
  ConformanceNode out;
  out.depth = depth;
  out.name = NameOf(node);
  out.kind = node.Kind();
  const kelmo::WChar* text = nullptr;
  unsigned int length = 0;
  kelmo::RefPtr<kelmo::XInRes> holder;
  out.hasText = node.GetStringW(text, length, holder);
  if (out.hasText) out.text.assign(reinterpret_cast<const char16_t*>(text), length);
  return out;
}

// Pre-order without recursion: a stack of the children still to visit.
ConformanceTree Flatten(TreeNode* root) {
  ConformanceTree tree;
  struct Pending {
    TreeNode* node;
    uint32_t depth;
  };
  std::vector<Pending> stack{{root, 0}};
  std::vector<TreeNode*> children;
  while (!stack.empty()) {
    const Pending p = stack.back();
    stack.pop_back();
    tree.push_back(NodeOf(*p.node, p.depth));
    children.clear();
    for (TreeNode* c = p.node->FirstChild(); c; c = c->NextSibling()) children.push_back(c);
    // Namespace declarations ahead of the other attributes; everything else
    // stays in document order. Pushed in reverse so the first pops first.
    std::vector<TreeNode*> ordered;
    for (TreeNode* c : children)
      if (IsNamespaceAttribute(*c)) ordered.push_back(c);
    for (TreeNode* c : children)
      if (!IsNamespaceAttribute(*c)) ordered.push_back(c);
    for (auto it = ordered.rbegin(); it != ordered.rend(); ++it) stack.push_back({*it, p.depth + 1});
  }
  return tree;
}

}  // namespace

LibraryReading ReadWithLibrary(const std::string& bytes) {
  kelmo::RefPtr<kelmo::KelmoParserImpl> parser(new kelmo::KelmoParserImpl, kelmo::adopt_ref);
  LibraryReading reading;
  reading.ok = parser->ParseBuffer(reinterpret_cast<const unsigned char*>(bytes.data()),
                                   static_cast<unsigned int>(bytes.size()));
  reading.error = parser->GetErrorCode();
  reading.line = parser->GetErrorLine();
  reading.column = parser->GetErrorColumn();
  if (TreeNode* root = parser->Parser().Root().get()) reading.tree = Flatten(root);
  return reading;
}


}  // namespace kelmo_diff
