// Files that this library writes read the same in libxml2, a conforming XML
// reader, as in this library: random trees with every character that needs
// care (blanks, tabs and line breaks, markup characters, "]]>", characters
// beyond the Basic Multilingual Plane) are saved, and both readings must
// give back the tree, value for value. Kept apart: what XML 1.0 has no form
// for (control characters other than tab and line breaks, names that are
// not XML names, repeated attribute names), which a conforming reader
// rejects rather than reads otherwise.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "api/traversal_impl.h"
#include "conformance_tree.h"
#include "libxml2_reading.h"
#include "reading_comparison.h"
#include "tree/tree_node.h"

namespace kelmo_diff {
namespace {

using kelmo::Kelmo;
using kelmo::TreeNode;
using kelmo::RefPtr;
using kelmo::WChar;

const WChar* W(const std::u16string& text) { return reinterpret_cast<const WChar*>(text.c_str()); }

class TreeMaker {
 public:
  explicit TreeMaker(unsigned seed) : random_(seed) {}

  RefPtr<Kelmo> Tree() {
    RefPtr<Kelmo> root = TreeNode::Make();
    root->SetNameW(W(u"root"), 4);
    Fill(root, 1);
    return root;
  }

 private:
  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  std::u16string Text() {
    static const std::u16string kPieces[] = {u"a",    u"Zq", u" ",      u"\t",     u"\n",         u"\r",
                                             u"\r\n", u"&",  u"<",      u">",      u"\"",         u"'",
                                             u"]]>",  u"]",  u"\u00e9", u"\u4e2d", u"\U0001F600", u"&#x41;"};
    std::u16string text;
    for (int n = 1 + Below(5); n > 0; --n) text += kPieces[Below(std::size(kPieces))];
    return text;
  }

  void Fill(const RefPtr<Kelmo>& node, int depth) {
    static const std::u16string kNames[] = {u"a",  u"item", u"\u00e9t\u00e9", u"\u4e2d\u6587", u"x-y", u"p.q",
                                            u"_u", u"B9"};
    std::vector<std::u16string> attributes;
    for (int n = Below(depth < 4 ? 6 : 3); n > 0; --n) {
      const std::u16string& name = kNames[Below(std::size(kNames))];
      RefPtr<Kelmo> child = TreeNode::Make();
      child->SetNameW(W(name), static_cast<unsigned>(name.size()));
      const int kind = Below(10);
      if (kind < 3) {
        // Attribute names are unique within an element.
        bool repeated = false;
        for (const std::u16string& used : attributes) repeated |= used == name;
        if (repeated) continue;
        attributes.push_back(name);
        child->SetKind(2);
        const std::u16string value = Below(4) ? Text() : u"";
        child->SetStringW(W(value), static_cast<unsigned>(value.size()));
      } else {
        if (kind < 5) child->SetKind(1);
        if (kind < 5 || Below(2)) {
          const std::u16string value = Text();
          child->SetStringW(W(value), static_cast<unsigned>(value.size()));
        }
        if (depth < 4) Fill(child, depth + 1);
      }
      node->AppendChild(child);
    }
  }

  std::mt19937 random_;
};

std::u16string StringOf(TreeNode& node) {
  const WChar* text = nullptr;
  unsigned int length = 0;
  RefPtr<kelmo::XInRes> holder;
  if (node.Type() == kelmo::ValueType::Empty || !node.GetStringW(text, length, holder)) return u"";
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

std::u16string NameOf(TreeNode& node) {
  return std::u16string(reinterpret_cast<const char16_t*>(node.Name().Data()), node.Name().Length());
}

// What a reader of the written file should find, in the shape of
// ConformanceTree: a CDATA node whose text no section can carry ("]]>") is
// written as escaped text and read as an element; a carriage return stays in
// its section, which another XML reader reads as a line feed.
ConformanceTree Expected(TreeNode& element, uint32_t depth, bool otherReader,
                         ConformanceTree tree = {ConformanceNode{}}) {
  ConformanceNode node;
  node.depth = depth;
  node.name = NameOf(element);
  node.text = StringOf(element);
  node.hasText = !node.text.empty();
  const bool fitsSection = node.text.find(u"]]>") == std::u16string::npos;
  node.kind = element.Kind() == 1 && node.hasText && fitsSection ? 1 : 0;
  if (node.kind == 1 && otherReader) node.text = NormalizedLineEnds(node.text);
  tree.push_back(node);
  for (TreeNode* c = element.FirstChild(); c; c = c->NextSibling()) {
    if (c->Kind() != 2) continue;
    ConformanceNode attribute;
    attribute.depth = depth + 1;
    attribute.name = NameOf(*c);
    attribute.kind = 2;
    attribute.hasText = true;
    attribute.text = StringOf(*c);
    tree.push_back(attribute);
  }
  for (TreeNode* c = element.FirstChild(); c; c = c->NextSibling()) {
    if (c->Kind() != 2) tree = Expected(*c, depth + 1, otherReader, std::move(tree));
  }
  return tree;
}

// Empty when the readings agree; element texts in canonical form when asked.
std::string Difference(const ConformanceTree& expected, const ConformanceTree& read, bool canonical) {
  if (expected.size() != read.size())
    return std::to_string(read.size()) + " nodes instead of " + std::to_string(expected.size());
  for (size_t i = 1; i < expected.size(); ++i) {
    const ConformanceNode& want = expected[i];
    const ConformanceNode& got = read[i];
    std::u16string wantText = want.text, gotText = got.hasText ? got.text : u"";
    if (canonical && want.kind != 2) {
      wantText = CanonicalElementText(wantText);
      gotText = CanonicalElementText(gotText);
    }
    if (want.depth != got.depth || want.name != got.name || want.kind != got.kind || wantText != gotText) {
      return "node " + std::to_string(i) + " " + Printable(want.name) + ": kind " + std::to_string(got.kind) +
             " \"" + Printable(gotText) + "\" instead of kind " + std::to_string(want.kind) + " \"" +
             Printable(wantText) + "\"";
    }
  }
  return "";
}

// The file that a save writes; a save syncs to disk, so most trees take the
// same bytes from the writer directly: byte-order mark, declaration, text.
std::string Written(const RefPtr<Kelmo>& tree, const char* unit, const char* newline, const char* encoding,
                    bool throughFile) {
  RefPtr<kelmo::TraversalImpl> traversal(new kelmo::TraversalImpl, kelmo::adopt_ref);
  if (!throughFile) {
    const bool utf8 = std::string(encoding) == "utf-8";
    RefPtr<kelmo::XInRes> holder;
    unsigned int length = 0;
    std::string bytes = utf8 ? "\xEF\xBB\xBF" : "\xFF\xFE";
    const std::string declaration =
        std::string("<?xml version=\"1.0\" encoding=\"") + encoding + "\"?>" + newline;
    if (utf8) {
      const char* text = traversal->ToXmlA(tree, &length, unit, newline, 65001, holder);
      return bytes + declaration + std::string(text, length);
    }
    const std::u16string wideUnit(unit, unit + std::strlen(unit)),
        wideNewline(newline, newline + std::strlen(newline));
    const WChar* text = traversal->ToXmlW(tree, &length, W(wideUnit), W(wideNewline), holder);
    std::u16string wide(declaration.begin(), declaration.end());
    wide.append(reinterpret_cast<const char16_t*>(text), length);
    for (char16_t unitOfText : wide) {
      bytes += static_cast<char>(unitOfText & 0xFF);
      bytes += static_cast<char>(unitOfText >> 8);
    }
    return bytes;
  }
  const std::string path =
      (std::filesystem::temp_directory_path() / ("kelmo-written-" + std::to_string(::getpid()) + ".xml"))
          .string();
  EXPECT_TRUE(traversal->SaveFileA(tree, path.c_str(), unit, newline, encoding, 65001));
  std::ifstream file(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::remove(path.c_str());
  return bytes;
}

TEST(WrittenFiles, ReadAlikeInLibxml2AndHere) {
  struct Layout {
    const char* unit;
    const char* newline;
    const char* encoding;
    ElementText form;  // as read when nothing but the texts lies between tags
  };
  const Layout kLayouts[] = {{"", "", "utf-8", ElementText::kAsRead},
                             {"\t", "\r\n", "utf-16", ElementText::kCanonical},
                             {"  ", "\n", "utf-8", ElementText::kCanonical}};
  TreeMaker maker(20261207);
  for (int n = 0; n < 300; ++n) {
    RefPtr<Kelmo> tree = maker.Tree();
    const ConformanceTree expected = Expected(*TreeNode::From(tree.get()), 1, false);
    const ConformanceTree expectedElsewhere = Expected(*TreeNode::From(tree.get()), 1, true);
    for (const Layout& layout : kLayouts) {
      const std::string bytes = Written(tree, layout.unit, layout.newline, layout.encoding, n % 30 == 0);
      const bool canonical = layout.form == ElementText::kCanonical;
      const ReferenceReading theirs = ReadWithLibxml2(bytes, layout.form);
      ASSERT_TRUE(theirs.parsed) << "tree " << n << ", " << layout.encoding;
      EXPECT_EQ("", Difference(expectedElsewhere, theirs.tree, canonical))
          << "libxml2, tree " << n << ", " << layout.encoding;
      const LibraryReading ours = ReadWithLibrary(bytes);
      ASSERT_TRUE(ours.ok) << "tree " << n;
      EXPECT_EQ("", Difference(expected, ours.tree, false))
          << "this library, tree " << n << ", " << layout.encoding;
    }
  }
}

}  // namespace
}  // namespace kelmo_diff
