// What the bad-input tests of every interface share: code pages nobody
// knows, the count of bad inputs tried, and a result holder that a failing
// call must leave alone.
#ifndef KELMO_TESTS_HOST_BAD_INPUT_H
#define KELMO_TESTS_HOST_BAD_INPUT_H

#include <gtest/gtest.h>

#include <string>

#include "support/host_library.h"

namespace kelmo_test::bad_input {

constexpr unsigned kWhole = kelmo::kWholeText;
constexpr unsigned kUtf8 = kelmo::kCodePageUtf8;
// Code page numbers that no converter knows, on any platform.
constexpr unsigned kNoSuchCodePage = 12345;
constexpr unsigned kHugeCodePage = 0xFFFFFFFFu;

// Every bad input the tables feed in, counted so that a run can say how many
// were tried.
inline unsigned g_badInputs = 0;

inline const std::u16string kLoneHigh(1, char16_t(0xD800));
inline const std::u16string kLoneLow(1, char16_t(0xDC00));

inline std::u16string Text(const kelmo::WChar* text, unsigned length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

inline bool HasSurrogate(const std::u16string& s) {
  for (char16_t c : s)
    if (c >= 0xD800 && c <= 0xDFFF) return true;
  return false;
}

// A result buffer placed in a holder by an earlier successful call: a later
// failing call must leave both the holder and the text it keeps alone.
struct FilledHolder {
  kelmo::RefPtr<kelmo::XInRes> holder;
  const char* text = nullptr;
  unsigned length = 0;
  kelmo::XInRes* buffer = nullptr;

  explicit FilledHolder(ModuleScope& m) {
    kelmo::RefPtr<kelmo::Kelmo> named = m->CreateNodeW(W(u"kept"), kWhole);
    EXPECT_TRUE(named->GetNameA(text, length, kUtf8, holder));
    buffer = holder.get();
  }
  void ExpectUntouched() const {
    EXPECT_EQ(holder.get(), buffer);
    EXPECT_EQ(std::string(text, length), "kept");
  }
};

}  // namespace kelmo_test::bad_input

#endif  // KELMO_TESTS_HOST_BAD_INPUT_H
