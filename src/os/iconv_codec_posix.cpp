#include "os/iconv_codec.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "text/output_cursor.h"
#include "text/unicode_units.h"

namespace kelmo::os {
namespace {

const iconv_t kNoDescriptor = reinterpret_cast<iconv_t>(-1);
constexpr size_t kIconvError = static_cast<size_t>(-1);

enum class Direction { kToUtf16, kFromUtf16 };

// The units handed in and out are in the machine's byte order, without BOM.
const char* NativeUtf16Name() {
  const uint16_t probe = 1;
  unsigned char firstByte;
  std::memcpy(&firstByte, &probe, 1);
  return firstByte == 1 ? "UTF-16LE" : "UTF-16BE";
}

iconv_t OpenDescriptor(const IconvCharset& charset, Direction direction) {
  for (const char* name : charset.names) {
    if (name == nullptr) continue;
    const iconv_t descriptor = direction == Direction::kToUtf16 ? iconv_open(NativeUtf16Name(), name)
                                                                : iconv_open(name, NativeUtf16Name());
    if (descriptor != kNoDescriptor) return descriptor;
  }
  return kNoDescriptor;
}

// A descriptor carries conversion state, so it must not be used by two
// threads at once; opening one looks up and may load a conversion module,
// too slow to repeat for both steps of every conversion. Each thread keeps
// the few descriptors it used last, closed when the thread ends.
class DescriptorCache {
 public:
  DescriptorCache() = default;
  DescriptorCache(const DescriptorCache&) = delete;
  DescriptorCache& operator=(const DescriptorCache&) = delete;
  ~DescriptorCache() {
    for (Entry& entry : entries_) {
      if (entry.descriptor != kNoDescriptor) iconv_close(entry.descriptor);
    }
  }

  // A descriptor in its initial state, or kNoDescriptor.
  iconv_t Acquire(const IconvCharset& charset, Direction direction) {
    for (Entry& entry : entries_) {
      if (entry.descriptor != kNoDescriptor && Same(entry, charset) && entry.direction == direction) {
        iconv(entry.descriptor, nullptr, nullptr, nullptr, nullptr);
        return entry.descriptor;
      }
    }
    const iconv_t descriptor = OpenDescriptor(charset, direction);
    if (descriptor == kNoDescriptor) return kNoDescriptor;
    Entry& victim = entries_[next_];
    next_ = (next_ + 1) % entries_.size();
    if (victim.descriptor != kNoDescriptor) iconv_close(victim.descriptor);
    victim = Entry{charset.codePage, {}, direction, descriptor};
    // A charset without a code page number is known by its name alone.
    if (charset.codePage == 0 && charset.names[0] != nullptr) {
      std::strncpy(victim.name, charset.names[0], sizeof victim.name - 1);
    }
    return descriptor;
  }

 private:
  struct Entry {
    unsigned int codePage = 0;
    char name[64] = {};
    Direction direction = Direction::kToUtf16;
    iconv_t descriptor = kNoDescriptor;
  };

  static bool Same(const Entry& entry, const IconvCharset& charset) {
    if (entry.codePage != charset.codePage) return false;
    if (charset.codePage != 0) return true;
    return charset.names[0] != nullptr && std::strlen(charset.names[0]) < sizeof entry.name &&
           std::strcmp(entry.name, charset.names[0]) == 0;
  }
  std::array<Entry, 16> entries_{};
  size_t next_ = 0;
};

iconv_t AcquireDescriptor(const IconvCharset& charset, Direction direction) {
  thread_local DescriptorCache cache;
  return cache.Acquire(charset, direction);
}

// iconv's output side: the caller's buffer, or a scratch area reused for
// every step when only counting.
class IconvOutput {
 public:
  IconvOutput(char* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) {}

  bool counting() const { return buffer_ == nullptr; }
  size_t used() const { return used_; }
  size_t lastProduced() const { return lastProduced_; }

  // One iconv call (null input flushes the shift state). On kIconvError,
  // errno is iconv's.
  size_t Step(iconv_t descriptor, char** in, size_t* inLeft) {
    char* target = counting() ? scratch_ : buffer_ + used_;
    size_t room = counting() ? sizeof scratch_ : capacity_ - used_;
    char* const start = target;
    const size_t result = iconv(descriptor, in, inLeft, &target, &room);
    const int error = errno;
    lastProduced_ = static_cast<size_t>(target - start);
    used_ += lastProduced_;
    errno = error;
    return result;
  }

  bool Append(const void* bytes, size_t size) {
    if (!counting()) {
      if (capacity_ - used_ < size) return false;
      std::memcpy(buffer_ + used_, bytes, size);
    }
    used_ += size;
    return true;
  }

 private:
  char* buffer_;
  size_t capacity_;
  size_t used_ = 0;
  size_t lastProduced_ = 0;
  char scratch_[4096];
};

// Output that does not fit is fatal when writing (the caller's buffer is
// too small) and just means "next round" when counting.
bool MayContinueAfterFullOutput(const IconvOutput& output) {
  return output.counting() && output.lastProduced() > 0;
}

// Feeds the whole input through iconv. `onInvalid(cursor, left, truncated)`
// emits a replacement and moves the cursor past the bad input; it returns
// false when the replacement does not fit.
template <typename OnInvalid>
bool RunIconv(iconv_t descriptor, char* in, size_t size, IconvOutput& output, OnInvalid onInvalid) {
  char* cursor = in;
  size_t left = size;
  while (left > 0) {
    if (output.Step(descriptor, &cursor, &left) != kIconvError) continue;
    const int error = errno;
    if (error == E2BIG) {
      if (MayContinueAfterFullOutput(output)) continue;
      return false;
    }
    if (error != EILSEQ && error != EINVAL) return false;
    if (!onInvalid(cursor, left, error == EINVAL)) return false;
  }
  // Stateful encodings (ISO-2022, UTF-7) end by returning to their initial
  // shift state.
  while (output.Step(descriptor, nullptr, nullptr) == kIconvError) {
    if (errno != E2BIG || !MayContinueAfterFullOutput(output)) return false;
  }
  return true;
}

}  // namespace

int64_t IconvDecode(const IconvCharset& charset, const char* in, size_t size, WChar* out, size_t capacity) {
  const iconv_t descriptor = AcquireDescriptor(charset, Direction::kToUtf16);
  if (descriptor == kNoDescriptor) return text::kConversionFailed;

  IconvOutput output(reinterpret_cast<char*>(out), capacity * sizeof(WChar));
  const WChar replacement = text::kReplacementCharacter;
  auto replace = [&](char*& cursor, size_t& left, bool truncated) {
    if (!output.Append(&replacement, sizeof replacement)) return false;
    if (truncated) {
      left = 0;
    } else {
      ++cursor;
      --left;
    }
    return true;
  };
  // iconv takes a non-const input pointer but does not write through it.
  if (!RunIconv(descriptor, const_cast<char*>(in), size, output, replace)) return text::kConversionFailed;
  return static_cast<int64_t>(output.used() / sizeof(WChar));
}

int64_t IconvEncode(const IconvCharset& charset, const WChar* in, size_t size, char* out, size_t capacity) {
  const iconv_t descriptor = AcquireDescriptor(charset, Direction::kFromUtf16);
  if (descriptor == kNoDescriptor) return text::kConversionFailed;

  IconvOutput output(out, capacity);
  auto replace = [&](char*& cursor, size_t& left, bool truncated) {
    // "?" goes through the converter too: it is not 0x3F in EBCDIC, and a
    // stateful encoding may have to shift back to ASCII first.
    WChar question = u'?';
    char* questionBytes = reinterpret_cast<char*>(&question);
    size_t questionLeft = sizeof question;
    if (output.Step(descriptor, &questionBytes, &questionLeft) == kIconvError) return false;
    if (truncated) {
      left = 0;
      return true;
    }
    WChar units[2] = {};
    std::memcpy(units, cursor, left >= sizeof units ? sizeof units : sizeof(WChar));
    const size_t skipped = text::StartsSurrogatePair(units, left / sizeof(WChar), 0) ? 2 : 1;
    cursor += skipped * sizeof(WChar);
    left -= skipped * sizeof(WChar);
    return true;
  };
  const size_t bytes = size * sizeof(WChar);
  if (!RunIconv(descriptor, reinterpret_cast<char*>(const_cast<WChar*>(in)), bytes, output, replace)) {
    return text::kConversionFailed;
  }
  return static_cast<int64_t>(output.used());
}

bool IconvCanConvert(const IconvCharset& charset) {
  return AcquireDescriptor(charset, Direction::kToUtf16) != kNoDescriptor &&
         AcquireDescriptor(charset, Direction::kFromUtf16) != kNoDescriptor;
}

}  // namespace kelmo::os
