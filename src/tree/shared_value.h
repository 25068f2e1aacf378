// How a node keeps a SharedPtr value. Where the interfaces use the compiler's
// own layout this is std::shared_ptr<void>. Under the explicit MSVC layout it
// is a share in MSVC's layout, so that every node holding the value counts as
// one use in the control block of the host that handed it in, as it would if
// the host's own standard library kept it.
#ifndef KELMO_TREE_SHARED_VALUE_H
#define KELMO_TREE_SHARED_VALUE_H

#include <memory>
#include <utility>

#include "kelmo/kelmo.h"

namespace kelmo {

#if KELMO_MSVC_LAYOUT

class SharedValue {
 public:
  SharedValue() noexcept = default;
  explicit SharedValue(const std::shared_ptr<void>& value) : share_(msvc::ShareOf(value)) {}
  SharedValue(const SharedValue& other) : share_(msvc::CopyShare(other.share_)) {}
  SharedValue(SharedValue&& other) noexcept : share_(other.share_) { other.share_ = {nullptr, nullptr}; }
  SharedValue& operator=(const SharedValue& other) {
    SharedValue copy(other);  // before the old share goes: it may own `other`
    std::swap(share_, copy.share_);
    return *this;
  }
  SharedValue& operator=(SharedValue&& other) noexcept {
    std::swap(share_, other.share_);
    return *this;
  }
  ~SharedValue() { msvc::DropShare(share_.control); }

  std::shared_ptr<void> ToStd() const { return msvc::StdShareOf(share_); }

 private:
  msvc::SharedPtr share_{nullptr, nullptr};
};

inline std::shared_ptr<void> ToStdShare(const SharedValue& value) { return value.ToStd(); }

#else

using SharedValue = std::shared_ptr<void>;

inline const std::shared_ptr<void>& ToStdShare(const SharedValue& value) { return value; }

#endif

}  // namespace kelmo

#endif  // KELMO_TREE_SHARED_VALUE_H
