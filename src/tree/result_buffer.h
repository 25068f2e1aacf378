// Result buffers: reference-counted owners of memory that the library made for
// a caller. The caller gets a pointer and a length; the buffer sits in the
// caller's holder and frees the memory inside the library.
#ifndef KELMO_TREE_RESULT_BUFFER_H
#define KELMO_TREE_RESULT_BUFFER_H

#include <memory>
#include <utility>

#include "kelmo/kelmo.h"
#include "tree/wstr_buf.h"

namespace kelmo {

// Owns an array allocated in array form.
template <class T>
class ArrayInRes final : public ref_counter_base<XInRes, ArrayInRes<T>> {
 public:
  explicit ArrayInRes(std::unique_ptr<T[]> array) noexcept : array_(std::move(array)) {}

 private:
  std::unique_ptr<T[]> array_;
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
template <class T>
void PlaceArray(std::unique_ptr<T[]> array, RefPtr<XInRes>& holder) {
  RefPtr<XInRes> created(new ArrayInRes<T>(std::move(array)), adopt_ref);
  holder = created;
}

inline void PlaceText(WStrBuf& text, RefPtr<XInRes>& holder) {
  RefPtr<XInRes> created(new XStrInRes<WChar>(text), adopt_ref);
  holder = created;
}

}  // namespace kelmo

#endif  // KELMO_TREE_RESULT_BUFFER_H
