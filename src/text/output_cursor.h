// Where a converter writes its output: either a caller's buffer of fixed
// size, or nowhere when the caller only asks how much room it needs.
#ifndef KELMO_TEXT_OUTPUT_CURSOR_H
#define KELMO_TEXT_OUTPUT_CURSOR_H

#include <cstddef>
#include <cstdint>

namespace kelmo::text {

// Result of a codec when the output does not fit or the converter cannot run.
// Successful codecs return the number of units produced (possibly more than
// an int can hold; the public entry points turn that into a failure).
constexpr int64_t kConversionFailed = -1;

template <typename Unit>
class OutputCursor {
 public:
  // A null buffer only counts.
  OutputCursor(Unit* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) {}

  bool Put(Unit unit) {
    if (buffer_ != nullptr) {
      if (used_ >= capacity_) return false;
      buffer_[used_] = unit;
    }
    ++used_;
    return true;
  }

  bool Put(Unit first, Unit second) { return Put(first) && Put(second); }

  size_t used() const { return used_; }

 private:
  Unit* buffer_;
  size_t capacity_;
  size_t used_ = 0;
};

}  // namespace kelmo::text

#endif  // KELMO_TEXT_OUTPUT_CURSOR_H
