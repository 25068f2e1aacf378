// Bad input to the node interface, as a host hands it in: null pointers
// where the interface allows them, the lengths 0 and 0xFFFFFFFF, code pages
// nobody knows, invalid UTF-8 and lone surrogates, getters with no answer,
// tree operations on missing or foreign nodes, and byte arguments. Each case
// checks the result the library promises and that the caller's data (out
// values, result holders) stays as it was.
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
#include "host/bad_input.h"
#include "support/host_library.h"
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
using namespace kelmo_test::bad_input;

namespace {

// Says at the end of a run how many bad inputs the tables tried.
class BadInputCount : public ::testing::Environment {
 public:
  void TearDown() override {
    if (g_badInputs) std::printf("[ bad input ] %u bad inputs tried\n", g_badInputs);
  }
};
[[maybe_unused]] const auto* const kRegisterCount = ::testing::AddGlobalTestEnvironment(new BadInputCount);

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

  // A name is taken exactly or not at all: text the converter would have to
  // replace leaves the name as a failed conversion does.
  const bool nameRefused = c.outcome != NarrowCase::kConverts;

  // Factory: a failed conversion gives an unnamed node, never a failure.
  RefPtr<Kelmo> created = m->CreateNodeA(c.text, c.length, c.codePage);
  ASSERT_NE(created, nullptr);
  if (nameRefused)
    EXPECT_EQ(NameOf(created), u"");
  else
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
  if (nameRefused) {
    EXPECT_EQ(newName, u"old");
  } else {
    ExpectNarrowResult(c, newName);
  }
  EXPECT_EQ(owner->GetChildCount(), 3u);
  EXPECT_EQ(renamed->GetPrevSibling(), before);
  EXPECT_EQ(renamed->GetNextSibling(), after);
  if (!nameRefused) {
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

}  // namespace
