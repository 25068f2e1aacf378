#include "api/traversal_impl.h"

#include <climits>
#include <iterator>
#include <memory>
#include <vector>

#include "api/traversal_factory.h"
#include "encoding/encodable_text.h"
#include "encoding/encoding.h"
#include "encoding/repertoire.h"
#include "os/safe_file_writer.h"
#include "tree/in_res.h"
#include "tree/tree_node.h"
#include "tree/wstr_buf.h"
#include "xml/utf8_text.h"
#include "xml/xml_writer.h"

namespace kelmo {
namespace {

// Our node behind a handle, or null when there is none or it is a host's own.
TreeNode* NodeOf(const RefPtr<Kelmo>& node) {
  return node ? TreeNode::From(node.get()) : nullptr;
}

WStrBuf NarrowArgument(const char* text, unsigned int codePage) {
  WStrBuf wide;
  WStrBuf::FromNarrow(wide, text, kWholeText, codePage);  // failure leaves it empty
  return wide;
}

// The visitor gets a handle of its own, so whatever it does with it leaves
// the walk's references alone.
bool Visit(TreeNode* node, TraverseCallback visitor, void* context) {
  RefPtr<Kelmo> handle;
  handle = node;
  return visitor(handle, context);
}

// Declaration naming the encoding, the subtree, then the whole text encoded
// and written through a replacement file. WriteFile is the path's writer.
template <class WriteFile>
bool SaveXml(TreeNode& node, const WStrBuf& unit, const WStrBuf& newline,
             const WStrBuf& encodingArgument, WriteFile writeFile) {
  static const WChar kDefaultEncoding[] = {'u', 't', 'f', '-', '8', 0};
  static const WChar kDeclarationStart[] = {'<', '?', 'x', 'm', 'l', ' ', 'v', 'e', 'r', 's',
                                            'i', 'o', 'n', '=', '"', '1', '.', '0', '"', ' ',
                                            'e', 'n', 'c', 'o', 'd', 'i', 'n', 'g', '=', '"'};
  static const WChar kDeclarationEnd[] = {'"', '?', '>'};
  const WChar* encoding =
      encodingArgument.IsEmpty() ? kDefaultEncoding : encodingArgument.Data();

  const uint32_t encodingLength = text::ResolveLength(encoding, kWholeText);

  // A name that no converter knows cannot be written honestly: fail before
  // any file is touched.
  Encoding target;
  if (!FindOutputEncoding(encoding, target)) return false;

  if (target == Encoding{kCodePageUtf8, {}}) {
    // Straight to UTF-8; the same bytes and the same limits as converting
    // the wide text below.
    Utf8Text text;
    text.Append(kDeclarationStart, std::size(kDeclarationStart));
    text.Append(encoding, encodingLength);
    text.Append(kDeclarationEnd, std::size(kDeclarationEnd));
    text.Append(newline);
    if (!WriteXml(node, text, unit, WStrBuf(), newline)) return false;
    text.Finish();
    if (text.Units() > uint32_t(INT_MAX) || text.Size() > size_t(INT_MAX)) return false;
    const unsigned char* bom = nullptr;
    const uint32_t bomLength = ByteOrderMark(kCodePageUtf8, &bom);
    const os::ByteRange parts[2] = {{bom, bomLength}, {text.Data(), text.Size()}};
    return writeFile(parts, 2);
  }

  WStrBuf text;
  Repertoire repertoire(target);
  EncodableText encodable(text, repertoire);
  encodable.Append(kDeclarationStart, std::size(kDeclarationStart));
  encodable.Append(encoding, encodingLength);
  encodable.Append(kDeclarationEnd, std::size(kDeclarationEnd));
  encodable.Append(newline);
  if (!WriteXml(node, encodable, unit, WStrBuf(), newline)) return false;
  if (!encodable.Writable()) return false;

  TextEncoder encoder;
  const unsigned char* bom = nullptr;
  uint32_t bomLength = 0;
  const unsigned char* bytes = nullptr;
  uint64_t size = 0;
  if (!PrepareOutputEncoding(encoder, target, text.Data(), text.Length(), &bom, &bomLength,
                             bytes, size))
    return false;
  // The file must read back as this very text, or it is not written.
  if (!ReadsBackAs(target, bom, bomLength, bytes, size, text.Data(), text.Length())) return false;
  const os::ByteRange parts[2] = {{bom, bomLength}, {bytes, size}};
  return writeFile(parts, 2);
}

// Text in a code page that reads back as the wide text it came from; false
// when some character has no form in it.
bool NarrowsExactly(uint32_t codePage, const WStrBuf& wide, const char* narrow, uint32_t length) {
  Encoding encoding;
  encoding.codePage = codePage;
  return DecodesTo(encoding, reinterpret_cast<const unsigned char*>(narrow), length, wide.Data(),
                   wide.Length());
}

}  // namespace

RefPtr<KelmoTraversal> NewKelmoTraversal() {
  return RefPtr<KelmoTraversal>(new TraversalImpl, adopt_ref);
}

void TraversalImpl::Traverse(const RefPtr<Kelmo>& node, TraverseCallback visitor,
                                  void* context) {
  TreeNode* start = NodeOf(node);
  if (!start || !visitor) return;
  RefPtr<TreeNode> held;
  held = start;
  if (!Visit(start, visitor, context)) return;
  // One level per depth below the start node. Each holds the parent whose
  // children it walks, the child being walked, and that child's next sibling
  // as it was before the visitor saw the child: a visitor that detaches or
  // moves the node it is given neither ends the walk of its siblings nor
  // leads the walk into another tree.
  struct Level {
    RefPtr<TreeNode> parent;
    RefPtr<TreeNode> node;
    RefPtr<TreeNode> next;
  };
  std::vector<Level> levels;
  // Enters the node's subtree at the given level: holds it and its next
  // sibling, then visits it.
  auto enter = [&](Level& level, TreeNode* child) {
    level.node = child;
    level.next = child->NextSibling();
    return Visit(child, visitor, context);
  };
  TreeNode* expand = start;  // the node whose children come next, if any
  while (true) {
    if (expand) {
      if (TreeNode* child = expand->FirstChild()) {
        levels.emplace_back();
        levels.back().parent = expand;
        if (!enter(levels.back(), child)) return;
        expand = child;
        continue;
      }
    }
    // The subtree of the level's node is done; the walk goes on with the
    // sibling held for it while that is still a child of the same parent,
    // otherwise with the node's own next sibling while the node still is.
    // The start node's siblings are not part of the walk.
    if (levels.empty()) return;
    Level& level = levels.back();
    TreeNode* const parent = level.parent.get();
    TreeNode* next = nullptr;
    if (level.next && level.next->Parent() == parent) {
      next = level.next.get();
    } else if (level.node->Parent() == parent) {
      next = level.node->NextSibling();
    }
    if (!next) {
      levels.pop_back();
      expand = nullptr;
      continue;
    }
    if (!enter(level, next)) return;
    expand = next;
  }
}

const WChar* TraversalImpl::ToXmlW(const RefPtr<Kelmo>& node, unsigned int* length,
                                        const WChar* indentUnit, const WChar* newline,
                                        RefPtr<XInRes>& holder) {
  TreeNode* root = NodeOf(node);
  if (!root) {
    if (length) *length = 0;
    return WStrBuf::kEmpty;
  }
  WStrBuf output;
  if (!WriteXml(*root, output, WStrBuf(indentUnit), WStrBuf(), WStrBuf(newline))) {
    // A tree that would not read back gives no text at all.
    if (length) *length = 0;
    return WStrBuf::kEmpty;
  }
  if (length) *length = output.Length();
  // The block moves into the result buffer unchanged, so the pointer stays.
  const WChar* text = output.IsEmpty() ? WStrBuf::kEmpty : output.Data();
  PlaceText(output, holder);
  return text;
}

const char* TraversalImpl::ToXmlA(const RefPtr<Kelmo>& node, unsigned int* length,
                                       const char* indentUnit, const char* newline,
                                       unsigned int codePage, RefPtr<XInRes>& holder) {
  TreeNode* root = NodeOf(node);
  const char* text = WStrBuf::kEmptyNarrow;
  uint32_t narrowLength = 0;
  if (root && codePage == kCodePageUtf8) {
    // Straight to UTF-8, with the outcomes of converting the wide text: an
    // empty text, or one too long for the converter, gives the static empty
    // text and leaves the holder alone.
    Utf8Text output;
    const bool written = WriteXml(*root, output, NarrowArgument(indentUnit, codePage), WStrBuf(),
                                  NarrowArgument(newline, codePage));
    output.Finish();
    if (written && output.Units() != 0 && output.Units() <= 0x7FFFFFFFu && output.Size() <= size_t(INT_MAX)) {
      narrowLength = static_cast<uint32_t>(output.Size());
      MallocBytes bytes = output.Release();
      text = bytes.get();
      PlaceArray(std::move(bytes), holder);
    }
  } else if (root) {
    // Characters the code page cannot carry become references in text and
    // values; anywhere else they make the call fail, as does any other loss.
    WStrBuf output;
    Encoding encoding;
    encoding.codePage = codePage;
    Repertoire repertoire(encoding);
    EncodableText encodable(output, repertoire);
    const bool written = WriteXml(*root, encodable, NarrowArgument(indentUnit, codePage),
                                  WStrBuf(), NarrowArgument(newline, codePage));
    RefPtr<XInRes> converted;
    const char* narrow = nullptr;
    uint32_t convertedLength = 0;
    // Failure leaves the static empty text and length 0.
    if (written && encodable.Writable() &&
        WStrBuf::ToNarrow(output, codePage, converted, narrow, convertedLength) &&
        NarrowsExactly(codePage, output, narrow, convertedLength)) {
      text = narrow;
      narrowLength = convertedLength;
      holder = converted;
    }
  }
  if (length) *length = narrowLength;
  return text;
}

bool TraversalImpl::SaveFileW(const RefPtr<Kelmo>& node, const WChar* path,
                                   const WChar* indentUnit, const WChar* newline,
                                   const WChar* encoding) {
  TreeNode* root = NodeOf(node);
  if (!root || !path) return false;
  return SaveXml(*root, WStrBuf(indentUnit), WStrBuf(newline), WStrBuf(encoding),
                 [path](const os::ByteRange* parts, size_t count) {
                   return os::ReplaceFileW(path, parts, count);
                 });
}

bool TraversalImpl::SaveFileA(const RefPtr<Kelmo>& node, const char* path,
                                   const char* indentUnit, const char* newline,
                                   const char* encoding, unsigned int codePage) {
  TreeNode* root = NodeOf(node);
  if (!root || !path) return false;
  return SaveXml(*root, NarrowArgument(indentUnit, codePage), NarrowArgument(newline, codePage),
                 NarrowArgument(encoding, codePage),
                 [path](const os::ByteRange* parts, size_t count) {
                   return os::ReplaceFileA(path, parts, count);
                 });
}

}  // namespace kelmo
