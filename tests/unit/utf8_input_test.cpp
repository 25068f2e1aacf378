// UTF-8 input is read as bytes, UTF-16 input as units: for the same document
// both must give the same tree, result, error, line, column and offset, the
// positions counted in UTF-16 units either way. Each document is parsed as
// UTF-8 and as UTF-16 through ParseBuffer, and as UTF-8 cut into two feeds
// at every character.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "../../fuzz/parser_diff_check.h"
#include "text/unit_scan.h"
#include "text/utf8_codec.h"

namespace kelmo {
namespace {

// The units DecodeUtf8 makes of the bytes (each ill-formed sequence one
// U+FFFD), without the byte-order mark that the reader would take off.
std::vector<WChar> Decoded(const std::string& bytes) {
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  std::vector<WChar> units(bytes.size() + 1);
  units.resize(size_t(text::DecodeUtf8(in, bytes.size(), units.data(), units.size())));
  if (units.size() > 1 && units[0] == 0xFEFF && units[1] == '<') units.erase(units.begin());
  return units;
}

kelmo_fuzz::ParseReport ParseBytes(const std::string& bytes) {
  RefPtr<KelmoParserImpl> parser(new KelmoParserImpl, adopt_ref);
  const bool ok = parser->ParseBuffer(reinterpret_cast<const unsigned char*>(bytes.data()),
                                      uint32_t(bytes.size()));
  return kelmo_fuzz::ReportOf(parser->Parser(), ok);
}

// The same text as UTF-16LE behind its byte-order mark.
std::string AsUtf16Document(const std::vector<WChar>& units) {
  std::string bytes = "\xFF\xFE";
  for (WChar unit : units) {
    bytes.push_back(static_cast<char>(static_cast<uint16_t>(unit) & 0xFF));
    bytes.push_back(static_cast<char>(static_cast<uint16_t>(unit) >> 8));
  }
  return bytes;
}

const char* const kDocuments[] = {
    "<a>h\xC3\xA9llo w\xC3\xB6rld</a>",
    // Names of two, three and four bytes a character, repeated and closed.
    "<\xC3\xB1" "ame attr\xC2\xB7=\"\xC3\xBC\" b='x'>x</\xC3\xB1" "ame>",
    "<\xE6\x97\xA5\xE6\x9C\xAC \xE5\xB1\x9E=\"\xE5\x80\xA4\">\xE3\x83\x86</\xE6\x97\xA5\xE6\x9C\xAC>",
    "<n\xF0\x9F\x98\x80><n\xF0\x9F\x98\x80\xF0\x9F\x98\x81 k\xF0\x9F\x98\x80=\"1\"/></n\xF0\x9F\x98\x80>",
    // End tags that differ only after a character of several bytes.
    "<\xC3\xA4" "b></\xC3\xA4" "c>",
    "<\xC3\xA4></a>",
    "<a\xC3\xA4></a\xC3\xA5>",
    "<\xF0\x9F\x98\x80></\xF0\x9F\x98\x81>",
    // Four-byte characters before an error count two units of its column.
    "<a>\xF0\x9F\x98\x80\xF0\x9F\x98\x80</b>",
    "<a>\r\n\xC3\xBC\r\xC3\xBC\n\xF0\x9F\x98\x80x</a",
    "<a x=\"\xF0\x9F\x98\x80\xE2\x82\xAC\" y></a>",
    // Errors at a character of several bytes: a pair stops between its halves.
    "<!-\xF0\x9F\x98\x80>",
    "<!-\xE2\x82\xAC>",
    "<a b \xF0\x9F\x98\x80></a>",
    "<a b=\xF0\x9F\x98\x80/>",
    "<a b=\xC3\xA9/>",
    "<a/\xF0\x9F\x98\x80>",
    "<a></a \xE2\x82\xAC>",
    "<?p?\xF0\x9F\x98\x80",
    "<?p \xF0\x9F\x98\x80?><a/>",
    // Ill-formed UTF-8 in text, names and values: replaced when decoded.
    "<a>\xC3(</a>",
    "<a\xFF>x</a\xFF>",
    "<a b=\"\xE2\x82\">x</a>",
    "<a>\xED\xA0\x80\xF4\x90\x80\x80\xC0\xAF</a>",
    "<a b=\"\xF0\x9F\x98\"></b>",
    // References: surrogate halves, a pair split in two, the limits, NUL.
    "<a>&#xD83D;&#xDE00;&#55357;x&amp;&#x10FFFF;&#0;\xC3\xA9</a>",
    "<a b=\"&#xD800;\xC3\xA9&lt;\">t</a>",
    "<a>&#x110000;</a>",
    "<a>&aaaaaaaaaaaaaaaaaaaaaa\xC3\xA9;</a>",
    "<a>&#x\xC3\xA9;</a>",
    "<a>&amp\xF0\x9F\x98\x80<b/></a>",
    "<a>&#xFFFE;\xEF\xBF\xBF\xEF\xBF\xBE</a>",
    // Byte-order mark, declaration, sections, trimming, comments.
    "\xEF\xBB\xBF<a>\xC3\xA9</a>",
    "\xEF\xBB\xBF <a>\xC3\xA9</a>",
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r>\xC3\xBC</r>",
    "<a><![CDATA[\xC3\xBC]]\xF0\x9F\x98\x80]]></a>",
    "<a><![CD\xC3\x84TA[x]]></a>",
    "<a>  \xC3\xBC \t </a>",
    "<a>\t&#32; </a>",
    "<!-- \xC3\xA9 -- -->",
    "<!DOCTYPE \xC3\xA9><a/>",
    "<a>x",
    "\xC3\xA9",
};

std::string Long() {
  std::string text = "<a>";
  for (int i = 0; i < 40; ++i) text += "a\xC3\xA9\xF0\x9F\x98\x80 \r\n\xE2\x82\xAC";
  return text + "</b>";
}

// Several pieces of input (positions carried over from piece to piece), and
// the same with a bad byte in the last piece, after which the whole document
// is read the decoding way.
std::string Large(const std::string& beforeEnd) {
  std::string text = "<a>";
  for (int i = 0; i < 7000; ++i) text += "<b>\xC3\xA9\xF0\x9F\x98\x80</b>\r\n\xE2\x82\xAC";
  return text + beforeEnd + "</c>";
}

TEST(Utf8Input, ReadsAsTheSameTextInUtf16) {
  std::vector<std::string> documents(std::begin(kDocuments), std::end(kDocuments));
  documents.push_back(Long());
  documents.push_back(Large("x"));
  documents.push_back(Large("\xC3("));
  documents.push_back(std::string("<a>x\0y</a>", 10));
  documents.push_back(std::string("<a\0>", 4));
  for (const std::string& document : documents) {
    const std::string diff = kelmo_fuzz::CompareReports(
        ParseBytes(AsUtf16Document(Decoded(document))), ParseBytes(document), "UTF-8");
    EXPECT_EQ(diff, "") << document;
  }
}

// A narrow string in UTF-8 is read as its bytes when it is well-formed:
// the same as the wide string the code page makes of it.
TEST(Utf8Input, NarrowStringsReadAsTheirWideForm) {
  std::vector<std::string> documents(std::begin(kDocuments), std::end(kDocuments));
  documents.push_back(Large("x"));
  documents.push_back(Large("\xC3("));
  for (const std::string& document : documents) {
    RefPtr<KelmoParserImpl> narrow(new KelmoParserImpl, adopt_ref);
    const bool narrowOk =
        narrow->ParseStringA(document.data(), uint32_t(document.size()), kCodePageUtf8);
    WStrBuf wide;
    ASSERT_TRUE(WStrBuf::FromNarrow(wide, document.data(), uint32_t(document.size()), kCodePageUtf8));
    RefPtr<KelmoParserImpl> reference(new KelmoParserImpl, adopt_ref);
    const bool wideOk = reference->ParseStringW(wide.Data(), wide.Length());
    const std::string diff = kelmo_fuzz::CompareReports(kelmo_fuzz::ReportOf(reference->Parser(), wideOk),
                                                        kelmo_fuzz::ReportOf(narrow->Parser(), narrowOk),
                                                        "narrow");
    EXPECT_EQ(diff, "") << document;
  }
}

// Every character boundary as the place where one feed ends and the next
// begins, against the decoded text fed whole.
TEST(Utf8Input, FeedsCutAtEveryCharacterAgree) {
  std::vector<std::string> documents(std::begin(kDocuments), std::end(kDocuments));
  documents.push_back(Long());
  for (const std::string& document : documents) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(document.data());
    if (!text::IsWellFormedUtf8(bytes, document.size()) || document[0] != '<') continue;
    const std::vector<WChar> units = Decoded(document);
    XmlParser whole;
    const bool wholeOk = kelmo_fuzz::FeedInCuts(whole, units.data(), uint32_t(units.size()), {});
    const kelmo_fuzz::ParseReport expected = kelmo_fuzz::ReportOf(whole, wholeOk);
    for (uint32_t cut = 1; cut < document.size(); ++cut) {
      if ((bytes[cut] & 0xC0) == 0x80) continue;
      XmlParser parser;
      const bool ok =
          kelmo_fuzz::FeedInCuts(parser, document.data(), uint32_t(document.size()), {cut});
      const std::string diff = kelmo_fuzz::CompareReports(
          expected, kelmo_fuzz::ReportOf(parser, ok), "cut at " + std::to_string(cut));
      EXPECT_EQ(diff, "") << document;
    }
  }
}

// The count of UTF-16 units, sixteen bytes at a time, is the decoder's count
// for every character length in every place of a block.
TEST(Utf8Input, UnitCountIsTheDecodersCount) {
  for (const char* character : {"\x7F", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"}) {
    for (size_t at = 0; at < 40; ++at) {
      std::string bytes(40, 'x');
      bytes.insert(at, character);
      const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
      EXPECT_EQ(int64_t(text::Utf16UnitsOfUtf8(bytes.data(), bytes.data() + bytes.size())),
                text::DecodeUtf8(in, bytes.size(), nullptr, 0))
          << at;
    }
  }
}

// Well-formed exactly when decoding replaces nothing, that is when the
// decoded text encodes back to the same bytes.
bool RoundTrips(const std::string& bytes) {
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  std::vector<WChar> units(bytes.size() + 1);
  units.resize(size_t(text::DecodeUtf8(in, bytes.size(), units.data(), units.size())));
  std::string back(units.size() * 3 + 1, '\0');
  back.resize(size_t(text::EncodeUtf8(units.data(), units.size(),
                                      reinterpret_cast<unsigned char*>(&back[0]), back.size())));
  return back == bytes;
}

// Also holds the check's unit count to the decoder's where it passes.
bool WellFormed(const std::string& bytes) {
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  const int64_t units = text::WellFormedUtf8Units(in, bytes.size());
  if (units >= 0 && units != text::DecodeUtf8(in, bytes.size(), nullptr, 0)) {
    ADD_FAILURE() << "units " << units << " for " << ::testing::PrintToString(bytes);
  }
  return units >= 0;
}

// The block check against the decoder: every pair of bytes in places that
// reach across blocks and the end, and strings of characters, cut ones and
// stray bytes of every kind in random order.
TEST(Utf8Input, WellFormedExactlyWhenDecodingReplacesNothing) {
  for (uint32_t pair = 0; pair <= 0xFFFF; ++pair) {
    // 100 bytes: the first block alone, then groups of four blocks.
    for (size_t at : {size_t(0), size_t(14), size_t(15), size_t(31), size_t(47), size_t(79),
                      size_t(98)}) {
      std::string bytes(100, 'a');
      bytes[at] = static_cast<char>(pair >> 8);
      bytes[at + 1] = static_cast<char>(pair & 0xFF);
      ASSERT_EQ(WellFormed(bytes), RoundTrips(bytes)) << pair << " at " << at;
    }
  }
  const char* const pieces[] = {"a", "abcdefghijklmno", "\xC3\xA9", "\xE2\x82\xAC", "\xE0\xA4\x85",
                                "\xED\x9F\xBF", "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF", "\xF3\xA0\x80\x80",
                                "\xC3", "\xE2\x82", "\xF0\x9F\x98", "\x80", "\xBF", "\xC0\xAF", "\xC1",
                                "\xE0\x80\x80", "\xED\xA0\x80", "\xF0\x80\x80\x80", "\xF4\x90\x80\x80",
                                "\xF5", "\xFF", "\xEF\xBF\xBF"};
  uint64_t state = 12345;
  for (int round = 0; round < 20000; ++round) {
    std::string bytes;
    const int count = 1 + round % 24;
    for (int k = 0; k < count; ++k) {
      state = state * 6364136223846793005ull + 1442695040888963407ull;
      // Mostly well-formed pieces, so that a bad one is found among good.
      const size_t choice = (state >> 33) % (state >> 62 ? 9 : 23);
      bytes += pieces[choice];
    }
    ASSERT_EQ(WellFormed(bytes), RoundTrips(bytes)) << round << " " << ::testing::PrintToString(bytes);
  }
}

}  // namespace
}  // namespace kelmo
