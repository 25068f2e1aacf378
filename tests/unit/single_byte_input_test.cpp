// Documents in a single-byte code page are read as bytes, made UTF-8 on the
// way: the tree, result and position must be those of reading the text the
// page's converter makes of the whole document.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../fuzz/parser_diff_check.h"
#include "encoding/single_byte_page.h"
#include "os/code_page.h"

namespace kelmo {
namespace {

struct Page {
  unsigned int codePage;
  const char* name;
};

// Pages converted by the library's own tables and by the platform's
// converter, with bytes left unassigned (1253, 1255) and a Mac page.
const Page kPages[] = {{1252, "windows-1252"}, {1251, "windows-1251"}, {1253, "windows-1253"},
                       {1255, "windows-1255"}, {20866, "koi8-r"},      {28597, "iso-8859-7"},
                       {866, "ibm866"},        {10000, "macintosh"}};

std::string HighBytes(int times) {
  std::string bytes;
  for (int i = 0; i < times; ++i)
    for (int b = 0x80; b < 0x100; ++b) bytes.push_back(static_cast<char>(b));
  return bytes;
}

std::vector<std::string> Documents(const char* name) {
  const std::string declaration = std::string("<?xml version=\"1.0\" encoding=\"") + name + "\"?>\n";
  std::string large = declaration + "<r>";
  while (large.size() < 200000) large += "<e a=\"\xE9\">\xC0\xE8 t</e>\r\n";
  return {
      declaration + "<r a=\"" + HighBytes(1) + "\">" + HighBytes(1) + "<b>" + HighBytes(3) + "</b></r>",
      // Names of letters of the page, and a name that a byte ends badly.
      declaration + "<\xC0\xE8 \xE9=\"x\"><\xC1/></\xC0\xE8>",
      declaration + "<r" + HighBytes(1) + "/>",
      // Several pieces, then an error whose position counts all of them.
      large + "</e>",
      large + "</r>",
  };
}

kelmo_fuzz::ParseReport ParseBytes(const std::string& bytes) {
  RefPtr<KelmoParserImpl> parser(new KelmoParserImpl, adopt_ref);
  const bool ok = parser->ParseBuffer(reinterpret_cast<const unsigned char*>(bytes.data()),
                                      uint32_t(bytes.size()));
  return kelmo_fuzz::ReportOf(parser->Parser(), ok);
}

kelmo_fuzz::ParseReport ParseDecoded(unsigned int codePage, const std::string& bytes) {
  std::vector<WChar> units(bytes.size());
  const int n = os::MultiByteToWide(codePage, bytes.data(), int(bytes.size()), units.data(),
                                    int(units.size()));
  EXPECT_EQ(size_t(n), bytes.size());
  RefPtr<KelmoParserImpl> parser(new KelmoParserImpl, adopt_ref);
  const bool ok = parser->ParseStringW(units.data(), uint32_t(n));
  return kelmo_fuzz::ReportOf(parser->Parser(), ok);
}

TEST(SingleByteInput, ReadsAsThePagesConverterReadsIt) {
  for (const Page& page : kPages) {
    if (!os::IsCodePageSupported(page.codePage)) continue;
    Encoding encoding;
    encoding.codePage = page.codePage;
    WChar units[256];
    ASSERT_TRUE(SingleByteUnits(encoding, units)) << page.name;
    for (const std::string& document : Documents(page.name)) {
      const std::string diff = kelmo_fuzz::CompareReports(ParseDecoded(page.codePage, document),
                                                          ParseBytes(document), page.name);
      EXPECT_EQ(diff, "") << page.name << ": " << document.substr(0, 120);
    }
  }
}

// Unicode forms, pages of several bytes a character and stateful encodings
// are not single-byte pages, nor is the platform's default, which may be
// any of them.
TEST(SingleByteInput, OnlySingleBytePagesAreTakenForThem) {
  for (const unsigned int codePage : {0u, 65001u, 1200u, 932u, 936u, 949u, 950u, 54936u, 51932u,
                                      65000u, 52936u, 50220u}) {
    if (!os::IsCodePageSupported(codePage)) continue;
    Encoding encoding;
    encoding.codePage = codePage;
    WChar units[256];
    EXPECT_FALSE(SingleByteUnits(encoding, units)) << codePage;
  }
}

}  // namespace
}  // namespace kelmo
