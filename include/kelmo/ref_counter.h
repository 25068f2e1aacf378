// Reference counting shared by every counted interface, and the owning handle
// that carries references through the interfaces.
#ifndef KELMO_REF_COUNTER_H
#define KELMO_REF_COUNTER_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "kelmo/platform_types.h"

namespace kelmo {

// The base of a class that implements an interface. Where the compiler's own
// layout is the binary interface this is the interface itself; under the
// explicit MSVC layout it also supplies the slot table (kelmo/msvc_layout.h).
#if KELMO_MSVC_LAYOUT
template <class Interface, class Impl>
class Implementation;
#else
template <class Interface, class Impl>
using Implementation = Interface;
#endif

// Sits between a counted interface and its one implementation. The count is
// the first data member of every implementation object.
template <class Interface, class Impl>
class ref_counter_base : public Implementation<Interface, Impl> {
 public:
  ref_counter_base() = default;
  ref_counter_base(const ref_counter_base&) = delete;
  ref_counter_base& operator=(const ref_counter_base&) = delete;
  ~ref_counter_base() override {}

  void AddRef() override { count_.fetch_add(1, std::memory_order_relaxed); }

  void Release() override {
    if (count_.fetch_sub(1, std::memory_order_acq_rel) == 1)
      Impl::DestroyCounted(static_cast<Impl*>(this));
  }

  // How an object whose count reached zero is torn down. An implementation
  // may declare its own (nodes do, to free deep trees without recursion).
  static void DestroyCounted(Impl* object) { delete object; }

 protected:
  std::atomic<int32_t> count_{1};
};

// Tag for the constructor that takes over an existing reference.
struct adopt_ref_t {};
inline constexpr adopt_ref_t adopt_ref{};

// Owning handle for one counted reference (null or one reference).
template <class T>
class RefPtr {
 public:
  RefPtr() noexcept = default;
  RefPtr(std::nullptr_t) noexcept {}
  // Takes over the reference a newly constructed object was born with.
  RefPtr(T* object, adopt_ref_t) noexcept : p_(object) {}
  RefPtr(const RefPtr& other) noexcept : p_(other.p_) {
    if (p_) p_->AddRef();
  }
  RefPtr(RefPtr&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
  // From a handle to a derived type (an implementation to its interface).
  template <class U, class = std::enable_if_t<std::is_convertible<U*, T*>::value>>
  RefPtr(const RefPtr<U>& other) noexcept : p_(other.get()) {
    if (p_) p_->AddRef();
  }
  template <class U, class = std::enable_if_t<std::is_convertible<U*, T*>::value>>
  RefPtr(RefPtr<U>&& other) noexcept : p_(other.detach()) {}
  ~RefPtr() {
    if (p_) p_->Release();
  }

  // Adds the new reference before dropping the old one, so storing an object
  // that only the old target kept alive is safe.
  RefPtr& operator=(T* object) noexcept {
    if (object) object->AddRef();
    T* old = p_;
    p_ = object;
    if (old) old->Release();
    return *this;
  }
  RefPtr& operator=(const RefPtr& other) noexcept { return *this = other.p_; }
  RefPtr& operator=(RefPtr&& other) noexcept {
    if (this != &other) {
      T* old = p_;
      p_ = other.p_;
      other.p_ = nullptr;
      if (old) old->Release();
    }
    return *this;
  }
  RefPtr& operator=(std::nullptr_t) noexcept {
    T* old = p_;
    p_ = nullptr;
    if (old) old->Release();
    return *this;
  }

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

  // Hands the reference to the caller; the handle becomes null.
  T* detach() noexcept {
    T* p = p_;
    p_ = nullptr;
    return p;
  }

  friend bool operator==(const RefPtr& a, const RefPtr& b) noexcept { return a.p_ == b.p_; }
  friend bool operator!=(const RefPtr& a, const RefPtr& b) noexcept { return a.p_ != b.p_; }
  friend bool operator==(const RefPtr& a, std::nullptr_t) noexcept { return a.p_ == nullptr; }
  friend bool operator!=(const RefPtr& a, std::nullptr_t) noexcept { return a.p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

}  // namespace kelmo

#endif  // KELMO_REF_COUNTER_H
