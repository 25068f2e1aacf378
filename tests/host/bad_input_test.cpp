// Bad input at every entry point, as a host hands it in: null pointers where
// the interfaces allow them, the lengths 0 and 0xFFFFFFFF, code pages and
// encoding names nobody knows, files that are missing, empty, too short, a
// directory or unreadable, every prefix of a document, invalid UTF-8, lone
// surrogates, and inputs far larger than usual. Each case checks the result
// and error code the library promises and that the caller's data (out
// values, result holders, old files) stays as it was.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "host/child_process.h"
#include "host/host_library.h"
#include "host/scratch_dir.h"
#include "support/com_names.h"
#include "support/counting_com_object.h"

using kelmo::Kelmo;
using kelmo::KelmoParser;
using kelmo::KelmoTraversal;
using kelmo::RefPtr;
using kelmo::XInRes;
using kelmo_test::ModuleScope;
using kelmo_test::NameOf;
using kelmo_test::ReadBytes;
using kelmo_test::ScratchDir;
using kelmo_test::StringOf;
using kelmo_test::U16;
using kelmo_test::W;
using kelmo_test::WriteBytes;

namespace {

constexpr unsigned kWhole = kelmo::kWholeText;
constexpr unsigned kUtf8 = kelmo::kCodePageUtf8;
// Code page numbers that no converter knows, on any platform.
constexpr unsigned kNoSuchCodePage = 12345;
constexpr unsigned kHugeCodePage = 0xFFFFFFFFu;

// Every bad input the tables below feed in, counted so that a run can say
// how many were tried.
unsigned g_badInputs = 0;

class BadInputCount : public ::testing::Environment {
 public:
  void TearDown() override {
    if (g_badInputs) std::printf("[ bad input ] %u bad inputs tried\n", g_badInputs);
  }
};
[[maybe_unused]] const auto* const kRegisterCount = ::testing::AddGlobalTestEnvironment(new BadInputCount);

std::u16string Text(const kelmo::WChar* text, unsigned length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

bool HasSurrogate(const std::u16string& s) {
  for (char16_t c : s)
    if (c >= 0xD800 && c <= 0xDFFF) return true;
  return false;
}

// A result buffer placed in a holder by an earlier successful call: a later
// failing call must leave both the holder and the text it keeps alone.
struct FilledHolder {
  RefPtr<XInRes> holder;
  const char* text = nullptr;
  unsigned length = 0;
  XInRes* buffer = nullptr;

  explicit FilledHolder(ModuleScope& m) {
    RefPtr<Kelmo> named = m->CreateNodeW(W(u"kept"), kWhole);
    EXPECT_TRUE(named->GetNameA(text, length, kUtf8, holder));
    buffer = holder.get();
  }
  void ExpectUntouched() const {
    EXPECT_EQ(holder.get(), buffer);
    EXPECT_EQ(std::string(text, length), "kept");
  }
};

// --- Narrow text: pointer, length and code page ---

struct NarrowCase {
  const char* label;
  const char* text;
  unsigned length;
  unsigned codePage;
  enum Outcome { kConverts, kFails, kReplaced } outcome;
  std::u16string expected;  // for kConverts
};

std::ostream& operator<<(std::ostream& os, const NarrowCase& c) { return os << c.label; }

const NarrowCase kNarrowCases[] = {
    {"null, length 0", nullptr, 0, kUtf8, NarrowCase::kConverts, u""},
    {"null, length 5", nullptr, 5, kUtf8, NarrowCase::kConverts, u""},
    {"null, whole", nullptr, kWhole, kUtf8, NarrowCase::kConverts, u""},
    {"null, unknown code page", nullptr, kWhole, kNoSuchCodePage, NarrowCase::kConverts, u""},
    {"length 0", "abc", 0, kUtf8, NarrowCase::kConverts, u""},
    {"length 0, unknown code page", "abc", 0, kHugeCodePage, NarrowCase::kConverts, u""},
    {"empty, whole", "", kWhole, kUtf8, NarrowCase::kConverts, u""},
    {"whole", "abc", kWhole, kUtf8, NarrowCase::kConverts, u"abc"},
    {"default code page", "abc", kWhole, 0, NarrowCase::kConverts, u"abc"},
    {"explicit length stops early", "abcdef", 2, kUtf8, NarrowCase::kConverts, u"ab"},
    {"embedded zero byte", "a\0b", 3, kUtf8, NarrowCase::kConverts, std::u16string(u"a\0b", 3)},
    {"code page 12345", "abc", kWhole, kNoSuchCodePage, NarrowCase::kFails, u""},
    {"code page 0xFFFFFFFF", "abc", 3, kHugeCodePage, NarrowCase::kFails, u""},
    {"code page 99999", "abc", 3, 99999, NarrowCase::kFails, u""},
    {"byte FF in UTF-8", "a\xFF", kWhole, kUtf8, NarrowCase::kReplaced, u""},
    {"cut two-byte sequence", "a\xC3", kWhole, kUtf8, NarrowCase::kReplaced, u""},
    {"overlong slash", "\xC0\xAF", kWhole, kUtf8, NarrowCase::kReplaced, u""},
    {"encoded surrogate", "\xED\xA0\x80", kWhole, kUtf8, NarrowCase::kReplaced, u""},
    {"beyond U+10FFFF", "\xF4\x90\x80\x80", kWhole, kUtf8, NarrowCase::kReplaced, u""},
    {"lone continuation bytes", "\x80\x80", kWhole, kUtf8, NarrowCase::kReplaced, u""},
};

// What a conversion that replaces invalid bytes must give: something, with
// the replacement character in it and no surrogate of its own making.
void ExpectReplaced(const std::u16string& got) {
  EXPECT_FALSE(got.empty());
  EXPECT_NE(got.find(u'\uFFFD'), std::u16string::npos);
  EXPECT_FALSE(HasSurrogate(got));
}

void ExpectNarrowResult(const NarrowCase& c, const std::u16string& got) {
  switch (c.outcome) {
    case NarrowCase::kConverts: EXPECT_EQ(got, c.expected); break;
    case NarrowCase::kFails: EXPECT_EQ(got, u""); break;
    case NarrowCase::kReplaced: ExpectReplaced(got); break;
  }
}

class NarrowTextInput : public ::testing::TestWithParam<NarrowCase> {};

TEST_P(NarrowTextInput, NamesValuesAndLookups) {
  const NarrowCase& c = GetParam();
  ModuleScope m;
  g_badInputs += 6;

  // Factory: a failed conversion gives an unnamed node, never a failure.
  RefPtr<Kelmo> created = m->CreateNodeA(c.text, c.length, c.codePage);
  ASSERT_NE(created, nullptr);
  ExpectNarrowResult(c, NameOf(created));
  EXPECT_EQ(created->GetType(), int(kelmo::ValueType::Empty));

  // Rename: a failed conversion leaves the old name. The node sits between
  // two siblings under a parent with a name index, which the rename must
  // follow.
  RefPtr<Kelmo> renamed = m->CreateNodeW(W(u"old"), kWhole);
  RefPtr<Kelmo> owner = m->CreateNodeW(W(u"owner"), kWhole);
  RefPtr<Kelmo> before = m->CreateNodeW(W(u"zz"), kWhole);
  RefPtr<Kelmo> after = m->CreateNodeW(W(u"zzz"), kWhole);
  owner->AppendChild(before);
  owner->AppendChild(renamed);
  owner->AppendChild(after);
  owner->BuildNameIndex();
  renamed->SetNameA(c.text, c.length, c.codePage);
  const std::u16string newName = NameOf(renamed);
  const bool fails = c.outcome == NarrowCase::kFails;
  if (fails) {
    EXPECT_EQ(newName, u"old");
  } else {
    ExpectNarrowResult(c, newName);
  }
  EXPECT_EQ(owner->GetChildCount(), 3u);
  EXPECT_EQ(renamed->GetPrevSibling(), before);
  EXPECT_EQ(renamed->GetNextSibling(), after);
  if (!fails) {
    EXPECT_EQ(owner->FindChildW(W(u"old"), kWhole, 0), nullptr);
  }
  RefPtr<Kelmo> byNewName = newName.empty() ? owner->FindChildW(nullptr, 0, 0)
                                            : owner->FindChildW(W(newName),
                                                                unsigned(newName.size()), 0);
  EXPECT_EQ(byNewName, renamed);

  // String value: a String afterwards, or the old value when the conversion
  // failed.
  RefPtr<Kelmo> valued = m->CreateNodeW(W(u"v"), kWhole);
  valued->SetInt(5);
  valued->SetStringA(c.text, c.length, c.codePage);
  if (fails) {
    int kept = 0;
    EXPECT_EQ(valued->GetType(), int(kelmo::ValueType::Int));
    EXPECT_TRUE(valued->GetInt(kept) && kept == 5);
  } else {
    EXPECT_EQ(valued->GetType(), int(kelmo::ValueType::String));
    ExpectNarrowResult(c, StringOf(valued));
  }

  // Lookups, with and without the name index: each name twice, the first
  // copy holding 1 and the second 2.
  RefPtr<Kelmo> parent = m->CreateNodeW(W(u"p"), kWhole);
  const std::u16string names[] = {u"", u"abc", u"ab", std::u16string(u"a\0b", 3)};
  for (int copy = 1; copy <= 2; ++copy) {
    for (const std::u16string& name : names) {
      RefPtr<Kelmo> child = m->CreateNodeW(W(name), static_cast<unsigned>(name.size()));
      child->SetInt(copy);
      parent->AppendChild(child);
    }
  }
  for (bool indexed : {false, true}) {
    SCOPED_TRACE(indexed ? "with name index" : "without name index");
    if (indexed) parent->BuildNameIndex();
    RefPtr<Kelmo> first = parent->FindChildA(c.text, c.length, c.codePage, 0);
    RefPtr<Kelmo> last = parent->FindLastChildA(c.text, c.length, c.codePage, 0);
    RefPtr<Kelmo> beyond = parent->FindChildA(c.text, c.length, c.codePage, 0xFFFFFFFFu);
    EXPECT_EQ(beyond, nullptr);
    if (c.outcome == NarrowCase::kConverts) {
      ASSERT_NE(first, nullptr);
      ASSERT_NE(last, nullptr);
      EXPECT_EQ(NameOf(first), c.expected);
      int value = 0;
      EXPECT_TRUE(first->GetInt(value));
      EXPECT_EQ(value, 1);
      EXPECT_TRUE(last->GetInt(value));
      EXPECT_EQ(value, 2);
    } else {
      EXPECT_EQ(first, nullptr);
      EXPECT_EQ(last, nullptr);
    }
  }
  EXPECT_EQ(parent->GetChildCount(), 8u);
}

INSTANTIATE_TEST_SUITE_P(BadInput, NarrowTextInput, ::testing::ValuesIn(kNarrowCases),
                         [](const ::testing::TestParamInfo<NarrowCase>& info) {
                           return "case" + std::to_string(info.index);
                         });

// --- Wide text: pointer and length ---

struct WideCase {
  const char* label;
  bool nullText;
  std::u16string text;
  unsigned length;
  std::u16string expected;
};

std::ostream& operator<<(std::ostream& os, const WideCase& c) { return os << c.label; }

const std::u16string kLoneHigh(1, char16_t(0xD800));
const std::u16string kLoneLow(1, char16_t(0xDC00));

const WideCase kWideCases[] = {
    {"null, length 0", true, u"", 0, u""},
    {"null, length 7", true, u"", 7, u""},
    {"null, whole", true, u"", kWhole, u""},
    {"length 0", false, u"abc", 0, u""},
    {"empty, whole", false, u"", kWhole, u""},
    {"whole", false, u"abc", kWhole, u"abc"},
    {"explicit length stops early", false, u"abcdef", 2, u"ab"},
    {"embedded zero unit", false, std::u16string(u"a\0b", 3), 3, std::u16string(u"a\0b", 3)},
    {"lone high surrogate", false, kLoneHigh, kWhole, kLoneHigh},
    {"lone low surrogate", false, u"x" + kLoneLow, kWhole, u"x" + kLoneLow},
    {"pair in the wrong order", false, kLoneLow + kLoneHigh, kWhole, kLoneLow + kLoneHigh},
    {"pair cut by the length", false, u"\U0001F600", 1, std::u16string(1, char16_t(0xD83D))},
    {"noncharacters", false, u"\uFFFE\uFFFF", kWhole, u"\uFFFE\uFFFF"},
};

class WideTextInput : public ::testing::TestWithParam<WideCase> {};

TEST_P(WideTextInput, NamesValuesLookupsAndNarrowForms) {
  const WideCase& c = GetParam();
  const kelmo::WChar* text = c.nullText ? nullptr : W(c.text);
  ModuleScope m;
  g_badInputs += 8;

  RefPtr<Kelmo> created = m->CreateNodeW(text, c.length);
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(NameOf(created), c.expected);

  RefPtr<Kelmo> renamed = m->CreateNodeW(W(u"old"), kWhole);
  renamed->SetNameW(text, c.length);
  EXPECT_EQ(NameOf(renamed), c.expected);

  RefPtr<Kelmo> valued = m->CreateNodeW(W(u"v"), kWhole);
  valued->SetStringW(W(u"previous"), kWhole);
  valued->SetStringW(text, c.length);
  EXPECT_EQ(valued->GetType(), int(kelmo::ValueType::String));
  EXPECT_EQ(StringOf(valued), c.expected);

  RefPtr<Kelmo> parent = m->CreateNodeW(W(u"p"), kWhole);
  for (int copy = 1; copy <= 2; ++copy) {
    for (const std::u16string& name : {std::u16string(u"zz"), c.expected}) {
      RefPtr<Kelmo> child = m->CreateNodeW(W(name), static_cast<unsigned>(name.size()));
      child->SetInt(copy);
      parent->AppendChild(child);
    }
  }
  for (bool indexed : {false, true}) {
    if (indexed) parent->BuildNameIndex();
    RefPtr<Kelmo> first = parent->FindChildW(text, c.length, 0);
    RefPtr<Kelmo> last = parent->FindLastChildW(text, c.length, 0);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(last, nullptr);
    int value = 0;
    EXPECT_TRUE(first->GetInt(value));
    EXPECT_EQ(value, 1);
    EXPECT_TRUE(last->GetInt(value));
    EXPECT_EQ(value, 2);
    EXPECT_EQ(parent->FindChildW(text, c.length, 2), nullptr);
    EXPECT_EQ(parent->FindLastChildW(text, c.length, 0xFFFFFFFFu), nullptr);
  }

  // Narrow forms of a name or value holding a lone surrogate: either the
  // converter replaces it, or the call fails with the empty text, length 0
  // and an untouched holder. Never a surrogate smuggled out as raw bytes.
  FilledHolder kept(m);
  for (int which = 0; which < 2; ++which) {
    const char* narrow = "unchanged";
    unsigned length = 99;
    const bool ok = which == 0 ? created->GetNameA(narrow, length, kUtf8, kept.holder)
                               : valued->GetStringA(narrow, length, kUtf8, kept.holder);
    ASSERT_NE(narrow, nullptr);
    EXPECT_LE(std::strlen(narrow), length);
    if (!ok) {
      EXPECT_EQ(length, 0u);
      EXPECT_STREQ(narrow, "");
      kept.ExpectUntouched();
    } else if (HasSurrogate(c.expected)) {
      const std::string bytes(narrow, length);
      EXPECT_EQ(bytes.find("\xED\xA0"), std::string::npos);
      EXPECT_EQ(bytes.find("\xED\xB0"), std::string::npos);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(BadInput, WideTextInput, ::testing::ValuesIn(kWideCases),
                         [](const ::testing::TestParamInfo<WideCase>& info) {
                           return "case" + std::to_string(info.index);
                         });

// --- Code pages of the narrow getters ---

TEST(BadInput, NarrowGettersWithUnknownCodePagesFailCleanly) {
  ModuleScope m;
  RefPtr<Kelmo> node = m->CreateNodeW(W(u"caf\u00e9"), kWhole);
  node->SetStringW(W(u"\u00e9t\u00e9"), kWhole);
  RefPtr<Kelmo> unnamed = m->CreateNodeW(nullptr, 0);
  unnamed->SetStringW(nullptr, 0);
  for (unsigned codePage : {kNoSuchCodePage, kHugeCodePage, 99999u, 65002u}) {
    SCOPED_TRACE(codePage);
    g_badInputs += 4;
    FilledHolder kept(m);
    const char* text = "unchanged";
    unsigned length = 99;
    EXPECT_FALSE(node->GetNameA(text, length, codePage, kept.holder));
    EXPECT_STREQ(text, "");
    EXPECT_EQ(length, 0u);
    kept.ExpectUntouched();

    text = "unchanged";
    length = 99;
    EXPECT_FALSE(node->GetStringA(text, length, codePage, kept.holder));
    EXPECT_STREQ(text, "");
    EXPECT_EQ(length, 0u);
    kept.ExpectUntouched();

    // Empty texts need no conversion and succeed whatever the code page.
    text = "unchanged";
    length = 99;
    EXPECT_TRUE(unnamed->GetNameA(text, length, codePage, kept.holder));
    EXPECT_STREQ(text, "");
    EXPECT_EQ(length, 0u);
    EXPECT_TRUE(unnamed->GetStringA(text, length, codePage, kept.holder));
    EXPECT_EQ(length, 0u);
    kept.ExpectUntouched();
  }
  // The node itself is unchanged by the failed reads.
  EXPECT_EQ(NameOf(node), u"caf\u00e9");
  EXPECT_EQ(StringOf(node), u"\u00e9t\u00e9");
}

// --- Getters that have no answer ---

enum State : unsigned {
  kEmpty = 1u << 0,
  kBinary = 1u << 1,
  kPointer = 1u << 2,
  kShared = 1u << 3,
  kUnknownNull = 1u << 4,
  kDispatchNull = 1u << 5,
  kStringEmpty = 1u << 6,
  kStringWord = 1u << 7,     // "maybe"
  kStringExponent = 1u << 8, // "1e3"
  kStringLineFeed = 1u << 9, // "12\n"
  kStringBadBase64 = 1u << 10, // "QU=J"
  kAllStates = (1u << 11) - 1,
};

const struct {
  State state;
  const char* label;
} kStates[] = {
    {kEmpty, "Empty"},
    {kBinary, "Binary"},
    {kPointer, "Pointer"},
    {kShared, "SharedPtr"},
    {kUnknownNull, "Unknown null"},
    {kDispatchNull, "Dispatch null"},
    {kStringEmpty, "empty String"},
    {kStringWord, "String maybe"},
    {kStringExponent, "String 1e3"},
    {kStringLineFeed, "String 12 line feed"},
    {kStringBadBase64, "String QU=J"},
};

void PutState(Kelmo& node, State state) {
  static int pointee = 0;
  static const unsigned char bytes[] = {1, 2, 3};
  switch (state) {
    case kEmpty: node.SetEmpty(); break;
    case kBinary: node.SetBinary(bytes, 3); break;
    case kPointer: node.SetPointer(&pointee); break;
    case kShared: node.SetSharedPtr(std::make_shared<int>(4)); break;
    case kUnknownNull: node.SetUnknown(nullptr); break;
    case kDispatchNull: node.SetDispatch(nullptr); break;
    case kStringEmpty: node.SetStringW(W(u""), kWhole); break;
    case kStringWord: node.SetStringW(W(u"maybe"), kWhole); break;
    case kStringExponent: node.SetStringW(W(u"1e3"), kWhole); break;
    case kStringLineFeed: node.SetStringW(W(u"12\n"), kWhole); break;
    case kStringBadBase64: node.SetStringW(W(u"QU=J"), kWhole); break;
    default: break;
  }
}

// Calls a getter with an out value full of a recognisable pattern; gives the
// getter's result and whether the out value is byte for byte as it was.
template <class T, class Call>
bool Try(Call call, bool& unchanged) {
  T value;
  std::memset(static_cast<void*>(&value), 0x5A, sizeof value);
  unsigned char before[sizeof(T)];
  std::memcpy(before, static_cast<const void*>(&value), sizeof value);
  const bool ok = call(value);
  unchanged = std::memcmp(before, static_cast<const void*>(&value), sizeof value) == 0;
  return ok;
}

struct Getter {
  const char* name;
  unsigned failsOn;  // states in which the getter has no answer
  std::function<bool(Kelmo&, bool&, RefPtr<XInRes>&)> call;
};

constexpr unsigned kNoNumber = kEmpty | kBinary | kPointer | kShared | kUnknownNull |
                               kDispatchNull | kStringEmpty | kStringWord | kStringExponent |
                               kStringLineFeed | kStringBadBase64;

#define NUMERIC_GETTER(Name, Type)                                       \
  Getter {                                                               \
    #Name, kNoNumber, [](Kelmo& n, bool& same, RefPtr<XInRes>&) {        \
      return Try<Type>([&](Type& v) { return n.Name(v); }, same);        \
    }                                                                    \
  }

std::vector<Getter> AllGetters() {
  std::vector<Getter> getters = {
      NUMERIC_GETTER(GetChar, char),        NUMERIC_GETTER(GetUChar, unsigned char),
      NUMERIC_GETTER(GetShort, int16_t),    NUMERIC_GETTER(GetUShort, uint16_t),
      NUMERIC_GETTER(GetInt, int),          NUMERIC_GETTER(GetUInt, unsigned int),
      NUMERIC_GETTER(GetLong, int32_t),     NUMERIC_GETTER(GetULong, uint32_t),
      NUMERIC_GETTER(GetInt64, int64_t),    NUMERIC_GETTER(GetUInt64, uint64_t),
      NUMERIC_GETTER(GetFloat, float),      NUMERIC_GETTER(GetDouble, double),
      NUMERIC_GETTER(GetLongDouble, long double),
      NUMERIC_GETTER(GetBool, bool),
      {"GetPointer", kAllStates & ~kPointer,
       [](Kelmo& n, bool& same, RefPtr<XInRes>&) {
         return Try<void*>([&](void*& v) { return n.GetPointer(v); }, same);
       }},
      {"GetSharedPtr", kAllStates & ~kShared,
       [](Kelmo& n, bool& same, RefPtr<XInRes>&) {
         auto mine = std::make_shared<int>(9);
         std::shared_ptr<void> out = mine;
         const bool ok = n.GetSharedPtr(out);
         same = out == mine && mine.use_count() == 2;
         return ok;
       }},
      {"GetUnknown", kAllStates & ~(kUnknownNull | kDispatchNull),
       [](Kelmo& n, bool& same, RefPtr<XInRes>&) {
         kelmo_test::CountingComObject held;
         kelmo::IUnknown* out = &held;
         const bool ok = n.GetUnknown(out);
         same = out == &held && held.references == 1;
         return ok;
       }},
      {"GetDispatch", kAllStates & ~(kUnknownNull | kDispatchNull),
       [](Kelmo& n, bool& same, RefPtr<XInRes>&) {
         kelmo_test::CountingComObject held;
         kelmo::IDispatch* out = &held;
         const bool ok = n.GetDispatch(out);
         same = out == &held && held.references == 1;
         return ok;
       }},
      {"GetBinary", kEmpty | kPointer | kShared | kUnknownNull | kDispatchNull | kStringEmpty |
                        kStringWord | kStringBadBase64,
       [](Kelmo& n, bool& same, RefPtr<XInRes>& holder) {
         static const unsigned char mark[] = {7};
         const unsigned char* data = mark;
         unsigned length = 77;
         const bool ok = n.GetBinary(data, length, holder);
         same = data == mark && length == 77;
         return ok;
       }},
      {"GetStringW", kEmpty | kShared | kUnknownNull | kDispatchNull,
       [](Kelmo& n, bool& same, RefPtr<XInRes>& holder) {
         static const kelmo::WChar mark[] = {'m', 0};
         const kelmo::WChar* text = mark;
         unsigned length = 77;
         const bool ok = n.GetStringW(text, length, holder);
         same = text == mark && length == 77;
         return ok;
       }},
      {"GetStringA", kEmpty | kShared | kUnknownNull | kDispatchNull,
       [](Kelmo& n, bool& same, RefPtr<XInRes>& holder) {
         static const char mark[] = "m";
         const char* text = mark;
         unsigned length = 77;
         const bool ok = n.GetStringA(text, length, kUtf8, holder);
         same = text == mark && length == 77;
         return ok;
       }},
  };
  return getters;
}

TEST(BadInput, GettersWithoutAnAnswerLeaveOutValuesAndHolderAlone) {
  ModuleScope m;
  RefPtr<Kelmo> node = m->CreateNodeW(W(u"n"), kWhole);
  unsigned tried = 0;
  for (const auto& s : kStates) {
    for (const Getter& getter : AllGetters()) {
      if (!(getter.failsOn & s.state)) continue;
      SCOPED_TRACE(std::string(getter.name) + " on " + s.label);
      ++tried;
      PutState(*node, s.state);
      const int type = node->GetType();
      FilledHolder kept(m);
      bool unchanged = false;
      EXPECT_FALSE(getter.call(*node, unchanged, kept.holder));
      EXPECT_TRUE(unchanged);
      kept.ExpectUntouched();
      EXPECT_EQ(node->GetType(), type);
    }
  }
  g_badInputs += tried;
  EXPECT_GT(tried, 200u);
}

// --- Tree operations with missing or misplaced nodes ---

TEST(BadInput, TreeOperationsRefuseNullAndForeignNodes) {
  ModuleScope m;
  RefPtr<Kelmo> parent = m->CreateNodeW(W(u"p"), kWhole);
  RefPtr<Kelmo> a = m->CreateNodeW(W(u"a"), kWhole);
  RefPtr<Kelmo> b = m->CreateNodeW(W(u"b"), kWhole);
  parent->AppendChild(a);
  parent->AppendChild(b);
  RefPtr<Kelmo> other = m->CreateNodeW(W(u"other"), kWhole);
  RefPtr<Kelmo> foreign = m->CreateNodeW(W(u"f"), kWhole);
  other->AppendChild(foreign);
  const RefPtr<Kelmo> none;

  const std::vector<std::pair<const char*, std::function<void()>>> refusals = {
      {"AppendChild(null)", [&] { parent->AppendChild(none); }},
      {"PrependChild(null)", [&] { parent->PrependChild(none); }},
      {"InsertChildBefore(null, null)", [&] { parent->InsertChildBefore(none, none); }},
      {"InsertChildAfter(null, null)", [&] { parent->InsertChildAfter(none, none); }},
      {"InsertChildBefore(a, null)", [&] { parent->InsertChildBefore(a, none); }},
      {"InsertChildAfter(b, null)", [&] { parent->InsertChildAfter(b, none); }},
      {"RemoveChild(null)", [&] { parent->RemoveChild(none); }},
      {"RemoveChild(another parent's child)", [&] { parent->RemoveChild(foreign); }},
      {"RemoveChild(itself)", [&] { parent->RemoveChild(parent); }},
      {"AppendChild(own child again)", [&] { parent->AppendChild(a); }},
      {"AppendChild(another parent's child)", [&] { parent->AppendChild(foreign); }},
      {"PrependChild(another parent's child)", [&] { parent->PrependChild(foreign); }},
      {"InsertChildAfter(a, another parent's child)",
       [&] { parent->InsertChildAfter(a, foreign); }},
      {"RemoveChild on a node without children", [&] { foreign->RemoveChild(a); }},
      {"Detach on a free-standing node", [&] { other->Detach(); }},
      {"RemoveAllChildren on a node without children", [&] { a->RemoveAllChildren(); }},
      {"DropNameIndex without an index", [&] { parent->DropNameIndex(); }},
  };
  for (const auto& refusal : refusals) {
    SCOPED_TRACE(refusal.first);
    ++g_badInputs;
    refusal.second();
    EXPECT_EQ(parent->GetChildCount(), 2u);
    EXPECT_EQ(parent->GetFirstChild(), a);
    EXPECT_EQ(parent->GetLastChild(), b);
    EXPECT_EQ(a->GetNextSibling(), b);
    EXPECT_EQ(b->GetPrevSibling(), a);
    EXPECT_EQ(a->GetParent(), parent);
    EXPECT_EQ(other->GetChildCount(), 1u);
    EXPECT_EQ(foreign->GetParent(), other);
    EXPECT_EQ(other->GetParent(), nullptr);
  }
}

TEST(BadInput, NodesCannotBecomeTheirOwnAncestors) {
  ModuleScope m;
  RefPtr<Kelmo> top = m->CreateNodeW(W(u"top"), kWhole);
  RefPtr<Kelmo> middle = m->CreateNodeW(W(u"middle"), kWhole);
  RefPtr<Kelmo> bottom = m->CreateNodeW(W(u"bottom"), kWhole);
  top->AppendChild(middle);
  middle->AppendChild(bottom);
  const std::vector<std::pair<const char*, std::function<void()>>> cycles = {
      {"top under itself", [&] { top->AppendChild(top); }},
      {"top under its grandchild", [&] { bottom->AppendChild(top); }},
      {"top before the grandchild's missing child", [&] { bottom->PrependChild(top); }},
      {"top after nothing under the grandchild", [&] { bottom->InsertChildAfter(nullptr, top); }},
  };
  for (const auto& cycle : cycles) {
    SCOPED_TRACE(cycle.first);
    ++g_badInputs;
    cycle.second();
    EXPECT_EQ(top->GetParent(), nullptr);
    EXPECT_EQ(bottom->GetChildCount(), 0u);
    EXPECT_EQ(top->GetChildCount(), 1u);
  }
  // Had a cycle been made, the three nodes would never be freed and the
  // leak checker of the sanitizer build would report them.
}

// --- Parser entries ---

struct ParseInput {
  const char* label;
  std::function<bool(KelmoParser&)> parse;
  unsigned code;
};

void ExpectFreshEmptyRoot(KelmoParser& p) {
  RefPtr<Kelmo> root = p.GetRoot();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->GetChildCount(), 0u);
  EXPECT_EQ(NameOf(root), u"");
  EXPECT_TRUE(root->IsEmpty());
}

TEST(BadInput, ParserEntriesRejectEmptyNullAndUndecodableInput) {
  ModuleScope m;
  static const char16_t wide[] = u"<a/>";
  static const char narrow[] = "<a/>";
  static const unsigned char bytes[] = {'<', 'a', '/', '>', 0};
  static const unsigned char bom16[] = {0xFF, 0xFE};
  static const unsigned char cutDeclaration[] = "<?xml version=\"1.0\" encoding=";
  const kelmo::WChar* w = reinterpret_cast<const kelmo::WChar*>(wide);
  const std::vector<ParseInput> inputs = {
      {"ParseStringW(null, 0)", [](KelmoParser& p) { return p.ParseStringW(nullptr, 0); }, 14},
      {"ParseStringW(null, 5)", [](KelmoParser& p) { return p.ParseStringW(nullptr, 5); }, 14},
      {"ParseStringW(null, whole)",
       [](KelmoParser& p) { return p.ParseStringW(nullptr, kWhole); }, 14},
      {"ParseStringW(text, 0)", [w](KelmoParser& p) { return p.ParseStringW(w, 0); }, 14},
      {"ParseStringW(empty, whole)",
       [w](KelmoParser& p) { return p.ParseStringW(w + 4, kWhole); }, 14},
      {"ParseStringA(null, 0)",
       [](KelmoParser& p) { return p.ParseStringA(nullptr, 0, kUtf8); }, 14},
      {"ParseStringA(null, whole)",
       [](KelmoParser& p) { return p.ParseStringA(nullptr, kWhole, kUtf8); }, 14},
      {"ParseStringA(null, 5, unknown code page)",
       [](KelmoParser& p) { return p.ParseStringA(nullptr, 5, kNoSuchCodePage); }, 14},
      {"ParseStringA(text, 0)",
       [](KelmoParser& p) { return p.ParseStringA(narrow, 0, kUtf8); }, 14},
      {"ParseStringA(empty, whole)",
       [](KelmoParser& p) { return p.ParseStringA(narrow + 4, kWhole, kUtf8); }, 14},
      {"ParseStringA(code page 12345)",
       [](KelmoParser& p) { return p.ParseStringA(narrow, kWhole, kNoSuchCodePage); }, 9},
      {"ParseStringA(code page 0xFFFFFFFF)",
       [](KelmoParser& p) { return p.ParseStringA(narrow, 4, kHugeCodePage); }, 9},
      {"ParseBuffer(null, 0)", [](KelmoParser& p) { return p.ParseBuffer(nullptr, 0); }, 14},
      {"ParseBuffer(null, 3)", [](KelmoParser& p) { return p.ParseBuffer(nullptr, 3); }, 9},
      {"ParseBuffer(null, 4)", [](KelmoParser& p) { return p.ParseBuffer(nullptr, 4); }, 9},
      {"ParseBuffer(null, 0xFFFFFFFF)",
       [](KelmoParser& p) { return p.ParseBuffer(nullptr, 0xFFFFFFFFu); }, 9},
      {"ParseBuffer(bytes, 0)", [](KelmoParser& p) { return p.ParseBuffer(bytes, 0); }, 14},
      {"ParseBuffer(bytes, 1)", [](KelmoParser& p) { return p.ParseBuffer(bytes, 1); }, 13},
      {"ParseBuffer(bytes, 2)", [](KelmoParser& p) { return p.ParseBuffer(bytes, 2); }, 13},
      {"ParseBuffer(bytes, 3)", [](KelmoParser& p) { return p.ParseBuffer(bytes, 3); }, 13},
      {"ParseBuffer(UTF-16 mark only)",
       [](KelmoParser& p) { return p.ParseBuffer(bom16, 2); }, 14},
      {"ParseBuffer(declaration cut after encoding=)",
       [](KelmoParser& p) {
         return p.ParseBuffer(cutDeclaration, sizeof cutDeclaration - 1);
       },
       13},
      {"ParseFileA(null)", [](KelmoParser& p) { return p.ParseFileA(nullptr); }, 12},
      {"ParseFileW(null)", [](KelmoParser& p) { return p.ParseFileW(nullptr); }, 12},
      {"ParseFileA(empty path)", [](KelmoParser& p) { return p.ParseFileA(""); }, 12},
      {"ParseFileW(empty path)",
       [w](KelmoParser& p) { return p.ParseFileW(w + 4); }, 12},
  };
  for (const ParseInput& input : inputs) {
    SCOPED_TRACE(input.label);
    ++g_badInputs;
    RefPtr<KelmoParser> p = m->CreateParser();
    ASSERT_TRUE(p->ParseStringW(W(u"<previous/>"), kWhole));
    RefPtr<Kelmo> previous = p->GetRoot();
    EXPECT_FALSE(input.parse(*p));
    EXPECT_EQ(p->GetErrorCode(), input.code);
    // Input cut short keeps what was built, as every parse error does.
    if (input.code != 13) ExpectFreshEmptyRoot(*p);
    // The earlier tree that the caller holds is not touched.
    EXPECT_EQ(NameOf(previous->GetFirstChild()), u"previous");
    EXPECT_NE(p->GetRoot(), previous);
  }
  // The inputs themselves are constant data the parser only reads.
  EXPECT_EQ(std::u16string(wide), u"<a/>");
  EXPECT_EQ(std::memcmp(bytes, "<a/>", 5), 0);
}

// Invalid UTF-8 and lone surrogates are not errors: names, values and
// attribute values keep what the decoder made of them.
TEST(BadInput, InvalidUtf8AndLoneSurrogatesParseWithoutError) {
  ModuleScope m;
  RefPtr<KelmoParser> p = m->CreateParser();
  const std::string invalid[] = {
      "<a\xFF b=\"\xC0\xAF\">\xED\xA0\x80</a\xFF>",
      "<\xF4\x90\x80\x80>x</\xF4\x90\x80\x80>",
      "<a>\xC3</a>",
  };
  for (const std::string& xml : invalid) {
    ++g_badInputs;
    SCOPED_TRACE(xml);
    ASSERT_TRUE(p->ParseStringA(xml.data(), static_cast<unsigned>(xml.size()), kUtf8))
        << p->GetErrorCode();
    RefPtr<Kelmo> element = p->GetRoot()->GetFirstChild();
    ASSERT_NE(element, nullptr);
    EXPECT_FALSE(HasSurrogate(NameOf(element)));
    EXPECT_FALSE(HasSurrogate(StringOf(element)));
    ASSERT_TRUE(p->ParseBuffer(reinterpret_cast<const unsigned char*>(xml.data()),
                               static_cast<unsigned>(xml.size())));
    EXPECT_EQ(p->GetRoot()->GetChildCount(), 1u);
  }

  const std::u16string high = kLoneHigh, low = kLoneLow;
  const std::u16string xml = u"<n" + high + u" a" + low + u"=\"" + low + high + u"\">" + high +
                             u"<c><![CDATA[" + low + u"]]></c></n" + high + u">";
  ++g_badInputs;
  ASSERT_TRUE(p->ParseStringW(W(xml), static_cast<unsigned>(xml.size())))
      << p->GetErrorCode() << " at " << p->GetErrorOffset();
  RefPtr<Kelmo> n = p->GetRoot()->GetFirstChild();
  EXPECT_EQ(NameOf(n), u"n" + high);
  EXPECT_EQ(StringOf(n), high);
  RefPtr<Kelmo> attribute = n->GetFirstChild();
  EXPECT_EQ(NameOf(attribute), u"a" + low);
  EXPECT_EQ(StringOf(attribute), low + high);
  EXPECT_EQ(StringOf(n->GetLastChild()), low);

  // Written out and read again, the wide text keeps every unit.
  RefPtr<KelmoTraversal> t = m->CreateTraversal();
  RefPtr<XInRes> holder;
  unsigned length = 0;
  const kelmo::WChar* text = t->ToXmlW(n, &length, nullptr, nullptr, holder);
  ASSERT_TRUE(p->ParseStringW(text, length));
  EXPECT_EQ(StringOf(p->GetRoot()->GetFirstChild()), high);
}

// --- Files ---

#if !defined(_WIN32)
TEST(BadInput, FilesThatCannotBeReadOrAreTooShort) {
  ScratchDir dir;
  ModuleScope m;
  WriteBytes(dir.File("empty.xml"), "");
  WriteBytes(dir.File("one.xml"), "<");
  WriteBytes(dir.File("two.xml"), "<a");
  WriteBytes(dir.File("three.xml"), "<a>");
  WriteBytes(dir.File("mark.xml"), "\xEF\xBB\xBF");
  WriteBytes(dir.File("cut.xml"), "<?xml version=\"1.0\" encoding=\"utf");
  std::filesystem::create_directory(dir.File("subdir"));
  std::filesystem::create_directory(dir.File("full"));
  WriteBytes(dir.File("full") / "inside.xml", "<a/>");
  std::vector<std::pair<std::filesystem::path, unsigned>> cases = {
      {dir.File("missing.xml"), 12},
      {dir.File("no/such/dir/file.xml"), 12},
      {dir.File("subdir"), 12},
      {dir.File("full"), 12},
      {dir.path(), 12},
      {dir.File("empty.xml"), 14},
      {dir.File("one.xml"), 13},
      {dir.File("two.xml"), 13},
      {dir.File("three.xml"), 13},
      {dir.File("mark.xml"), 14},
      {dir.File("cut.xml"), 13},
  };
  // Directories on a memory file system report a size of their own.
  if (std::filesystem::is_directory("/dev/shm")) {
    cases.emplace_back("/dev/shm", 12);
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first.string());
    g_badInputs += 2;
    RefPtr<KelmoParser> p = m->CreateParser();
    EXPECT_FALSE(p->ParseFileA(c.first.string().c_str()));
    EXPECT_EQ(p->GetErrorCode(), c.second);
    // A file cut short keeps what was built, as every parse error does.
    if (c.second != 13) ExpectFreshEmptyRoot(*p);
    ASSERT_TRUE(p->ParseStringW(W(u"<x/>"), kWhole));
    const std::u16string wide = U16(c.first.string().c_str());
    EXPECT_FALSE(p->ParseFileW(W(wide)));
    EXPECT_EQ(p->GetErrorCode(), c.second);
    if (c.second != 13) ExpectFreshEmptyRoot(*p);
  }
  // A wide path that cannot be spelled in UTF-8 names no file.
  std::u16string lone = U16(dir.File("x").string().c_str()) + kLoneHigh;
  RefPtr<KelmoParser> p = m->CreateParser();
  ++g_badInputs;
  EXPECT_FALSE(p->ParseFileW(W(lone)));
  EXPECT_EQ(p->GetErrorCode(), 12u);
  // The files read are left as they were.
  EXPECT_EQ(ReadBytes(dir.File("three.xml")), "<a>");
  EXPECT_EQ(ReadBytes(dir.File("full") / "inside.xml"), "<a/>");
}

TEST(BadInput, UnreadableFileIsAFileError) {
  kelmo_test::SharedScratchDir dir;
  const auto path = dir.File("locked.xml");
  WriteBytes(path, "<a/>");
  ASSERT_EQ(::chmod(path.string().c_str(), 0), 0);
  // A readable file beside it shows that the child reaches the directory.
  const auto control = dir.File("open.xml");
  WriteBytes(control, "<a/>");
  ASSERT_EQ(::chmod(control.string().c_str(), 0644), 0);
  // Root reads any file, so a privileged run checks from an unprivileged
  // child; the bits of the result say which entry went wrong.
  const int status = kelmo_test::RunUnprivileged(dir.path(), [&] {
    ModuleScope m;
    RefPtr<KelmoParser> p = m->CreateParser();
    int wrong = 0;
    if (!p->ParseFileA(control.string().c_str())) wrong |= 8;
    if (p->ParseFileA(path.string().c_str()) || p->GetErrorCode() != 12) wrong |= 1;
    if (p->GetRoot()->GetChildCount() != 0) wrong |= 2;
    if (p->ParseFileW(W(U16(path.string().c_str()))) || p->GetErrorCode() != 12) wrong |= 4;
    return wrong;
  });
  if (const char* why = kelmo_test::UnprivilegedSkipReason(status)) GTEST_SKIP() << why;
  g_badInputs += 2;
  EXPECT_EQ(status, 0);
  ::chmod(path.string().c_str(), 0600);
  EXPECT_EQ(ReadBytes(path), "<a/>");
}
#endif

// --- Every prefix of a document ---

// A document that uses every construct the parser knows, with line breaks,
// references, a CDATA section, comments, a processing instruction, a DOCTYPE
// and non-ASCII text.
const char kSampleDocument[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<!DOCTYPE settings>\n"
    "<!-- settings of the service -->\n"
    "<settings version=\"2\" owner='ops &amp; dev'>\n"
    "  <server name=\"alpha\" port=\"8080\">primary &lt;main&gt; &#65;&#x42;</server>\n"
    "  <server name=\"beta\"/>\n"
    "  <?reload now?>\n"
    "  <note><![CDATA[a <raw> ]] text]]></note>\n"
    "  <caf\xC3\xA9 \xE2\x82\xAC=\"\xF0\x9F\x98\x80\">gr\xC3\xBC\xC3\x9F</caf\xC3\xA9>\n"
    "  <empty></empty>\n"
    "</settings>\n";

// The names of all nodes in the order the parser created them: depth first,
// which is document order.
std::vector<std::u16string> NamesInOrder(const RefPtr<Kelmo>& root) {
  std::vector<std::u16string> names;
  RefPtr<Kelmo> node = root->GetFirstChild();
  while (node) {
    names.push_back(NameOf(node));
    if (RefPtr<Kelmo> child = node->GetFirstChild()) {
      node = child;
      continue;
    }
    while (node && !node->GetNextSibling()) {
      RefPtr<Kelmo> parent = node->GetParent();
      node = parent == root ? nullptr : parent;
    }
    if (node) node = node->GetNextSibling();
  }
  return names;
}

// A prefix builds a prefix of the whole document's tree: the same nodes in
// the same order, of which only the last may still have half its name (and
// a replacement character where a multi-byte sequence was cut).
void ExpectPrefixOfTree(const std::vector<std::u16string>& part,
                        const std::vector<std::u16string>& whole) {
  ASSERT_LE(part.size(), whole.size());
  for (size_t i = 0; i < part.size(); ++i) {
    if (i + 1 < part.size()) {
      EXPECT_EQ(part[i], whole[i]) << "node " << i;
      continue;
    }
    std::u16string last = part[i];
    while (!last.empty() && last.back() == u'\uFFFD') last.pop_back();
    EXPECT_EQ(whole[i].compare(0, last.size(), last), 0) << "last node " << i;
  }
}

TEST(BadInput, EveryPrefixOfADocumentAsWideText) {
  ModuleScope m;
  RefPtr<KelmoParser> p = m->CreateParser();
  const std::u16string doc = U16(kSampleDocument);
  ASSERT_TRUE(p->ParseStringW(W(doc), static_cast<unsigned>(doc.size())));
  const std::vector<std::u16string> whole = NamesInOrder(p->GetRoot());
  ASSERT_EQ(whole.size(), 12u);

  // Complete prefixes: the prolog up to the end of one of its lines or
  // constructs, and the whole root element with or without the last line end.
  const size_t rootStart = doc.find(u"<settings");
  const size_t rootEnd = doc.find(u"</settings>") + 11;
  size_t previousCount = 0;
  unsigned line = 1, column = 0;
  for (size_t n = 0; n <= doc.size(); ++n) {
    SCOPED_TRACE("prefix of " + std::to_string(n) + " units");
    ++g_badInputs;
    const bool ok = p->ParseStringW(W(doc), static_cast<unsigned>(n));
    RefPtr<Kelmo> root = p->GetRoot();
    ASSERT_NE(root, nullptr);
    if (n == 0) {
      EXPECT_FALSE(ok);
      EXPECT_EQ(p->GetErrorCode(), 14u);
      EXPECT_EQ(root->GetChildCount(), 0u);
      continue;
    }
    // Input ending inside any construct, or with an element open, is cut
    // short: error 13 at its last character. A prolog that ends whole holds
    // no element: error 14.
    const bool complete = n >= rootEnd;
    const bool prolog = n <= rootStart && (doc[n - 1] == u'>' || doc[n - 1] == u'\n');
    EXPECT_EQ(ok, complete);
    EXPECT_EQ(p->GetErrorCode(), complete ? 0u : prolog ? 14u : 13u);
    // A line feed belongs to the line it ends; the character after it
    // starts the next line.
    if (n >= 2 && doc[n - 2] == u'\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
    EXPECT_EQ(p->GetErrorOffset(), n);
    EXPECT_EQ(p->GetErrorLine(), line);
    EXPECT_EQ(p->GetErrorColumn(), column);
    const std::vector<std::u16string> names = NamesInOrder(root);
    ExpectPrefixOfTree(names, whole);
    EXPECT_GE(names.size(), previousCount);
    previousCount = names.size();
  }
  EXPECT_EQ(previousCount, whole.size());
}

TEST(BadInput, EveryPrefixOfADocumentAsBytes) {
  ModuleScope m;
  RefPtr<KelmoParser> p = m->CreateParser();
  const std::string utf8 = kSampleDocument;
  // The same document in UTF-16LE with a byte-order mark.
  std::string utf16 = "\xFF\xFE";
  for (char16_t unit : U16(kSampleDocument)) {
    utf16.push_back(static_cast<char>(unit & 0xFF));
    utf16.push_back(static_cast<char>(unit >> 8));
  }
  const size_t declarationEnd = utf8.find("\"?>");  // the encoding value's closing quote

  for (const std::string* doc : {&utf8, static_cast<const std::string*>(&utf16)}) {
    const bool wide = doc == &utf16;
    SCOPED_TRACE(wide ? "UTF-16LE" : "UTF-8");
    const auto* bytes = reinterpret_cast<const unsigned char*>(doc->data());
    ASSERT_TRUE(p->ParseBuffer(bytes, static_cast<unsigned>(doc->size())));
    const std::vector<std::u16string> whole = NamesInOrder(p->GetRoot());
    ASSERT_EQ(whole.size(), 12u);
    for (size_t n = 0; n <= doc->size(); ++n) {
      SCOPED_TRACE("prefix of " + std::to_string(n) + " bytes");
      ++g_badInputs;
      // Copied, so that reading past the prefix would be caught by the
      // address checker of the sanitizer build.
      std::unique_ptr<unsigned char[]> copy(new unsigned char[n ? n : 1]);
      std::memcpy(copy.get(), bytes, n);
      const bool ok = p->ParseBuffer(copy.get(), static_cast<unsigned>(n));
      bool sniffed = n >= 4;
      if (!wide && n <= declarationEnd) sniffed = false;  // the declaration is cut off
      // A prefix fails only as cut short or, before the root element, as
      // holding no element (the text test above says exactly which ones);
      // one too short to sniff is read as UTF-8. The whole document loads.
      if (n == doc->size()) {
        EXPECT_TRUE(ok);
      }
      ASSERT_NE(p->GetRoot(), nullptr);
      const std::vector<std::u16string> names = NamesInOrder(p->GetRoot());
      if (ok) {
        EXPECT_EQ(p->GetErrorCode(), 0u);
      } else if (p->GetErrorCode() != 13u) {
        EXPECT_EQ(p->GetErrorCode(), 14u);
        EXPECT_TRUE(names.empty());
      }
      if (!sniffed) {
        EXPECT_FALSE(ok);
        EXPECT_TRUE(names.empty());
        continue;
      }
      ExpectPrefixOfTree(names, whole);
      // Whole units only: the offset never passes the decoded text.
      EXPECT_LE(p->GetErrorOffset(), wide ? (n - 2) / 2 : n);
      EXPECT_GE(p->GetErrorLine(), 1u);
      EXPECT_LE(p->GetErrorLine(), 12u);
      EXPECT_EQ(std::memcmp(copy.get(), bytes, n), 0);
    }
  }
}

// A document with an error: every prefix shorter than the failing character
// is cut short (error 13 at its end), every longer one fails with the same
// code at the same place.
TEST(BadInput, EveryPrefixOfDocumentsWithErrors) {
  const struct {
    const char* xml;
    unsigned code;
    unsigned offset;  // of the failing character, counted as read
  } documents[] = {
      {"<a>\n <b x=\"1\">t</c>\n</a>", 7, 19},
      {"<a b=\"1\" c>text</a>", 6, 11},
      {"<a>&nbsp;</a>", 5, 9},
      {"<a>x &amp y</a>", 5, 12},
      {"<a><!- no -->", 6, 7},
      {"<a><? x?></a>", 6, 6},
  };
  ModuleScope m;
  RefPtr<KelmoParser> p = m->CreateParser();
  for (const auto& d : documents) {
    SCOPED_TRACE(d.xml);
    const std::u16string doc = U16(d.xml);
    for (size_t n = 1; n <= doc.size(); ++n) {
      SCOPED_TRACE(n);
      ++g_badInputs;
      const bool ok = p->ParseStringW(W(doc), static_cast<unsigned>(n));
      if (n < d.offset) {
        EXPECT_FALSE(ok);
        EXPECT_EQ(p->GetErrorCode(), 13u);
        EXPECT_EQ(p->GetErrorOffset(), n);
      } else {
        EXPECT_FALSE(ok);
        EXPECT_EQ(p->GetErrorCode(), d.code);
        EXPECT_EQ(p->GetErrorOffset(), d.offset);
        // The partial tree stays under the root.
        EXPECT_GE(p->GetRoot()->GetChildCount(), 1u);
      }
    }
  }
}

// --- Traversal entries ---

TEST(BadInput, TraversalWithoutNodeVisitorPathOrUsableCodePage) {
  ScratchDir dir;
  ModuleScope m;
  RefPtr<KelmoTraversal> t = m->CreateTraversal();
  RefPtr<Kelmo> node = m->CreateNodeW(W(u"a"), kWhole);
  node->SetStringW(W(u"v\u00e9"), kWhole);
  const RefPtr<Kelmo> none;

  // Traverse: nothing to walk, or nobody to call.
  int visits = 0;
  auto count = [](RefPtr<Kelmo>&, void* c) { return ++*static_cast<int*>(c) > 0; };
  g_badInputs += 2;
  t->Traverse(none, count, &visits);
  EXPECT_EQ(visits, 0);
  t->Traverse(node, nullptr, &visits);
  t->Traverse(node, count, &visits);
  EXPECT_EQ(visits, 1);

  // Text output without a node, or in a code page nobody knows.
  FilledHolder kept(m);
  unsigned length = 99;
  g_badInputs += 6;
  const kelmo::WChar* wide = t->ToXmlW(none, &length, nullptr, nullptr, kept.holder);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(wide[0], 0);
  kept.ExpectUntouched();
  for (unsigned codePage : {kNoSuchCodePage, kHugeCodePage, 99999u}) {
    length = 99;
    const char* narrow = t->ToXmlA(node, &length, " ", "\n", codePage, kept.holder);
    EXPECT_EQ(length, 0u);
    EXPECT_STREQ(narrow, "");
    kept.ExpectUntouched();
  }
  length = 99;
  EXPECT_STREQ(t->ToXmlA(none, &length, nullptr, nullptr, kUtf8, kept.holder), "");
  EXPECT_EQ(length, 0u);
  kept.ExpectUntouched();
  // No length wanted, no layout strings: still the text.
  RefPtr<XInRes> holder;
  g_badInputs += 2;
  EXPECT_EQ(Text(t->ToXmlW(node, nullptr, nullptr, nullptr, holder), 9), u"<a>v\u00e9</a>");
  EXPECT_STREQ(t->ToXmlA(node, nullptr, nullptr, nullptr, kUtf8, holder), "<a>v\xC3\xA9</a>");
  // Invalid UTF-8 in the layout strings decodes to U+FFFD, which is not
  // white space: no text, rather than one that reads back differently.
  RefPtr<Kelmo> parent = m->CreateNodeW(W(u"p"), kWhole);
  parent->AppendChild(node);
  ++g_badInputs;
  length = 1;
  const char* laidOut = t->ToXmlA(parent, &length, "\xFF", "\xC3", kUtf8, holder);
  EXPECT_EQ(length, 0u);
  EXPECT_STREQ(laidOut, "");

  // Saving: every refusal leaves an existing file byte for byte.
  const std::string old = "old content\n";
  const auto target = dir.File("target.xml");
  const std::string targetA = target.string();
  const std::u16string targetW = U16(targetA.c_str());
  WriteBytes(target, old);
  const std::u16string loneW = U16(dir.File("lone").string().c_str()) + kLoneHigh;
  const std::vector<std::pair<const char*, std::function<bool()>>> refusals = {
      {"SaveFileW without node",
       [&] { return t->SaveFileW(none, W(targetW), nullptr, nullptr, nullptr); }},
      {"SaveFileA without node",
       [&] { return t->SaveFileA(none, targetA.c_str(), nullptr, nullptr, nullptr, kUtf8); }},
      {"SaveFileW with null path",
       [&] { return t->SaveFileW(node, nullptr, nullptr, nullptr, nullptr); }},
      {"SaveFileA with null path",
       [&] { return t->SaveFileA(node, nullptr, nullptr, nullptr, nullptr, kUtf8); }},
      {"SaveFileA with empty path",
       [&] { return t->SaveFileA(node, "", nullptr, nullptr, nullptr, kUtf8); }},
      {"SaveFileW with empty path",
       [&] { return t->SaveFileW(node, W(u""), nullptr, nullptr, nullptr); }},
      {"SaveFileW with a lone surrogate in the path",
       [&] { return t->SaveFileW(node, W(loneW), nullptr, nullptr, nullptr); }},
      {"SaveFileA into a missing directory",
       [&] {
         return t->SaveFileA(node, dir.File("no/such/x.xml").string().c_str(), nullptr, nullptr,
                             nullptr, kUtf8);
       }},
      {"SaveFileW onto a directory",
       [&] {
         return t->SaveFileW(node, W(U16(dir.path().string().c_str())), nullptr, nullptr,
                             nullptr);
       }},
  };
  for (const auto& refusal : refusals) {
    SCOPED_TRACE(refusal.first);
    ++g_badInputs;
    EXPECT_FALSE(refusal.second());
    EXPECT_EQ(ReadBytes(target), old);
  }
  // Nothing but the target is in the directory: no stray or partial file.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);

  // Encoding names nobody knows cannot be written honestly: the save fails
  // and the old file stays as it was.
  const std::string longName(300, 'q');
  const std::string before = ReadBytes(target);
  for (const char* encoding : {"klingon", "UTF-9", longName.c_str(), "\xFF\xFE"}) {
    SCOPED_TRACE(std::string(encoding).substr(0, 20));
    ++g_badInputs;
    EXPECT_FALSE(t->SaveFileA(node, targetA.c_str(), nullptr, nullptr, encoding, 28591));
    EXPECT_EQ(ReadBytes(target), before);
  }
  // Narrow layout and encoding arguments that the code page cannot convert
  // become empty: the default encoding, no indentation.
  ++g_badInputs;
  ASSERT_TRUE(t->SaveFileA(parent, targetA.c_str(), "  ", "\n", "utf-16", kNoSuchCodePage));
  EXPECT_EQ(ReadBytes(target).compare(0, 3, "\xEF\xBB\xBF"), 0);
  EXPECT_NE(ReadBytes(target).find("encoding=\"utf-8\"?><p>"), std::string::npos);
}

// --- Byte arguments ---

TEST(BadInput, BinaryArgumentsFollowTheLengthRules) {
  ModuleScope m;
  static const unsigned char bytes[] = {'a', 'b', 0, 'c', 0};
  const struct {
    const char* label;
    const unsigned char* data;
    unsigned length;
    std::string expected;
  } cases[] = {
      {"null, length 0", nullptr, 0, ""},
      {"null, length 5", nullptr, 5, ""},
      {"null, whole", nullptr, kWhole, ""},
      {"length 0", bytes, 0, ""},
      {"whole stops at the first zero byte", bytes, kWhole, "ab"},
      {"explicit length keeps zero bytes", bytes, 4, std::string("ab\0c", 4)},
      {"empty, whole", bytes + 2, kWhole, ""},
  };
  RefPtr<Kelmo> node = m->CreateNodeW(W(u"b"), kWhole);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ++g_badInputs;
    node->SetBinary(reinterpret_cast<const unsigned char*>("previous"), 8);
    node->SetBinary(c.data, c.length);
    EXPECT_EQ(node->GetType(), int(kelmo::ValueType::Binary));
    const unsigned char* data = nullptr;
    unsigned length = 99;
    RefPtr<XInRes> holder;
    ASSERT_TRUE(node->GetBinary(data, length, holder));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), length), c.expected);
    EXPECT_EQ(holder, nullptr);
    // As text: base64, empty for no bytes.
    const kelmo::WChar* text = nullptr;
    ASSERT_TRUE(node->GetStringW(text, length, holder));
    EXPECT_EQ(length == 0, c.expected.empty());
  }
  EXPECT_EQ(std::memcmp(bytes, "ab\0c", 5), 0);
}

// --- Very large inputs ---

TEST(BadInput, HundredMegabyteValue) {
  ScratchDir dir;
  ModuleScope m;
  constexpr unsigned kUnits = 50u * 1024 * 1024;  // 100 MB of UTF-16
  std::u16string value(kUnits, u'x');
  value[0] = u'<';  // escaped on output
  value[kUnits - 1] = u'\u00e9';
  RefPtr<Kelmo> node = m->CreateNodeW(W(u"big"), kWhole);
  node->SetStringW(W(value), kUnits);
  g_badInputs += 3;
  {
    const kelmo::WChar* text = nullptr;
    unsigned length = 0;
    RefPtr<XInRes> holder;
    ASSERT_TRUE(node->GetStringW(text, length, holder));
    EXPECT_EQ(length, kUnits);
    EXPECT_EQ(text[kUnits], 0);
  }
  // Saved, read back and compared.
  RefPtr<KelmoTraversal> t = m->CreateTraversal();
  const std::string path = dir.File("big.xml").string();
  ASSERT_TRUE(t->SaveFileA(node, path.c_str(), nullptr, nullptr, nullptr, kUtf8));
  node = nullptr;
  RefPtr<KelmoParser> p = m->CreateParser();
  ASSERT_TRUE(p->ParseFileA(path.c_str())) << p->GetErrorCode();
  RefPtr<Kelmo> back = p->DetachRoot()->GetFirstChild();
  p = nullptr;
  EXPECT_TRUE(StringOf(back) == value);
}

TEST(BadInput, MillionAttributesOnOneElement) {
  ModuleScope m;
  constexpr unsigned kCount = 1000000;
  std::u16string xml = u"<e";
  xml.reserve(kCount * 12);
  for (unsigned i = 0; i < kCount; ++i) {
    xml += u" a";
    const std::string digits = std::to_string(i % 1000);
    xml.append(digits.begin(), digits.end());
    xml += u"=\"";
    xml.push_back(static_cast<char16_t>(u'0' + (i / 1000) % 10));
    xml += u"\"";
  }
  xml += u"/>";
  g_badInputs += 3;
  RefPtr<KelmoParser> p = m->CreateParser();
  ASSERT_TRUE(p->ParseStringW(W(xml), static_cast<unsigned>(xml.size())));
  RefPtr<Kelmo> e = p->DetachRoot()->GetFirstChild();
  p = nullptr;
  ASSERT_EQ(e->GetChildCount(), kCount);
  EXPECT_EQ(e->GetLastChild()->GetKind(), int(kelmo::NodeKind::Attribute));
  EXPECT_EQ(StringOf(e->GetLastChild()), u"9");
  // Duplicate names are kept; lookups find the n-th of a thousand.
  e->BuildNameIndex();
  EXPECT_EQ(StringOf(e->FindChildW(W(u"a7"), kWhole, 0)), u"0");
  EXPECT_EQ(StringOf(e->FindChildW(W(u"a7"), kWhole, 123)), u"3");
  EXPECT_EQ(StringOf(e->FindChildW(W(u"a7"), kWhole, 999)), u"9");
  EXPECT_EQ(StringOf(e->FindLastChildW(W(u"a7"), kWhole, 1)), u"8");
  EXPECT_EQ(e->FindChildW(W(u"a7"), kWhole, 1000), nullptr);

  RefPtr<KelmoTraversal> t = m->CreateTraversal();
  RefPtr<XInRes> holder;
  unsigned length = 0;
  const kelmo::WChar* text = t->ToXmlW(e, &length, nullptr, nullptr, holder);
  EXPECT_EQ(length, xml.size());
  EXPECT_TRUE(Text(text, length) == xml);
  RefPtr<Kelmo> copy = e->Clone();
  EXPECT_EQ(copy->GetChildCount(), kCount);
  e->RemoveAllChildren();
  EXPECT_EQ(e->GetChildCount(), 0u);
  EXPECT_EQ(copy->GetChildCount(), kCount);
}

TEST(BadInput, MillionLevelsThroughBytesCloneAndLookups) {
  ModuleScope m;
  constexpr size_t kDepth = 1000000;
  std::string xml;
  xml.reserve(kDepth * 9);
  for (size_t i = 0; i < kDepth; ++i) xml += "<d a=\"1\">";  // left open
  g_badInputs += 2;
  RefPtr<KelmoParser> p = m->CreateParser();
  ASSERT_FALSE(p->ParseBuffer(reinterpret_cast<const unsigned char*>(xml.data()),
                              static_cast<unsigned>(xml.size())));
  EXPECT_EQ(p->GetErrorCode(), 13u);  // left open: cut short, the tree stays
  RefPtr<Kelmo> top = p->DetachRoot()->GetFirstChild();
  p = nullptr;
  RefPtr<Kelmo> copy = top->Clone();
  // Down the copy by lookups; each level holds its attribute, then the next.
  RefPtr<Kelmo> node = copy;
  size_t depth = 1;
  while (RefPtr<Kelmo> next = node->FindLastChildW(W(u"d"), kWhole, 0)) {
    node = next;
    ++depth;
  }
  EXPECT_EQ(depth, kDepth);
  EXPECT_EQ(StringOf(node->FindChildW(W(u"a"), kWhole, 0)), u"1");
  // Parent links hold no reference: dropping the copy's top frees the whole
  // chain above the bottom node, which the caller still holds.
  copy = nullptr;
  EXPECT_EQ(node->GetParent(), nullptr);
  EXPECT_EQ(node->GetChildCount(), 1u);
  top = nullptr;
}

}  // namespace
