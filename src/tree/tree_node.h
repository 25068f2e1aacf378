// The node: a name, a node kind, one tagged value and an ordered child list.
// This is the only implementation of Kelmo. Inside the library, code that
// knows it holds a TreeNode uses the direct accessors at the end of the
// class instead of virtual calls.
//
// This header is the node's unit: it includes its child list (child_list.h)
// and through it the name index (name_index.h), which come first and only
// name the node, so every include runs downward. Code that works on nodes
// includes this header, not the two parts.
#ifndef KELMO_TREE_TREE_NODE_H
#define KELMO_TREE_TREE_NODE_H

#include <cstdint>
#include <memory>
#include <new>

#include "kelmo/kelmo.h"
#include "tree/blob_buf.h"
#include "tree/child_list.h"
#include "tree/doc_memory.h"
#include "tree/shared_value.h"
#include "tree/utf8_value.h"
#include "tree/wstr_buf.h"

namespace kelmo {

class TreeNode final : public ref_counter_base<Kelmo, TreeNode> {
 public:
  TreeNode() noexcept {}
  ~TreeNode() override;

  // A node comes from the heap, or from a document's memory through the
  // builder that has it open; either way it is a counted block (doc_memory.h).
  static void* operator new(size_t size) { return DocMemory::AllocateCounted(nullptr, size); }
  static void* operator new(size_t size, DocBuilder& builder) {
    return builder.NewCountedBlock(size);
  }
  static void operator delete(void* node) noexcept { DocMemory::FreeCounted(node); }
  static void operator delete(void* node, DocBuilder&) noexcept { DocMemory::FreeCounted(node); }

  // A new node with count 1, adopted by the returned handle.
  static RefPtr<TreeNode> Make() { return RefPtr<TreeNode>(new TreeNode, adopt_ref); }

  // Frees a node whose count reached zero, together with every descendant
  // that nobody else holds, without recursing once per tree level.
  static void DestroyCounted(TreeNode* node);

  // The node behind an interface pointer, or null for an object that is not
  // one of ours (a host's own Kelmo implementation).
  static TreeNode* From(Kelmo* node) noexcept;

  // --- Kelmo ---
  RefPtr<Kelmo> Clone() override;
  RefPtr<Kelmo> CreateNode() override;
  int GetType() override;
  bool IsEmpty() override;
  bool IsNumber() override;
  bool IsScalar() override;
  bool IsBinary() override;
  bool IsObject() override;
  int GetKind() override;
  void SetKind(char kind) override;
  bool GetNameA(const char*& text, unsigned int& length, unsigned int codePage,
                RefPtr<XInRes>& holder) override;
  bool GetNameW(const WChar*& text, unsigned int& length, RefPtr<XInRes>& holder) override;
  void SetNameA(const char* text, unsigned int length, unsigned int codePage) override;
  void SetNameW(const WChar* text, unsigned int length) override;
  bool GetBinary(const unsigned char*& data, unsigned int& length,
                 RefPtr<XInRes>& holder) override;
  bool GetStringA(const char*& text, unsigned int& length, unsigned int codePage,
                  RefPtr<XInRes>& holder) override;
  bool GetStringW(const WChar*& text, unsigned int& length, RefPtr<XInRes>& holder) override;
  bool GetDispatch(IDispatch*& value) override;
  bool GetUnknown(IUnknown*& value) override;
  bool GetSharedPtr(std::shared_ptr<void>& value) override;
  bool GetPointer(void*& value) override;
  bool GetBool(bool& value) override;
  bool GetLongDouble(long double& value) override;
  bool GetDouble(double& value) override;
  bool GetFloat(float& value) override;
  bool GetULong(uint32_t& value) override;
  bool GetLong(int32_t& value) override;
  bool GetUInt64(uint64_t& value) override;
  bool GetInt64(int64_t& value) override;
  bool GetUInt(unsigned int& value) override;
  bool GetInt(int& value) override;
  bool GetUShort(uint16_t& value) override;
  bool GetShort(int16_t& value) override;
  bool GetUChar(unsigned char& value) override;
  bool GetChar(char& value) override;
  void SetBinary(const unsigned char* data, unsigned int length) override;
  void SetStringA(const char* text, unsigned int length, unsigned int codePage) override;
  void SetStringW(const WChar* text, unsigned int length) override;
  void SetDispatch(IDispatch* value) override;
  void SetUnknown(IUnknown* value) override;
  void SetSharedPtr(const std::shared_ptr<void>& value) override;
  void SetPointer(void* value) override;
  void SetBool(bool value) override;
  void SetLongDouble(long double value) override;
  void SetDouble(double value) override;
  void SetFloat(float value) override;
  void SetULong(uint32_t value) override;
  void SetLong(int32_t value) override;
  void SetUInt64(uint64_t value) override;
  void SetInt64(int64_t value) override;
  void SetUInt(unsigned int value) override;
  void SetInt(int value) override;
  void SetUShort(uint16_t value) override;
  void SetShort(int16_t value) override;
  void SetUChar(unsigned char value) override;
  void SetChar(char value) override;
  void SetEmpty() override;
  RefPtr<Kelmo> GetParent() override;
  void AppendChild(const RefPtr<Kelmo>& child) override;
  void PrependChild(const RefPtr<Kelmo>& child) override;
  void InsertChildBefore(const RefPtr<Kelmo>& reference, const RefPtr<Kelmo>& child) override;
  void InsertChildAfter(const RefPtr<Kelmo>& reference, const RefPtr<Kelmo>& child) override;
  void RemoveChild(const RefPtr<Kelmo>& child) override;
  void Detach() override;
  void RemoveAllChildren() override;
  RefPtr<Kelmo> GetElement() override;
  RefPtr<Kelmo> FindChildA(const char* name, unsigned int length, unsigned int codePage,
                           unsigned int occurrence) override;
  RefPtr<Kelmo> FindChildW(const WChar* name, unsigned int length,
                           unsigned int occurrence) override;
  RefPtr<Kelmo> GetFirstChild() override;
  RefPtr<Kelmo> FindLastChildA(const char* name, unsigned int length, unsigned int codePage,
                               unsigned int occurrence) override;
  RefPtr<Kelmo> FindLastChildW(const WChar* name, unsigned int length,
                               unsigned int occurrence) override;
  RefPtr<Kelmo> GetLastChild() override;
  unsigned int GetChildCount() override;
  RefPtr<Kelmo> GetPrevSibling() override;
  RefPtr<Kelmo> GetPrevSameName() override;
  RefPtr<Kelmo> GetNextSibling() override;
  RefPtr<Kelmo> GetNextSameName() override;
  bool HasNameIndex() override;
  void BuildNameIndex() override;
  void DropNameIndex() override;
  // Counted as ref_counter_base counts, and besides a node of a document's
  // memory tells the memory when it becomes held from outside its tree and
  // when it ceases to be: its count crosses between its two links and three
  // (see DocMemory). Every change of the count goes through these two.
  void AddRef() override { AddCount(); }
  void Release() override {
    if (DropCount()) DestroyCounted(this);
  }
  void AddCount() noexcept {
    DocMemory* memory = DocMemory::OwnerOf(this);
    if (!memory) {
      count_.fetch_add(1, std::memory_order_relaxed);
      return;
    }
    // The memory hears of the crossing before the count shows it, so that
    // a thread that lowers the count from three at once can never take the
    // memory's count below what is alive. Our reference keeps this node's
    // block counted, so taking the note back cannot free the memory.
    int32_t count = count_.load(std::memory_order_relaxed);
    for (;;) {
      const bool becomesHeld = count == 2;
      if (becomesHeld) DocMemory::NoteHeld(memory);
      if (count_.compare_exchange_weak(count, count + 1, std::memory_order_relaxed)) return;
      if (becomesHeld) DocMemory::NoteLetGo(memory);
    }
  }
  // True when the count reached zero. The memory is read while this
  // reference still keeps the node: once the count is lowered, another
  // thread may free the node, but the memory stays until it is told.
  bool DropCount() noexcept {
    DocMemory* memory = DocMemory::OwnerOf(this);
    const int32_t before = count_.fetch_sub(1, std::memory_order_acq_rel);
    if (before == 3 && memory) DocMemory::NoteLetGo(memory);
    return before == 1;
  }

  // --- Direct access for the library's own code (no virtual dispatch) ---
  const WStrBuf& Name() const noexcept { return name_; }
  // The parser grows a name cut by the end of its input; only valid while
  // the node has no parent with a name index (parser-built trees have
  // none). The whole name is interned again in the document, so the tree
  // can still go in one step.
  void AppendToName(DocBuilder& builder, const WChar* text, uint32_t length);
  ValueType Type() const noexcept { return static_cast<ValueType>(type_); }
  int8_t Kind() const noexcept { return kind_; }
  void SetKindByte(int8_t kind) noexcept { kind_ = kind; }
  TreeNode* Parent() const noexcept { return parent_; }
  TreeNode* PrevSibling() const noexcept { return prev_.get(); }
  TreeNode* NextSibling() const noexcept { return next_.get(); }
  // Inline: walks (the writer's, Clone's) step through them once per node.
  TreeNode* FirstChild() const noexcept { return children_ ? children_->First() : nullptr; }
  TreeNode* LastChild() const noexcept { return children_ ? children_->Last() : nullptr; }
  ChildList* Children() const noexcept { return children_; }
  // The ASCII text of a Bool, number or Pointer value into `out` (room for
  // kMaxScalarText of tree/value_text.h); 0 for other kinds.
  uint32_t ScalarText(char* out) const noexcept;
  // A String value is kept in one of two forms: UTF-16 (a WStrBuf), or the
  // UTF-8 it was read in (KeepsUtf8), laid out in the document's memory.
  // These are valid only while Type() is String.
  bool KeepsUtf8() const noexcept { return utf8String_ != 0; }
  const Utf8Value& Utf8String() const noexcept {
    return *static_cast<const Utf8Value*>(value_.pointer);
  }
  // The value's UTF-16 text, made on first request for a value kept as
  // UTF-8 and kept from then on. Throws std::bad_alloc when that fails.
  struct Units {
    const WChar* data;
    uint32_t length;
  };
  Units StringUnits() const {
    if (!utf8String_) {
      const WStrBuf& own = *reinterpret_cast<const WStrBuf*>(&value_);
      return {own.Data(), own.Length()};
    }
    const WStrBuf wide = Utf8String().Wide(this);
    return {wide.Data(), wide.Length()};
  }

  // Appends a free-standing child (no parent) at the end; used by the parser
  // and Clone. Keeps the name index current when there is one.
  void AppendChildNode(TreeNode* child);
  // Makes a node in the builder's memory with the given name (length
  // already resolved; interned) and appends it; the tree holds the only
  // references. What the parser builds with.
  TreeNode* AppendNewChild(DocBuilder& builder, const WChar* name, uint32_t length);
  // The same with a name already interned by the builder (a frozen text of
  // its memory, or a copy of the node's own when it has none).
  TreeNode* AppendNewChild(DocBuilder& builder, WStrBuf&& interned);
  // Sets a String value from text (SetStringW without the virtual call).
  void AssignString(const WChar* text, uint32_t length);
  // Moves a text into the String value without copying (swaps handles).
  void TakeString(WStrBuf& text);
  // TakeString for a node that the builder has just made (its value still
  // Empty, seen by nobody else) and a text frozen in the same memory or
  // empty: nothing to release or to mark.
  void AdoptFrozenString(WStrBuf& text) noexcept {
    new (&value_) WStrBuf();
    StringStorage().Swap(text);
    type_ = static_cast<int8_t>(ValueType::String);
  }
  // The same for a text kept as UTF-8 in this node's own document memory.
  void AdoptUtf8String(const Utf8Value* text) noexcept {
    value_.pointer = const_cast<Utf8Value*>(text);
    utf8String_ = 1;
    type_ = static_cast<int8_t>(ValueType::String);
  }
  // TakeString for such a text, whatever the value was.
  void TakeUtf8String(const Utf8Value* text) noexcept {
    ResetValue();
    value_.pointer = const_cast<Utf8Value*>(text);
    utf8String_ = 1;
    SetTag(ValueType::String);
  }
  // Releases what the value owns and sets the tag to Empty.
  void ResetValue() noexcept;
  int32_t RefCount() const noexcept { return count_.load(std::memory_order_relaxed); }

 private:
  friend class ChildList;

  // Storage of one value, read according to the tag: integers and floats
  // from the first byte, a WStrBuf or BlobBuf constructed in place, or a
  // shared pointer on the heap. Shared pointers are twice the size of the
  // rest and rare, so keeping them boxed makes every node eight bytes
  // smaller.
  union ValueStorage {
    int8_t i8;
    uint8_t u8;
    int16_t i16;
    uint16_t u16;
    int32_t i32;
    uint32_t u32;
    int64_t i64;
    uint64_t u64;
    float f32;
    double f64;
    bool boolean;
    void* pointer;
    IUnknown* unknown;
    IDispatch* dispatch;
    SharedValue* shared;
    unsigned char raw[8];
  };
  static_assert(sizeof(WStrBuf) <= sizeof(ValueStorage) && sizeof(BlobBuf) <= sizeof(ValueStorage),
                "texts and byte arrays live in the value itself");

  // Only while the String value is not kept as UTF-8.
  WStrBuf& StringStorage() noexcept { return *reinterpret_cast<WStrBuf*>(&value_); }
  BlobBuf& BinaryStorage() noexcept { return *reinterpret_cast<BlobBuf*>(&value_); }
  SharedValue& SharedStorage() noexcept { return *value_.shared; }
  // Prepares the storage for a String, Binary or SharedPtr value (Held is
  // WStrBuf, BlobBuf or SharedValue): keeps the existing object when the tag
  // already names `kind`, otherwise resets and constructs a fresh empty one.
  template <class Held>
  Held& PrepareHeld(ValueType kind);
  void SetTag(ValueType type) noexcept {
    const bool was = CallsOut(Type());
    const bool is = CallsOut(type);
    if (is || type == ValueType::Binary) Spoil();
    if (was != is) outwardValues_.fetch_add(is ? 1 : -1, std::memory_order_relaxed);
    type_ = static_cast<int8_t>(type);
  }
  // Values whose release runs code outside the library (a COM Release, a
  // shared pointer's deleter), which may call back into the tree.
  static bool CallsOut(ValueType type) noexcept {
    return type == ValueType::SharedPtr || type == ValueType::Unknown ||
           type == ValueType::Dispatch;
  }
  // Whether any node of the process holds such a value. While none does,
  // taking a tree apart cannot be watched from outside, so it can skip what
  // only guards against callbacks.
  static bool AnyValueCallsOut() noexcept {
    return outwardValues_.load(std::memory_order_acquire) != 0;
  }
  static std::atomic<int64_t> outwardValues_;
  // Called before the node takes something that lives outside its
  // document's memory, or before a link to or from it changes: its tree
  // then goes node by node.
  void Spoil() const noexcept { DocMemory::Spoil(this); }

  // Structure helpers (node_structure.cpp; DropLink in child_list.cpp). Links are changed only after
  // PrepareInsertion, so the list and the name index never disagree.
  ChildList& EnsureChildren();
  ChildList& EnsureChildren(DocBuilder& builder);
  bool IsSelfOrAncestor(const TreeNode* node) const noexcept;
  TreeNode* AcceptableChild(Kelmo* candidate) const noexcept;
  static void PrepareInsertion(ChildList& list);
  void LinkLast(ChildList& list, TreeNode* child) noexcept;
  void LinkFirst(ChildList& list, TreeNode* child) noexcept;
  void LinkBeside(ChildList& list, TreeNode* reference, TreeNode* child, bool after) noexcept;
  void InsertBeside(const RefPtr<Kelmo>& reference, const RefPtr<Kelmo>& child, bool after);
  // AppendChild (first false) and PrependChild (first true).
  void InsertAtEnd(const RefPtr<Kelmo>& child, bool first);
  static void Unlink(ChildList& list, TreeNode* child) noexcept;
  // Drops a reference that a link held, without Release: a node reaching
  // zero gets its value released and is pushed on the `dead` stack.
  static void DropLink(TreeNode* node, TreeNode*& dead) noexcept;
  // A node handed out with a reference added; null stays null.
  static RefPtr<Kelmo> Share(TreeNode* node) {
    RefPtr<Kelmo> shared;
    shared = node;
    return shared;
  }
  // Lookup by an already resolved name (child_lookup.cpp).
  TreeNode* FindByName(const WChar* key, uint32_t length, uint32_t occurrence,
                        bool fromLast) const;
  // Lifecycle helpers (tree_node.cpp).
  TreeNode* CopyWithoutChildren(DocBuilder& builder) const;
  void StoreName(WStrBuf& name);

  // The tag and kind come first so that they fill the space the base class
  // leaves after its count.
  int8_t type_ = 0;
  int8_t kind_ = 0;
  uint8_t utf8String_ = 0;  // the String value is a Utf8Value
  ValueStorage value_;
  WStrBuf name_;
  TreeNode* parent_ = nullptr;
  RefPtr<TreeNode> prev_;
  RefPtr<TreeNode> next_;
  ChildList* children_ = nullptr;
};

}  // namespace kelmo

#endif  // KELMO_TREE_TREE_NODE_H
