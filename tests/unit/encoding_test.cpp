// Encoding names, byte-order marks, sniffing and the conversions between
// bytes and wide text.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "../support/system_code_pages.h"
#include "encoding/encoding.h"
#include "os/code_page.h"
#include "text/code_page_names.h"

namespace kelmo {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes FromString(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::u16string WideOf(const WChar* text, uint32_t units) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), units);
}

const WChar* AsW(const std::u16string& s) { return reinterpret_cast<const WChar*>(s.c_str()); }
const WChar* AsW(const char16_t* s) { return reinterpret_cast<const WChar*>(s); }

TEST(EncodingTable, EveryOwnNameLooksUpItsCodePageInOrder) {
  const struct {
    const char* name;
    uint32_t codePage;
  } rows[] = {
      {"", 65001},          {"utf-8", 65001},   {"utf8", 65001},       {"utf-16le", 1200},
      {"utf16le", 1200},    {"utf-16", 1200},   {"utf16", 1200},       {"unicode", 1200},
      {"utf-16be", 1201},   {"utf16be", 1201},  {"unicodefffe", 1201}, {"gb2312", 936},
      {"gbk", 936},         {"x-cp20936", 20936}, {"hz-gb-2312", 52936}, {"gb18030", 54936},
      {"big5", 950},        {"shift_jis", 932}, {"ks_c_5601-1987", 949}, {"us-ascii", 20127},
  };
  std::vector<std::string> listed{""};
  for (size_t row = 0; row < text::kCodePageNameRows; ++row) {
    text::ForEachName(text::kCodePageNames[row].own, [&](std::string_view name) {
      listed.emplace_back(name);
      EXPECT_EQ(LookupCodePage(listed.back().c_str()), text::kCodePageNames[row].codePage) << name;
    });
  }
  ASSERT_EQ(listed.size(), std::size(rows));
  for (size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(rows[i].name);
    EXPECT_EQ(listed[i], rows[i].name);
    EXPECT_EQ(LookupCodePage(rows[i].name), rows[i].codePage);
  }
}

// Every name of the table stands for its own row's code page and no other:
// a name given twice would shadow one of its rows.
TEST(EncodingTable, EveryNameFindsItsRowOnly) {
  std::set<std::string> seen;
  for (size_t row = 0; row < text::kCodePageNameRows; ++row) {
    const text::CodePageNames& names = text::kCodePageNames[row];
    EXPECT_EQ(text::FindCodePageNames(names.codePage), &names) << names.codePage;
    for (const char* list : {names.own, names.aliases}) {
      text::ForEachName(list, [&](std::string_view name) {
        const std::string text(name);
        EXPECT_TRUE(seen.insert(text).second) << text;
        EXPECT_FALSE(text.empty()) << names.codePage;
        if (list == names.aliases && !os::IsCodePageSupported(names.codePage)) return;
        Encoding encoding;
        EXPECT_TRUE(FindEncoding(text.c_str(), encoding)) << text;
        EXPECT_EQ(encoding.codePage, names.codePage) << text;
      });
    }
  }
}

TEST(EncodingTable, LookupIsExactAndUnknownNamesGiveZero) {
  EXPECT_EQ(LookupCodePage("UTF-8"), 0u);  // callers lower-case first
  EXPECT_EQ(LookupCodePage("utf-8 "), 0u);
  EXPECT_EQ(LookupCodePage("latin1"), 0u);
  EXPECT_EQ(LookupCodePage("utf"), 0u);
  EXPECT_EQ(LookupCodePage(nullptr), 65001u);
}

TEST(EncodingTable, ByteOrderMarks) {
  const unsigned char* bom = nullptr;
  ASSERT_EQ(ByteOrderMark(65001, &bom), 3u);
  EXPECT_EQ(0, std::memcmp(bom, "\xEF\xBB\xBF", 3));
  ASSERT_EQ(ByteOrderMark(1200, &bom), 2u);
  EXPECT_EQ(0, std::memcmp(bom, "\xFF\xFE", 2));
  ASSERT_EQ(ByteOrderMark(1201, &bom), 2u);
  EXPECT_EQ(0, std::memcmp(bom, "\xFE\xFF", 2));
  for (uint32_t cp : {0u, 936u, 950u, 932u, 20127u, 52936u}) {
    EXPECT_EQ(ByteOrderMark(cp, &bom), 0u) << cp;
    EXPECT_EQ(bom, nullptr) << cp;
  }
  EXPECT_EQ(ByteOrderMark(1200, nullptr), 2u);
}

struct DetectCase {
  const char* label;
  Bytes bytes;
  bool result;
  const char* name;  // checked when the result is true
  uint32_t bom;
};

class DetectEncodingTest : public ::testing::TestWithParam<DetectCase> {};

TEST_P(DetectEncodingTest, Outcome) {
  const DetectCase& c = GetParam();
  char name[kEncodingNameSize];
  std::memset(name, 'x', sizeof name);
  uint32_t bom = 99;
  const bool result = DetectEncoding(c.bytes.data(), uint32_t(c.bytes.size()), name, &bom);
  ASSERT_EQ(result, c.result);
  if (!result) return;
  EXPECT_STREQ(name, c.name);
  EXPECT_EQ(bom, c.bom);
  // The field is zero-padded to its end.
  for (size_t i = std::strlen(name); i < sizeof name; ++i) EXPECT_EQ(name[i], 0) << i;
}

const std::string kLongName(40, 'a');

INSTANTIATE_TEST_SUITE_P(
    Sniffing, DetectEncodingTest,
    ::testing::Values(
        DetectCase{"three bytes", FromString("<a>"), false, "", 0},
        DetectCase{"empty element, no declaration", FromString("<a/>"), true, "", 0},
        DetectCase{"utf-16le without mark", Bytes{0x3C, 0, 'a', 0}, true, "utf-16le", 0},
        DetectCase{"utf-16be without mark", Bytes{0, 0x3C, 0, 'a'}, true, "utf-16be", 0},
        DetectCase{"utf-16le mark", Bytes{0xFF, 0xFE, 0x3C, 0}, true, "utf-16le", 2},
        DetectCase{"utf-16be mark", Bytes{0xFE, 0xFF, 0, 0x3C}, true, "utf-16be", 2},
        DetectCase{"utf-8 mark and <", Bytes{0xEF, 0xBB, 0xBF, 0x3C}, true, "utf-8", 3},
        DetectCase{"utf-8 mark and line feed", Bytes{0xEF, 0xBB, 0xBF, 0x0A, 0x3C, 'a', '/', '>'},
                   true, "", 0},
        DetectCase{"gb2312", FromString("<?xml version=\"1.0\" encoding=\"GB2312\"?><a/>"), true,
                   "gb2312", 0},
        DetectCase{"single quotes", FromString("<?xml version='1.0' encoding='Big5'?><a/>"), true,
                   "big5", 0},
        DetectCase{"mixed quotes", FromString("<?xml version=\"1.0\" encoding=\"gbk'?><a/>"), true,
                   "gbk", 0},
        DetectCase{"spaces and tabs around tokens",
                   FromString(" \t<?xml\tversion = \"1.0\"\t encoding =\t'Shift_JIS' ?><a/>"), true,
                   "shift_jis", 0},
        DetectCase{"unknown name kept", FromString("<?xml version=\"1.0\" encoding=\"latin_9\"?>"),
                   true, "latin_9", 0},
        DetectCase{"version 1.1", FromString("<?xml version=\"1.1\" encoding=\"gbk\"?><a/>"), true,
                   "gbk", 0},
        DetectCase{"version 1.10 in single quotes",
                   FromString("<?xml version='1.10' encoding='gbk'?><a/>"), true, "gbk", 0},
        DetectCase{"version 2.0", FromString("<?xml version=\"2.0\" encoding=\"gbk\"?><a/>"), true,
                   "", 0},
        DetectCase{"version without digits", FromString("<?xml version=\"1.\" encoding=\"gbk\"?>"),
                   true, "", 0},
        DetectCase{"line break after <?xml", FromString("<?xml\nversion=\"1.0\" encoding=\"gbk\"?>"),
                   true, "gbk", 0},
        DetectCase{"no space after <?xml", FromString("<?xmlversion=\"1.0\" encoding=\"gbk\"?>"),
                   true, "", 0},
        DetectCase{"line breaks and tabs between attributes",
                   FromString("<?xml version=\"1.0\"\r\n\tencoding\n=\r\n\"gbk\"?><a/>"), true, "gbk", 0},
        DetectCase{"dot in the name", FromString("<?xml version=\"1.0\" encoding=\"ANSI_X3.4-1968\"?>"),
                   true, "ansi_x3.4-1968", 0},
        DetectCase{"cut inside the version digits", FromString("<?xml version=\"1.1"), false, "", 0},
        DetectCase{"encoding before version", FromString("<?xml encoding=\"gbk\"?><a/>"), true, "",
                   0},
        DetectCase{"standalone instead of encoding",
                   FromString("<?xml version=\"1.0\" standalone=\"yes\"?><a/>"), true, "", 0},
        DetectCase{"unquoted encoding", FromString("<?xml version=\"1.0\" encoding=gbk?><a/>"),
                   true, "", 0},
        DetectCase{"space inside the value",
                   FromString("<?xml version=\"1.0\" encoding=\"gb 2312\"?><a/>"), true, "", 0},
        DetectCase{"empty value", FromString("<?xml version=\"1.0\" encoding=\"\"?><a/>"), true, "",
                   0},
        DetectCase{"cut inside <?xml", FromString("<?xm"), false, "", 0},
        DetectCase{"cut right after <?xml", FromString("<?xml"), false, "", 0},
        DetectCase{"cut inside version", FromString("<?xml version=\"1."), false, "", 0},
        DetectCase{"cut after version value", FromString("<?xml version='1.0'"), false, "", 0},
        DetectCase{"cut after encoding=", FromString("<?xml version=\"1.0\" encoding="), false, "",
                   0},
        DetectCase{"cut after the opening quote",
                   FromString("<?xml version=\"1.0\" encoding=\""), false, "", 0},
        DetectCase{"cut inside the value", FromString("<?xml version=\"1.0\" encoding=\"gb23"),
                   false, "", 0},
        DetectCase{"cut in trailing spaces", FromString("<?xml version=\"1.0\"   "), false, "", 0},
        DetectCase{"long name cut to 31",
                   FromString("<?xml version=\"1.0\" encoding=\"" + kLongName + "\"?>"), true,
                   "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", 0}),
    [](const ::testing::TestParamInfo<DetectCase>& info) {
      std::string name;
      for (const char* p = info.param.label; *p; ++p)
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
      return name;
    });

TEST(DetectEncoding, RefusesMissingArguments) {
  const Bytes doc = FromString("<a/>");
  char name[kEncodingNameSize] = {};
  EXPECT_FALSE(DetectEncoding(nullptr, 16, name, nullptr));
  EXPECT_FALSE(DetectEncoding(doc.data(), uint32_t(doc.size()), nullptr, nullptr));
  // The mark length is optional.
  const Bytes marked{0xFF, 0xFE, 0x3C, 0};
  EXPECT_TRUE(DetectEncoding(marked.data(), uint32_t(marked.size()), name, nullptr));
  EXPECT_STREQ(name, "utf-16le");
}

TEST(DetectEncoding, LongNameIsNotFoundAfterCutting) {
  const Bytes doc = FromString("<?xml version=\"1.0\" encoding=\"utf-8" + kLongName + "\"?>");
  char name[kEncodingNameSize];
  ASSERT_TRUE(DetectEncoding(doc.data(), uint32_t(doc.size()), name, nullptr));
  EXPECT_EQ(std::strlen(name), 31u);
  EXPECT_EQ(LookupCodePage(name), 0u);
}

TEST(TextDecoder, Utf16LittleEndianIsReadInPlaceWhenAligned) {
  alignas(2) const unsigned char bytes[] = {'<', 0, 0x2D, 0x4E, '>', 0, 0x7F};
  TextDecoder decoder;
  decoder.codePage = 1200;
  const WChar* text = nullptr;
  uint32_t units = 0;
  ASSERT_TRUE(decoder.Decode(bytes, sizeof bytes, text, units));
  EXPECT_EQ(static_cast<const void*>(text), static_cast<const void*>(bytes));
  EXPECT_EQ(units, 3u);  // the odd trailing byte is the end of the input
  EXPECT_EQ(WideOf(text, units), u"<\u4E2D>");
}

TEST(TextDecoder, Utf16LittleEndianAtAnOddAddressIsCopied) {
  alignas(2) unsigned char storage[16] = {};
  unsigned char* bytes = storage + 1;
  const unsigned char doc[] = {'<', 0, 0x2D, 0x4E, '>', 0};
  std::memcpy(bytes, doc, sizeof doc);
  TextDecoder decoder;
  decoder.codePage = 1200;
  const WChar* text = nullptr;
  uint32_t units = 0;
  ASSERT_TRUE(decoder.Decode(bytes, sizeof doc, text, units));
  EXPECT_NE(static_cast<const void*>(text), static_cast<const void*>(bytes));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(text) % alignof(WChar), 0u);
  EXPECT_EQ(WideOf(text, units), u"<\u4E2D>");
}

TEST(TextDecoder, Utf16BigEndianIsSwappedIntoACopy) {
  const unsigned char bytes[] = {0, '<', 0x4E, 0x2D, 0xD8, 0x3D, 0xDE, 0x00, 0, '>'};
  TextDecoder decoder;
  decoder.codePage = 1201;
  const WChar* text = nullptr;
  uint32_t units = 0;
  ASSERT_TRUE(decoder.Decode(bytes, sizeof bytes, text, units));
  EXPECT_NE(static_cast<const void*>(text), static_cast<const void*>(bytes));
  EXPECT_EQ(WideOf(text, units), u"<\u4E2D\U0001F600>");
}

// UTF-16 as bytes has one behaviour wherever it is converted: every unit,
// unpaired surrogates and reversed pairs included, comes back as it was.
TEST(Utf16Bytes, EveryUnitComesBackInBothByteOrders) {
  const std::u16string texts[] = {
      u"<a>\U0001F600</a>",
      std::u16string(u"a") + char16_t(0xD800) + u"b",
      std::u16string(1, char16_t(0xDC00)),
      std::u16string{char16_t(0xDE00), char16_t(0xD83D)},
      std::u16string(u"x") + char16_t(0xD83D),
  };
  for (uint32_t codePage : {1200u, 1201u}) {
    for (const std::u16string& original : texts) {
      SCOPED_TRACE(::testing::Message() << "code page " << codePage << ", " << original.size() << " units");
      Bytes expected;
      for (char16_t unit : original) {
        const unsigned char low = unit & 0xFF, high = unit >> 8;
        expected.insert(expected.end(), {codePage == 1200 ? low : high, codePage == 1200 ? high : low});
      }
      TextEncoder encoder;
      encoder.codePage = codePage;
      const unsigned char* bytes = nullptr;
      uint64_t size = 0;
      ASSERT_TRUE(encoder.Encode(AsW(original), uint32_t(original.size()), bytes, size));
      EXPECT_EQ(Bytes(bytes, bytes + size), expected);

      char narrow[64];
      const int written = os::WideToMultiByte(codePage, AsW(original), int(original.size()), narrow,
                                                    int(sizeof narrow));
      EXPECT_EQ(Bytes(narrow, narrow + (written > 0 ? written : 0)), expected);

      // Decoded from an odd address too, where the text cannot be read in place.
      Bytes shifted(1, 0);
      shifted.insert(shifted.end(), expected.begin(), expected.end());
      for (const unsigned char* start : {expected.data(), shifted.data() + 1}) {
        TextDecoder decoder;
        decoder.codePage = codePage;
        const WChar* text = nullptr;
        uint32_t units = 0;
        ASSERT_TRUE(decoder.Decode(start, uint32_t(expected.size()), text, units));
        EXPECT_EQ(WideOf(text, units), original);
      }
      WChar wide[64];
      const int units = os::MultiByteToWide(codePage, reinterpret_cast<const char*>(expected.data()),
                                                  int(expected.size()), wide, 64);
      EXPECT_EQ(WideOf(wide, uint32_t(units > 0 ? units : 0)), original);

      // A trailing odd byte: the converter marks it, a document ends before it.
      expected.push_back('x');
      const int marked = os::MultiByteToWide(codePage, reinterpret_cast<const char*>(expected.data()),
                                                   int(expected.size()), wide, 64);
      EXPECT_EQ(WideOf(wide, uint32_t(marked > 0 ? marked : 0)), original + u"\uFFFD");
      TextDecoder decoder;
      decoder.codePage = codePage;
      const WChar* text = nullptr;
      uint32_t documentUnits = 0;
      ASSERT_TRUE(decoder.Decode(expected.data(), uint32_t(expected.size()), text, documentUnits));
      EXPECT_EQ(WideOf(text, documentUnits), original);
    }
  }
}

TEST(TextDecoder, ConverterCodePages) {
  const struct {
    uint32_t codePage;
    Bytes bytes;
    std::u16string wide;
  } cases[] = {
      {65001, Bytes{'<', 0xE4, 0xB8, 0xAD, '>'}, u"<\u4E2D>"},
      {0, Bytes{0xE6, 0x96, 0x87}, u"\u6587"},  // the default is UTF-8 here (not on Windows)
      {936, Bytes{0xD6, 0xD0, 0xCE, 0xC4}, u"\u4E2D\u6587"},
      {950, Bytes{0xA4, 0xA4, 0xA4, 0xE5}, u"\u4E2D\u6587"},
      {932, Bytes{0x93, 0xFA, 0x96, 0x7B}, u"\u65E5\u672C"},
      {52936, FromString("~{VPND~}"), u"\u4E2D\u6587"},
      {20127, FromString("<a/>"), u"<a/>"},
  };
  std::string skipped;
  size_t decoded = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.codePage);
    const std::string missing = c.codePage == 0 && kelmo_test::IsWindows()
                                    ? std::string("code page 0 is the ANSI code page on Windows")
                                    : kelmo_test::MissingCodePage(c.codePage);
    if (!missing.empty()) {
      skipped += (skipped.empty() ? "" : "; ") + missing;
      continue;
    }
    TextDecoder decoder;
    decoder.codePage = c.codePage;
    const WChar* text = nullptr;
    uint32_t units = 0;
    ASSERT_TRUE(decoder.Decode(c.bytes.data(), uint32_t(c.bytes.size()), text, units));
    EXPECT_EQ(WideOf(text, units), c.wide);
    ++decoded;
  }
  KELMO_REPORT_UNCHECKED_ROWS(decoded, skipped);
}

TEST(TextDecoder, FailuresLeaveNullOutputs) {
  const Bytes doc = FromString("<a/>");
  for (uint32_t cp : {65001u, 936u, 12345u}) {
    SCOPED_TRACE(cp);
    TextDecoder decoder;
    decoder.codePage = cp;
    const WChar* text = AsW(u"x");
    uint32_t units = 7;
    // Nothing to convert fails for every converter code page.
    EXPECT_FALSE(decoder.Decode(doc.data(), 0, text, units));
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(units, 0u);
  }
  TextDecoder unknown;
  unknown.codePage = 12345;
  const WChar* text = nullptr;
  uint32_t units = 0;
  EXPECT_FALSE(unknown.Decode(doc.data(), uint32_t(doc.size()), text, units));
}

TEST(TextDecoder, DecodingAgainReplacesTheCopy) {
  TextDecoder decoder;
  decoder.codePage = 65001;
  const Bytes first = FromString("<first/>");
  const Bytes second = FromString("<b/>");
  const WChar* text = nullptr;
  uint32_t units = 0;
  ASSERT_TRUE(decoder.Decode(first.data(), uint32_t(first.size()), text, units));
  ASSERT_TRUE(decoder.Decode(second.data(), uint32_t(second.size()), text, units));
  EXPECT_EQ(WideOf(text, units), u"<b/>");
}

TEST(TextEncoder, Utf16LittleEndianPassesTheTextThrough) {
  const std::u16string text = u"<\u4E2D>";
  TextEncoder encoder;
  encoder.codePage = 1200;
  const unsigned char* bytes = nullptr;
  uint64_t size = 0;
  ASSERT_TRUE(encoder.Encode(AsW(text), uint32_t(text.size()), bytes, size));
  EXPECT_EQ(static_cast<const void*>(bytes), static_cast<const void*>(text.data()));
  EXPECT_EQ(size, 6u);
}

TEST(TextEncoder, Conversions) {
  const std::u16string text = u"<\u4E2D\u6587>";
  const struct {
    uint32_t codePage;
    Bytes bytes;
  } cases[] = {
      {1201, Bytes{0, '<', 0x4E, 0x2D, 0x65, 0x87, 0, '>'}},
      {65001, Bytes{'<', 0xE4, 0xB8, 0xAD, 0xE6, 0x96, 0x87, '>'}},
      {936, Bytes{'<', 0xD6, 0xD0, 0xCE, 0xC4, '>'}},
      {950, Bytes{'<', 0xA4, 0xA4, 0xA4, 0xE5, '>'}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.codePage);
    TextEncoder encoder;
    encoder.codePage = c.codePage;
    const unsigned char* bytes = nullptr;
    uint64_t size = 0;
    ASSERT_TRUE(encoder.Encode(AsW(text), uint32_t(text.size()), bytes, size));
    EXPECT_EQ(Bytes(bytes, bytes + size), c.bytes);
  }
}

TEST(TextEncoder, EmptyTextFailsOnlyForConverterCodePages) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>("x");
  uint64_t size = 5;
  TextEncoder utf8;
  utf8.codePage = 65001;
  EXPECT_FALSE(utf8.Encode(AsW(u""), 0, bytes, size));
  EXPECT_EQ(bytes, nullptr);
  EXPECT_EQ(size, 0u);
  for (uint32_t cp : {1200u, 1201u}) {
    TextEncoder encoder;
    encoder.codePage = cp;
    EXPECT_TRUE(encoder.Encode(AsW(u""), 0, bytes, size)) << cp;
    EXPECT_EQ(size, 0u);
  }
  TextEncoder unknown;
  unknown.codePage = 12345;
  EXPECT_FALSE(unknown.Encode(AsW(u"a"), 1, bytes, size));
}

TEST(PrepareOutputEncoding, NameChoosesCodePageAndMark) {
  const std::u16string text = u"<a/>";
  const struct {
    const char16_t* name;
    uint32_t codePage;
    Bytes bom;
  } cases[] = {
      {nullptr, 65001, Bytes{0xEF, 0xBB, 0xBF}},
      {u"", 65001, Bytes{0xEF, 0xBB, 0xBF}},
      {u"UTF-8", 65001, Bytes{0xEF, 0xBB, 0xBF}},
      {u"Unicode", 1200, Bytes{0xFF, 0xFE}},
      {u"UTF-16BE", 1201, Bytes{0xFE, 0xFF}},
      {u"us-ascii", 20127, Bytes{}},
      {u"GBK", 936, Bytes{}},
      // Aliases take the mark of the table's encoding they stand for.
      {u"latin-9", 28605, Bytes{}},
      {u"UCS-2", 1200, Bytes{0xFF, 0xFE}},
      {u"unicode-1-1-utf-8", 65001, Bytes{0xEF, 0xBB, 0xBF}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.codePage);
    TextEncoder encoder;
    const unsigned char* bom = reinterpret_cast<const unsigned char*>("junk");
    uint32_t bomLength = 99;
    const unsigned char* bytes = nullptr;
    uint64_t size = 0;
    ASSERT_TRUE(PrepareOutputEncoding(encoder, AsW(c.name), AsW(text),
                                      uint32_t(text.size()), &bom, &bomLength, bytes, size));
    EXPECT_EQ(encoder.codePage, c.codePage);
    ASSERT_EQ(bomLength, c.bom.size());
    if (bomLength) {
      EXPECT_EQ(Bytes(bom, bom + bomLength), c.bom);
    }
    EXPECT_EQ(size, c.codePage == 1200 || c.codePage == 1201 ? 8u : 4u);
  }
  // Names that no converter knows are refused, never mapped to a default.
  for (const char16_t* unknown : {u"no-such-encoding", u"utf-8aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
                                  u"utf\u0100-8", u"ascii//TRANSLIT"}) {
    TextEncoder encoder;
    const unsigned char* bytes = nullptr;
    uint64_t size = 0;
    EXPECT_FALSE(PrepareOutputEncoding(encoder, AsW(unknown), AsW(text), uint32_t(text.size()),
                                       nullptr, nullptr, bytes, size));
  }
}

// Names outside the table: the usual aliases of its encodings, the IANA
// names of other code pages, any letter case once lowered by the caller.
TEST(FindEncoding, AliasesAndOtherCodePages) {
  const std::pair<const char*, uint32_t> cases[] = {
      {"", 65001},          {"utf-8", 65001},        {"euc-kr", 949},      {"ks_c_5601", 949},
      {"sjis", 932},        {"windows-31j", 932},    {"cp936", 936},       {"csbig5", 950},
      {"ascii", 20127},     {"windows-1251", 1251},  {"cp1250", 1250},     {"windows-1255", 1255},
      {"koi8-r", 20866},    {"iso-8859-1", 28591},   {"latin2", 28592},    {"iso-8859-5", 28595},
      {"iso-8859-7", 28597}, {"ibm866", 866},        {"ibm855", 855},      {"maccyrillic", 10007},
      {"tis-620", 874},     {"ansi_x3.4-1968", 20127},
  };
  for (const auto& [name, codePage] : cases) {
    // A name stands for its code page only where the system can convert it.
    if (!kelmo_test::MissingCodePage(codePage).empty()) continue;
    Encoding encoding;
    ASSERT_TRUE(FindEncoding(name, encoding)) << name;
    EXPECT_EQ(encoding.codePage, codePage) << name;
    EXPECT_STREQ(encoding.charset, "") << name;
  }
  Encoding untouched;
  untouched.codePage = 7;
  for (const char* name : {"no-such-encoding", "windows-1251//translit", "WINDOWS-1251", "utf 8"}) {
    EXPECT_FALSE(FindEncoding(name, untouched)) << name;
    EXPECT_EQ(untouched.codePage, 7u);
  }
}

#if !defined(_WIN32)
// Outside Windows, a name that only the converter knows is used by name.
TEST(FindEncoding, ConverterNamesWithoutCodePage) {
  Encoding encoding;
  ASSERT_TRUE(FindEncoding("iso-8859-10", encoding));
  EXPECT_EQ(encoding.codePage, 0u);
  EXPECT_STREQ(encoding.charset, "iso-8859-10");
  TextEncoder encoder;
  encoder.Use(encoding);
  const std::u16string text = u"\u0138\u0166";  // kra, T with stroke: FF and AB in Latin-6
  const unsigned char* bytes = nullptr;
  uint64_t size = 0;
  ASSERT_TRUE(encoder.Encode(AsW(text), uint32_t(text.size()), bytes, size));
  EXPECT_EQ(Bytes(bytes, bytes + size), (Bytes{0xFF, 0xAB}));
}
#endif

TEST(PrepareOutputEncoding, MarkArgumentsAreOptional) {
  const std::u16string text = u"<a/>";
  TextEncoder encoder;
  const unsigned char* bytes = nullptr;
  uint64_t size = 0;
  ASSERT_TRUE(PrepareOutputEncoding(encoder, AsW(u"utf-16"), AsW(text), uint32_t(text.size()),
                                    nullptr, nullptr, bytes, size));
  EXPECT_EQ(size, 8u);
}

}  // namespace
}  // namespace kelmo

namespace kelmo {
namespace {

// Decoded with this platform's converter (on Windows the system's); false
// when the converter refuses the bytes.
bool DecodeBytes(const Encoding& encoding, const unsigned char* bytes, uint32_t size,
                 std::u16string& text) {
  text.clear();
  if (size == 0) return true;
  const char* in = reinterpret_cast<const char*>(bytes);
  const int needed = DecodeWith(encoding, in, int(size), nullptr, 0);
  if (needed <= 0) return false;
  std::vector<WChar> units(size_t(needed) + 1);
  const int n = DecodeWith(encoding, in, int(size), units.data(), needed);
  if (n <= 0) return false;
  text.assign(reinterpret_cast<const char16_t*>(units.data()), size_t(n));
  return true;
}

// Wherever a piece is asked to end, the two sides decode to what the whole
// decodes to, also amid malformed sequences (stray continuation and lead
// bytes, lead bytes before a line feed or ">").
TEST(DocumentPieces, PiecesDecodeLikeTheWhole) {
  const struct {
    Encoding encoding;
    std::vector<unsigned char> alphabet;  // half ASCII: places to end are common
  } cases[] = {
      {Encoding{kCodePageUtf8, {}},
       {'a', '<', '>', 'b', 'a', '<', '>', 'b', 'a', '<', '>', 'b', 'a', '<', '>', 'b',
        0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC2, 0xDF, 0xE0, 0xE2, 0xED, 0xF0, 0xF4, 0xF5, 0xFF,
        0xE4}},
      {Encoding{936, {}},
       {'a', '<', '>', '\n', 'a', '<', '>', '\n', '@', 'z', 0x81, 0xB0, 0xA1, 0xD6, 0xD0, 0xFE,
        0x80, 0xFF, 0x30, 0x39}},
      // Four-byte characters: lead, digit, lead, digit.
      {Encoding{54936, {}},
       {'a', '<', '>', '\n', '0', '9', '>', '<', 0x81, 0x94, 0xFE, 0x30, 0x39, 0xA8, 0xFF, 0x84}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("code page " + std::to_string(c.encoding.codePage));
    if (!kelmo_test::MissingCodePage(c.encoding.codePage).empty()) continue;
    uint32_t state = 12345;
    int compared = 0;
    for (int round = 0; round < 2000; ++round) {
      std::vector<unsigned char> bytes(32);
      for (unsigned char& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = c.alphabet[(state >> 16) % c.alphabet.size()];
      }
      const uint32_t size = uint32_t(bytes.size());
      std::u16string whole, first, second;
      if (!DecodeBytes(c.encoding, bytes.data(), size, whole)) continue;
      ++compared;
      for (uint32_t wanted = 1; wanted <= size; ++wanted) {
        const uint32_t end = DocumentPieces::PieceEnd(bytes.data(), size, 0, wanted);
        ASSERT_GT(end, 0u);
        ASSERT_LE(end, size);
        ASSERT_TRUE(DecodeBytes(c.encoding, bytes.data(), end, first));
        ASSERT_TRUE(DecodeBytes(c.encoding, bytes.data() + end, size - end, second));
        ASSERT_EQ(first + second, whole)
            << "round " << round << ", piece asked to end at " << wanted << ", ended at " << end;
      }
    }
    EXPECT_GT(compared, 1000);
  }
}

}  // namespace
}  // namespace kelmo
