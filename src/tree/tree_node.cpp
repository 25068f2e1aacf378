// The node's lifecycle (destruction, copies, new nodes), its type queries,
// its kind and its name.
#include "tree/tree_node.h"

#include <new>
#include <typeinfo>
#include <utility>

#include "text/text_length.h"
#include "text/utf8_codec.h"
#include "tree/value_storage.h"

namespace kelmo {

namespace {

constexpr int8_t kStringTag = static_cast<int8_t>(ValueType::String);
constexpr int8_t kBinaryTag = static_cast<int8_t>(ValueType::Binary);

}  // namespace

std::atomic<int64_t> TreeNode::outwardValues_{0};

TreeNode::~TreeNode() {
  // A node freed with its tree had its value released when it died. The
  // children forget this node first, so that a callback from the value
  // cannot reach it through them.
  if (children_ && AnyValueCallsOut()) children_->ForgetParent();
  if (type_ != 0) ResetValue();
  if (children_) {
    children_->UnlinkAll();
    delete children_;
    children_ = nullptr;
  }
  // next_, prev_ (normally null: a node in a list is held by it) and the
  // name are released by their own destructors, in that order.
}

void TreeNode::DestroyCounted(TreeNode* node) {
  if (DocMemory::ReleaseWhole(node)) return;
  // The destructor frees the subtree iteratively.
  delete node;
}

TreeNode* TreeNode::From(Kelmo* node) noexcept {
  if (!node) return nullptr;
#if KELMO_MSVC_LAYOUT
  // Our nodes carry this module's table of TreeNode thunks.
  return IsImplementedBy<TreeNode>(node) ? static_cast<TreeNode*>(node) : nullptr;
#else
  // The class is final, so an exact type match identifies our own nodes.
  return typeid(*node) == typeid(TreeNode) ? static_cast<TreeNode*>(node) : nullptr;
#endif
}

// --- copies and new nodes ---

// The copy has count 1, which the caller takes over.
TreeNode* TreeNode::CopyWithoutChildren(DocBuilder& builder) const {
  TreeNode* copy = new (builder) TreeNode;
  TreeNode& target = *copy;
  target.kind_ = kind_;
  try {
    WStrBuf name = builder.InternName(name_.Data(), name_.Length());
    target.name_.Swap(name);
    if (Type() == ValueType::String) {
      if (utf8String_) {
        const Utf8Value& own = Utf8String();
        if (const Utf8Value* kept = builder.KeepUtf8(own.Bytes(), own.Size())) {
          target.AdoptUtf8String(kept);
          return copy;
        }
      }
      const Units units = StringUnits();
      WStrBuf text = builder.FreezeText(units.data, units.length);
      new (&target.value_) WStrBuf();
      target.SetTag(Type());
      target.StringStorage().Swap(text);
      return copy;
    }
  } catch (...) {
    delete copy;
    throw;
  }
  // The tag is set only once the storage holds a complete value, so a
  // failed allocation leaves an Empty copy behind.
  switch (Type()) {
    case ValueType::Pointer:
      target.value_.pointer = value_.pointer;
      break;
    case ValueType::SharedPtr:
      target.value_.shared = new SharedValue(*value_.shared);
      break;
    case ValueType::Unknown:
      target.value_.unknown = value_.unknown;
      if (value_.unknown) value_.unknown->AddRef();
      break;
    case ValueType::Dispatch:
      target.value_.dispatch = value_.dispatch;
      if (value_.dispatch) value_.dispatch->AddRef();
      break;
    case ValueType::Binary:
      try {
        new (&target.value_) BlobBuf(*reinterpret_cast<const BlobBuf*>(&value_));
      } catch (...) {
        delete copy;
        throw;
      }
      break;
    default: {
      // A number is its bits. Empty, and a tag outside the defined set, have
      // no value worth copying.
      const bool number = WithStoredNumber(Type(), &value_, false, [&target](auto stored) {
        Store(&target.value_, stored);
        return true;
      });
      if (!number) return copy;
      break;
    }
  }
  target.SetTag(Type());
  return copy;
}

RefPtr<Kelmo> TreeNode::Clone() {
  // The copy is a document of its own: its nodes and texts come from a
  // fresh memory, with names interned again.
  DocBuilder builder;
  builder.OpenNew();
  RefPtr<TreeNode> root(CopyWithoutChildren(builder), adopt_ref);
  // Depth first in document order, as nested copies would go, but stepping
  // along the source's parent and sibling links instead of recursing.
  TreeNode* source = FirstChild();
  TreeNode* target = root.get();  // the copy of source's parent
  while (source) {
    RefPtr<TreeNode> copy(source->CopyWithoutChildren(builder), adopt_ref);
    target->EnsureChildren(builder);
    target->AppendChildNode(copy.get());
    if (TreeNode* down = source->FirstChild()) {
      target = copy.get();
      source = down;
      continue;
    }
    while (!source->next_) {
      source = source->parent_;
      if (!source || source == this) return root;
      target = target->parent_;
    }
    source = source->next_.get();
  }
  return root;
}

RefPtr<Kelmo> TreeNode::CreateNode() { return Make(); }

// --- type queries and kind ---

int TreeNode::GetType() { return type_; }

bool TreeNode::IsEmpty() { return type_ == 0; }

bool TreeNode::IsNumber() { return type_ >= 0x11 && type_ <= 0x2E; }

bool TreeNode::IsScalar() { return type_ == kStringTag || IsNumber() || IsBinary(); }

bool TreeNode::IsBinary() { return type_ == kBinaryTag; }

bool TreeNode::IsObject() { return type_ >= 0x31 && type_ <= 0x4E; }

int TreeNode::GetKind() { return kind_; }

void TreeNode::SetKind(char kind) { kind_ = static_cast<int8_t>(kind); }

// --- name ---

bool TreeNode::GetNameA(const char*& text, unsigned int& length, unsigned int codePage,
                         RefPtr<XInRes>& holder) {
  uint32_t converted = 0;
  bool ok = WStrBuf::ToNarrow(name_, codePage, holder, text, converted);
  length = converted;
  return ok;
}

bool TreeNode::GetNameW(const WChar*& text, unsigned int& length, RefPtr<XInRes>&) {
  text = name_.Data();
  length = name_.Length();
  return true;
}

void TreeNode::SetNameW(const WChar* text, unsigned int length) {
  Spoil();
  if (!parent_ || !parent_->children_ || !parent_->children_->Index()) {
    name_.Assign(text, length);
    return;
  }
  // The text may lie in this node's own name: copy it before anything moves.
  WStrBuf name(text, length);
  StoreName(name);
}

void TreeNode::SetNameA(const char* text, unsigned int length, unsigned int codePage) {
  Spoil();
  // Converted aside: a text the code page cannot convert leaves the old
  // name, and so do bytes that are not UTF-8 in the UTF-8 code page, which
  // the converter would replace: a name is matched by its exact text, so a
  // replaced one would name another node.
  if (codePage == kCodePageUtf8 &&
      !text::IsWellFormedUtf8(reinterpret_cast<const unsigned char*>(text),
                                  text::ResolveLength(text, length)))
    return;
  WStrBuf name;
  if (!WStrBuf::FromNarrow(name, text, length, codePage)) return;
  if (!parent_ || !parent_->children_ || !parent_->children_->Index()) {
    name_.Swap(name);
    return;
  }
  StoreName(name);
}

// A child of an indexed parent is found in the index under the name it bore
// when its entry went in, so it leaves the list under its old name and comes
// back at the same place under the new one.
void TreeNode::StoreName(WStrBuf& name) {
  RefPtr<TreeNode> self;
  self = this;
  RefPtr<TreeNode> parent;
  parent = parent_;
  ChildList& list = *parent->children_;
  TreeNode* previous = prev_.get();
  Unlink(list, this);
  name_.Swap(name);
  // The index lost an entry just now, so putting one back cannot fail.
  if (previous)
    parent->LinkBeside(list, previous, this, true);
  else
    parent->LinkFirst(list, this);
}

}  // namespace kelmo
