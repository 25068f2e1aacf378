// Memory that belongs to one document. A parser (or a Clone) carves a whole
// tree's nodes, child lists and texts from a few large chunks, one after the
// other, and the chunks go back to the system in one step when the last node
// carved from them is freed. Nodes that a host keeps, or moves into another
// tree, keep their document's memory alive.
//
// Nodes and child lists are "counted blocks": each starts with a header
// naming the document memory it came from (null for a block from the general
// heap), and the memory counts its live counted blocks. Texts carved from it
// are not counted: they belong to a node and live as long as it does.
//
// A parsed tree that nobody has changed or kept a part of goes in one step:
// when its root dies, the memory is given back whole instead of node by
// node. For that the memory knows its tree's root (once the parse is done),
// counts the nodes that someone outside the tree holds, and remembers
// whether any node was given something that lives outside the memory (a
// text of its own, a byte array, a value that must be released, a child
// list or name index from the heap) or was linked or unlinked.
//
// A held node counts in the same count as the blocks: each node whose count
// is above its two links adds one. So the memory outlives every thread that
// is still telling it that a node ceased to be held, even when another
// thread lets the rest of the tree go at that moment.
#ifndef KELMO_TREE_DOC_MEMORY_H
#define KELMO_TREE_DOC_MEMORY_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "kelmo/kelmo.h"
#include "text/unit_scan.h"
#include "text/utf8_codec.h"
#include "tree/utf8_value.h"
#include "tree/wstr_buf.h"

namespace kelmo {

class DocMemory {
 public:
  DocMemory(const DocMemory&) = delete;
  DocMemory& operator=(const DocMemory&) = delete;

  // Every counted block starts with a pointer to its memory, padded to 8
  // bytes on every platform so that the block keeps the chunk's alignment.
  static constexpr size_t kCountedHeaderBytes = 8;
  // A counted block of `size` bytes from `memory`, or from the heap when
  // memory is null. Carving from a document's memory is only allowed to the
  // DocBuilder that has it open. Throws std::bad_alloc.
  static void* AllocateCounted(DocMemory* memory, size_t size);
  // Frees a counted block at once: a heap block goes back to the heap, a
  // document block lowers its memory's count (and may free the memory).
  static void FreeCounted(void* block) noexcept;
  // The memory a counted block came from; null for a heap block.
  static DocMemory* OwnerOf(const void* block) noexcept;

  // Documents whose memory is still held, across all threads. For tests.
  static int64_t LiveDocuments() noexcept;
  // Documents given back in one step so far, across all threads. For tests.
  static int64_t WholeReleases() noexcept;
  // Bytes of the system's memory kept for the next documents. For tests.
  static size_t KeptPageBytes() noexcept;
  // Bytes in the chunks of documents still alive, across all threads: what
  // the leak checker cannot see of chunks taken straight from the system.
  // For tests.
  static size_t LiveChunkBytes() noexcept;

  // Marks the finished tree of `root` (a counted block of this memory, no
  // builder open) as one that may go in one step.
  static void Seal(const void* root) noexcept;
  // The tree of this block's memory can no longer go in one step.
  static void Spoil(const void* block) noexcept {
    if (DocMemory* memory = OwnerOf(block))
      if (!memory->spoiled_.load(std::memory_order_relaxed))
        memory->spoiled_.store(true, std::memory_order_relaxed);
  }
  // A node of `memory` is about to become held from outside its tree (its
  // count will cross from its two links to three): the memory counts it
  // first, so that its count is never below what is alive.
  static void NoteHeld(DocMemory* memory) noexcept {
    memory->live_.fetch_add(1, std::memory_order_relaxed);
  }
  // A node of `memory` has ceased to be held from outside (its count
  // crossed from three to two, or a NoteHeld was not followed by the
  // crossing). The node may be gone by now; the memory goes when this was
  // the last thing it counted.
  static void NoteLetGo(DocMemory* memory) noexcept { memory->Drop(1); }
  // Called with a node whose count reached zero: when it is the sealed
  // root of an untouched tree that nobody holds a part of, gives the whole
  // memory back (no destructor runs) and returns true.
  static bool ReleaseWhole(const void* root) noexcept;

  // Carving, after the parse, from the memory that `block` (a live counted
  // block of a document's memory) came from, for something that lives as
  // long as the memory: the UTF-16 form of a text kept in UTF-8, made when
  // a reader first asks for it. Any thread may carve this way, also while
  // others read the tree: one at a time, while it holds this object.
  class LateCarving {
   public:
    explicit LateCarving(const void* block) : memory_(OwnerOf(block)) {
      if (!memory_) throw std::bad_alloc();
      while (memory_->lateLock_.test_and_set(std::memory_order_acquire)) {
      }
    }
    ~LateCarving() { memory_->lateLock_.clear(std::memory_order_release); }
    LateCarving(const LateCarving&) = delete;
    LateCarving& operator=(const LateCarving&) = delete;
    // Throws std::bad_alloc.
    void* Carve(size_t size, size_t alignment) {
      return memory_->Carve(size, alignment, kLateLane);
    }
    // Gives back the last `unused` bytes of the block just carved.
    void GiveBackTail(void* blockEnd, size_t unused) noexcept {
      memory_->GiveBackTail(static_cast<char*>(blockEnd), unused, kLateLane);
    }

   private:
    DocMemory* memory_;
  };

 private:
  friend class DocBuilder;
  friend class FreedBlocks;
  struct Chunk;

  DocMemory() = default;
  ~DocMemory() = default;

  // Nodes and child lists are carved from chunks of their own, apart from
  // the texts, so that walking a tree (freeing it, above all) touches as
  // few cache lines and pages as the structure needs.
  // The late lane is carved only under lateLock_, and keeps chunks of its
  // own, so that it never meets a builder's carving.
  enum Lane : int { kStructureLane = 0, kTextLane = 1, kLateLane = 2, kLaneCount = 3 };
  struct LaneState {
    char* next = nullptr;
    char* end = nullptr;
    size_t nextChunkSize = 0;
    size_t chunkBytes = 0;  // in the lane's chunks so far
  };

  // A new memory whose count starts at the builder's reserve.
  static DocMemory* Create();
  // Takes `blocks` from the count; at zero every chunk goes back.
  void Drop(int64_t blocks) noexcept;
  // The next `size` bytes of a lane; a new chunk when the current one is
  // full. Inline, as a parse carves two or three times per node.
  void* Carve(size_t size, size_t alignment, Lane lane) {
    LaneState& state = lanes_[lane];
    const uintptr_t at = (reinterpret_cast<uintptr_t>(state.next) + alignment - 1) & ~(alignment - 1);
    const uintptr_t end = reinterpret_cast<uintptr_t>(state.end);
    if (state.next && at <= end && size <= end - at) {
      state.next = reinterpret_cast<char*>(at + size);
      return reinterpret_cast<void*>(at);
    }
    return CarveFromNewChunk(size, alignment, lane);
  }
  // Gives back the last `unused` bytes of the block that ends at blockEnd,
  // when it is the lane's last block: a text decoded into room for its
  // longest form keeps only what it took.
  void GiveBackTail(char* blockEnd, size_t unused, Lane lane) noexcept {
    LaneState& state = lanes_[lane];
    if (state.next == blockEnd) state.next = blockEnd - unused;
  }
  // A counted block carved by the builder that has this memory open.
  void* CarveCounted(size_t size) {
    DocMemory** header = static_cast<DocMemory**>(
        Carve(kCountedHeaderBytes + size, kCountedHeaderBytes, kStructureLane));
    *header = this;
    return reinterpret_cast<char*>(header) + kCountedHeaderBytes;
  }
  void* CarveFromNewChunk(size_t size, size_t alignment, Lane lane);
  void FreeChunks() noexcept;

  // Live counted blocks, plus one for each node held from outside its tree,
  // plus the reserve of an open builder.
  std::atomic<int64_t> live_{0};
  // The whole-tree release: the sealed root, the count when it was sealed
  // (its blocks; nothing was held then) and whether the tree was changed.
  std::atomic<const void*> sealedRoot_{nullptr};
  int64_t sealedBlocks_ = 0;
  std::atomic<bool> spoiled_{false};
  Chunk* chunks_ = nullptr;
  Chunk* lateChunks_ = nullptr;
  std::atomic_flag lateLock_ = ATOMIC_FLAG_INIT;
  LaneState lanes_[kLaneCount];
};

// Collects the counted blocks freed while a whole tree is taken apart, so
// that a document's count changes once per run of its blocks rather than
// once per node. The memory of a block handed over stays alive until Flush
// (or the destructor).
class FreedBlocks {
 public:
  FreedBlocks() = default;
  FreedBlocks(const FreedBlocks&) = delete;
  FreedBlocks& operator=(const FreedBlocks&) = delete;
  ~FreedBlocks() { Flush(); }

  void Add(void* block) noexcept;
  void Flush() noexcept;

 private:
  DocMemory* memory_ = nullptr;
  int64_t count_ = 0;
};

// The single writer of one document's memory for a while (a parse, a Clone):
// it carves counted blocks without touching the shared count, and interns
// names so that nodes of the same name share one read-only text. Opening a
// memory lifts its count by a reserve and closing gives back what was not
// used, so blocks freed meanwhile can never take the count to zero early.
class DocBuilder {
 public:
  DocBuilder() = default;
  DocBuilder(const DocBuilder&) = delete;
  DocBuilder& operator=(const DocBuilder&) = delete;
  ~DocBuilder() { Close(); }

  // Opens a fresh memory.
  void OpenNew();
  // Opens the memory that `block` (a live counted block the caller holds)
  // came from; a heap block leaves the builder carving from the heap.
  void OpenOwnerOf(const void* block);
  // Publishes the blocks carved since opening and lets the memory go.
  void Close() noexcept;
  DocMemory* Memory() const noexcept { return memory_; }

  void* NewCountedBlock(size_t size) {
    if (!memory_) return DocMemory::AllocateCounted(nullptr, size);
    // Counted only once carved: a block that could not be had must not
    // hold the memory's count up, or the memory would never go back.
    void* block = memory_->CarveCounted(size);
    ++carved_;
    return block;
  }
  // A read-only copy of a name, shared with earlier names of the same text
  // carved by this builder. A name whose slots are all taken by others is
  // copied without sharing, so no input can make interning slow.
  WStrBuf InternName(const WChar* name, uint32_t length);
  // InternName for names that come in the same order again and again, as
  // the attributes of one kind of element do: each position of the sequence
  // (below kSequenceNames) remembers the name interned there last, and the
  // same name in the same place is shared without a lookup.
  WStrBuf InternNameAt(uint32_t position, const WChar* name, uint32_t length) {
    if (position >= kSequenceNames) return InternName(name, length);
    WStrBuf& known = sequence_[position];
    if (!known.IsNull() && SameName(known, name, length)) return known.ShareFrozen();
    WStrBuf interned = InternName(name, length);
    if (interned.IsFrozen()) known = interned.ShareFrozen();
    return interned;
  }
  // InternName and InternNameAt for a name in trusted UTF-8 whose bytes are
  // all ASCII and which was interned recently: found from its bytes (each
  // byte a unit), so a name met again is never widened. A null text when
  // it is not found, and the caller decodes the name and interns that.
  WStrBuf FindRecentAsciiName(const char* bytes, uint32_t size) noexcept;
  WStrBuf FindAsciiNameAt(uint32_t position, const char* bytes, uint32_t size) noexcept {
    if (position < kSequenceNames) {
      const WStrBuf& known = sequence_[position];
      if (!known.IsNull() && SameAsciiName(known, bytes, size)) return known.ShareFrozen();
    }
    WStrBuf found = FindRecentAsciiName(bytes, size);
    if (position < kSequenceNames && !found.IsNull()) sequence_[position] = found.ShareFrozen();
    return found;
  }
  static constexpr uint32_t kSequenceNames = 8;
  // Interning looks at this many slots at most for one name.
  static constexpr uint32_t kMaxNameProbes = 16;
  // Slots looked at so far by interning and by growing its table.
  uint64_t NameProbes() const noexcept { return nameProbes_; }
  using NameHashFunction = uint32_t (*)(const WChar* name, uint32_t length);
  // Replaces the keyed hash, for tests that need names that all collide.
  void SetNameHashForTesting(NameHashFunction hash) noexcept { hash_ = hash; }
  // A read-only copy of a text in the document's memory (a heap copy when
  // the builder has no memory).
  WStrBuf FreezeText(const WChar* text, uint32_t length) {
    if (length == 0) return WStrBuf();
    if (!memory_) return WStrBuf(text, length);
    void* at = memory_->Carve(WStrBuf::FrozenBytes(length), WStrBuf::kFrozenAlignment,
                              DocMemory::kTextLane);
    return WStrBuf::Freeze(at, text, length);
  }
  // A text in trusted UTF-8 (text/utf8_codec.h) as the tree keeps it. A
  // long text, or one that is not ASCII, stays UTF-8 in the document's
  // memory (copied, not decoded) and is returned; a short ASCII one is
  // widened here, where the parser's sink inlines it, into `wide`, which
  // readers then take as it is, and null is returned. Without a memory, or
  // when a reference put a surrogate half in it (which is not UTF-8 that
  // may be handed out or written as it is), the text is decoded into `wide`.
  const Utf8Value* KeepUtf8Text(const char* bytes, uint32_t size, WStrBuf& wide) {
    if (size == 0) return nullptr;
    if (memory_ && size < kWidenedBelow) {
      const size_t carved = WStrBuf::FrozenBytes(size);
      char* at = static_cast<char*>(
          memory_->Carve(carved, WStrBuf::kFrozenAlignment, DocMemory::kTextLane));
      bool ascii = true;
      WStrBuf frozen = WStrBuf::FreezeFilled(at, [bytes, size, &ascii](WChar* units) {
        ascii = text::WidenAsciiRun(bytes, size, units);
        return ascii ? size : 0u;
      });
      if (ascii) {
        wide.Swap(frozen);
        return nullptr;
      }
      memory_->GiveBackTail(at + carved, carved, DocMemory::kTextLane);
    }
    return KeepOtherUtf8Text(bytes, size, wide);
  }
  // The text kept as UTF-8; null without a memory. No surrogate half from
  // a reference may be among its bytes.
  const Utf8Value* KeepUtf8(const char* bytes, uint32_t size) {
    if (!memory_ || size == 0) return nullptr;
    return Utf8Value::Lay(
        memory_->Carve(Utf8Value::BlockBytes(size), Utf8Value::kAlignment, DocMemory::kTextLane),
        bytes, size);
  }
  // ASCII texts shorter than this are widened to UTF-16 during the parse.
  static constexpr uint32_t kWidenedBelow = 64;

 private:
  // One interned name: its hash and its read-only text (null when free).
  struct NameSlot {
    uint32_t hash;
    WStrBuf name;
  };
  void GrowNames();
  WStrBuf FreezeDecodedUtf8Text(const char* bytes, uint32_t size);
  // KeepUtf8Text for the texts it does not widen, out of the parser's
  // inlined steps.
  const Utf8Value* KeepOtherUtf8Text(const char* bytes, uint32_t size, WStrBuf& wide);
  // Where a name is looked for among the recent ones: a pair of places
  // chosen by its length and its first and last four units (all of a name
  // up to eight units long), which tell the names of one document apart
  // even when they differ in one digit. Two places per pair keep names that
  // alternate (as the attributes of one element do) from evicting each other.
  static size_t RecentPair(const WChar* name, uint32_t length) noexcept {
    static_assert(sizeof(WChar) == 2, "four units in eight bytes");
    uint64_t head = 0, tail = 0;
    if (length >= 4) {
      std::memcpy(&head, name, 8);
      std::memcpy(&tail, name + length - 4, 8);
    } else {
      for (uint32_t i = 0; i < length; ++i) head = head << 16 | static_cast<uint16_t>(name[i]);
    }
    return RecentPairOf(head, tail, length);
  }
  // The pair for a name's length and its first and last four units, each
  // unit in 16 bits of a word, the first one lowest.
  static size_t RecentPairOf(uint64_t head, uint64_t tail, uint32_t length) noexcept {
    uint64_t mixed = (head * 0x9E3779B97F4A7C15ull) ^ (tail * 0xC2B2AE3D27D4EB4Full) ^ length;
    // Names of one document often differ only in their last units (level12,
    // level13), which lie in the high half of the word: fold it down so the
    // last multiply carries those differences into the bits kept.
    mixed ^= mixed >> 32;
    return static_cast<size_t>((mixed * 0xFF51AFD7ED558CCDull) >> 56) & (kRecentNames - 2);
  }
  // Names are short, so two 8-byte comparisons (or a loop) beat a call to
  // memcmp for the common lengths.
  bool IsRecent(uint32_t slot, const WChar* name, uint32_t length) const noexcept {
    return slot != 0 && SameName(names_[slot - 1].name, name, length);
  }
  static bool SameName(const WStrBuf& text, const WChar* name, uint32_t length) noexcept {
    if (text.Length() != length) return false;
    const WChar* known = text.Data();
    static_assert(sizeof(WChar) == 2, "four units in eight bytes");
    if (length >= 4 && length <= 8) {
      uint64_t head[2], tail[2];
      std::memcpy(&head[0], known, 8);
      std::memcpy(&head[1], name, 8);
      std::memcpy(&tail[0], known + length - 4, 8);
      std::memcpy(&tail[1], name + length - 4, 8);
      return head[0] == head[1] && tail[0] == tail[1];
    }
    if (length > 8) return std::memcmp(known, name, size_t(length) * sizeof(WChar)) == 0;
    for (uint32_t i = 0; i < length; ++i)
      if (known[i] != name[i]) return false;
    return true;
  }
  // Four bytes as four units of a word, the first one lowest.
  static uint64_t WidenFour(const char* bytes) noexcept {
    uint32_t four;
    std::memcpy(&four, bytes, 4);
    return text::WidenFourBytes(four);
  }
  // A byte equals a unit only as a whole ASCII character: a non-ASCII name
  // is never matched here, whatever its units.
  static bool SameAsciiName(const WStrBuf& text, const char* bytes, uint32_t size) noexcept {
    return text.Length() == size && text::SameAsciiUnits(bytes, text.Data(), size);
  }
  // Makes a slot the first of its pair. Slots past what a place holds (in
  // tables of more than 65,535 slots) are not remembered, only looked up.
  static void Remember(uint16_t* pair, uint32_t slot) noexcept {
    if (slot > UINT16_MAX) return;
    if (pair[0] != slot) {
      pair[1] = pair[0];
      pair[0] = static_cast<uint16_t>(slot);
    }
  }

  DocMemory* memory_ = nullptr;
  int64_t carved_ = 0;
  std::vector<NameSlot> names_;
  size_t nameCount_ = 0;
  // A slot of names_ (plus one; zero for none) per place: a name equal to
  // one of the two last interned at its pair of places is shared without
  // being hashed. Whatever the input, a miss costs two comparisons more.
  // Two bytes a place keep the builder, which every parser holds, small.
  static constexpr size_t kRecentNames = 256;
  uint16_t recent_[kRecentNames] = {};
  // Frozen names of the open memory only: the builder forgets them when it
  // closes, as it forgets its table.
  WStrBuf sequence_[kSequenceNames];
  uint64_t nameProbes_ = 0;
  NameHashFunction hash_ = nullptr;  // null: the keyed name hash
};

}  // namespace kelmo

#endif  // KELMO_TREE_DOC_MEMORY_H
