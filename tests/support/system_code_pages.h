// What the system's code-page converter offers where the tests run. On
// Windows the library leaves every code page but UTF-16 to the system, and an
// installation may lack some of them (Wine has no HZ, for one); a test that
// needs a missing code page is skipped with a message saying so. Elsewhere
// the library brings every converter it needs, and nothing is ever skipped.
// The answers come from the system itself, never from the library under test.
#ifndef KELMO_TESTS_SUPPORT_SYSTEM_CODE_PAGES_H
#define KELMO_TESTS_SUPPORT_SYSTEM_CODE_PAGES_H

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace kelmo_test {

// The code page that an encoding name of the library's table stands for, in
// any letter case; 0 for the UTF-8 and UTF-16 names and unknown names.
inline unsigned int CodePageOfEncoding(const std::string& name) {
  std::string lower;
  for (char ch : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  const struct {
    const char* name;
    unsigned int codePage;
  } kLegacy[] = {{"gb2312", 936},    {"gbk", 936},       {"x-cp20936", 20936},
                 {"hz-gb-2312", 52936}, {"gb18030", 54936}, {"big5", 950},
                 {"shift_jis", 932}, {"ks_c_5601-1987", 949}, {"us-ascii", 20127}};
  for (const auto& row : kLegacy) {
    if (lower == row.name) return row.codePage;
  }
  return 0;
}

// The encoding named in a document's XML declaration (ASCII-compatible
// bytes only), or an empty text.
template <typename Bytes>
std::string DeclaredEncoding(const Bytes& document) {
  const std::string text(document.begin(), document.end());
  const size_t key = text.find("encoding=");
  if (key == std::string::npos || key + 10 > text.size()) return "";
  const char quote = text[key + 9];
  const size_t end = text.find(quote, key + 10);
  return end == std::string::npos ? "" : text.substr(key + 10, end - key - 10);
}

inline bool IsWindows() {
#if defined(_WIN32)
  return true;
#else
  return false;
#endif
}

// True when the Windows programs run under Wine rather than on Windows.
inline bool RunningUnderWine() {
#if defined(_WIN32)
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

// Empty when the system can convert this code page (or the library does it
// itself); otherwise the reason for skipping a test that needs it.
inline std::string MissingCodePage(unsigned int codePage) {
#if defined(_WIN32)
  // 0 is the ANSI code page; UTF-16 in bytes is converted by the library.
  if (codePage == 0 || codePage == 1200 || codePage == 1201) return "";
  if (IsValidCodePage(codePage)) return "";
  return "the system's code-page converter here has no code page " + std::to_string(codePage) +
         (RunningUnderWine() ? " (Wine)" : "");
#else
  (void)codePage;
  return "";
#endif
}

}  // namespace kelmo_test

// Skips the running test when the system cannot convert `codePage`.
#define KELMO_SKIP_WITHOUT_CODE_PAGE(codePage)                             \
  do {                                                                     \
    const std::string kelmoMissing = kelmo_test::MissingCodePage(codePage); \
    if (!kelmoMissing.empty()) GTEST_SKIP() << kelmoMissing;               \
  } while (0)

// For a test that runs the rows of a table this system can convert: the rows
// it ran decide pass or fail, and the rows it could not run are named in the
// test's "unchecked" property and on the output. Only a test that could run
// no row at all is skipped.
#define KELMO_REPORT_UNCHECKED_ROWS(rowsRun, why)                                   \
  do {                                                                             \
    const std::string kelmoWhy = (why);                                            \
    if (kelmoWhy.empty()) break;                                                   \
    if ((rowsRun) == 0) GTEST_SKIP() << kelmoWhy;                                  \
    ::testing::Test::RecordProperty("unchecked", kelmoWhy);                        \
    std::printf("[ unchecked ] %s\n", kelmoWhy.c_str());                           \
  } while (0)

#endif  // KELMO_TESTS_SUPPORT_SYSTEM_CODE_PAGES_H
