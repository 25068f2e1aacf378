// Result buffers: reference-counted owners of memory that the library made for
// a caller. The caller gets a pointer and a length; the buffer sits in the
// caller's holder and frees the memory inside the library.
#ifndef KELMO_TREE_IN_RES_H
#define KELMO_TREE_IN_RES_H

#include <memory>
#include <utility>

#include "kelmo/kelmo.h"
#include "tree/wstr_buf.h"

namespace kelmo {

// Owns memory through a unique_ptr: an array in array form, or bytes from
// malloc.
template <class Owned>
class OwnedInRes final : public ref_counter_base<XInRes, OwnedInRes<Owned>> {
 public:
  explicit OwnedInRes(Owned owned) noexcept : owned_(std::move(owned)) {}

 private:
  Owned owned_;
};

// Owns a text taken over from a WStrBuf without copying its characters.
template <class T>
class XStrInRes;

template <>
class XStrInRes<WChar> final : public ref_counter_base<XInRes, XStrInRes<WChar>> {
 public:
  // Exchanges handles with the producer, which is left null.
  explicit XStrInRes(WStrBuf& text) noexcept { text_.Swap(text); }

 private:
  WStrBuf text_;
};

// Stores a new result buffer in the holder, releasing what it held before.
template <class T, class Deleter>
void PlaceArray(std::unique_ptr<T, Deleter> owned, RefPtr<XInRes>& holder) {
  using Owned = std::unique_ptr<T, Deleter>;
  RefPtr<XInRes> created(new OwnedInRes<Owned>(std::move(owned)), adopt_ref);
  holder = created;
}

inline void PlaceText(WStrBuf& text, RefPtr<XInRes>& holder) {
  RefPtr<XInRes> created(new XStrInRes<WChar>(text), adopt_ref);
  holder = created;
}

}  // namespace kelmo

#endif  // KELMO_TREE_IN_RES_H
