// Documents in encodings outside the library's own table of names, as real
// files declare them: made by iconv (tests/data/encodings/make_documents.sh),
// read, saved in the same encoding and in UTF-8, and read again. The saved
// bytes must be iconv's bytes, and every unit must come back.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/host_library.h"
#include "host/scratch_dir.h"
#include "support/system_code_pages.h"
#include "support/tree_outline.h"

using kelmo::Kelmo;
using kelmo::KelmoParser;
using kelmo::KelmoTraversal;
using kelmo::RefPtr;
using kelmo_test::ModuleScope;
using kelmo_test::Outline;
using kelmo_test::ReadBytes;
using kelmo_test::ScratchDir;
using kelmo_test::U16;
using kelmo_test::W;

namespace {

struct OtherEncoding {
  const char* file;      // in tests/data/encodings, without ".xml"
  const char* declared;  // as the document's declaration names it
  unsigned int codePage;  // the Windows code page that carries it
  const char* word;      // UTF-8: an element name
  const char* text;      // UTF-8: an attribute value and an element's text
};

void PrintTo(const OtherEncoding& c, std::ostream* os) { *os << c.file; }

// The same samples as make_documents.sh.
const OtherEncoding kOtherEncodings[] = {
    {"windows-1251", "windows-1251", 1251, "Привет", "Съешь же ещё этих мягких булок"},
    {"windows-1250", "windows-1250", 1250, "Příliš", "Příliš žluťoučký kůň úpěl ďábelské ódy"},
    {"windows-1252", "windows-1252", 1252, "Café", "Café crème, naïve œuvre – 20 €"},
    {"windows-1253", "windows-1253", 1253, "Καλημέρα", "Ξεσκεπάζω την ψυχοφθόρα βδελυγμία"},
    {"windows-1255", "windows-1255", 1255, "שלום", "דג סקרן שט בים מאוכזב"},
    {"windows-1257", "windows-1257", 1257, "Ąžuolas", "Įlinkdama fechtuotojo špaga sublykčiojusi"},
    {"koi8-r", "KOI8-R", 20866, "Привет", "Съешь же ещё этих мягких французских булок"},
    {"koi8-u", "koi8-u", 21866, "Ґанок", "Чуєш їх, доцю, га? Кумедна ж ти, прощайся"},
    {"iso-8859-1", "ISO-8859-1", 28591, "Grüße", "Falsches Üben von Xylophonmusik quält jeden größeren Zwerg"},
    {"iso-8859-2", "iso-8859-2", 28592, "Zażółć", "Zażółć gęślą jaźń, Árvíztűrő tükörfúrógép"},
    {"iso-8859-5", "iso-8859-5", 28595, "Привет", "В чащах юга жил бы цитрус? Да, но фальшивый экземпляр!"},
    {"iso-8859-7", "iso-8859-7", 28597, "Καλημέρα", "Γαζέες και μυρτιές δεν θα βρω πια"},
    {"iso-8859-15", "iso-8859-15", 28605, "Œuvre", "Œuvre, Ÿ, š, ž et 20 €"},
    {"ibm866", "IBM866", 866, "Привет", "Съешь же ещё этих мягких французских булок"},
    {"ibm855", "IBM855", 855, "Привет", "Съешь же ещё этих мягких французских булок"},
    {"maccyrillic", "MacCyrillic", 10007, "Привет", "Съешь же ещё этих мягких французских булок"},
    {"tis-620", "TIS-620", 874, "สวัสดี", "เป็นมนุษย์สุดประเสริฐเลิศคุณค่า"},
    {"euc-kr", "euc-kr", 949, "한국어", "다람쥐 헌 쳇바퀴에 타고파"},
};

std::string DataFile(const char* name) {
  return std::string(KELMO_TEST_DATA_DIR) + "/encodings/" + name + ".xml";
}

class OtherEncodingTest : public ::testing::TestWithParam<OtherEncoding> {
 protected:
  RefPtr<Kelmo> Load(const std::string& path) {
    RefPtr<KelmoParser> parser = m->CreateParser();
    EXPECT_TRUE(parser->ParseFileA(path.c_str())) << path << ": error " << parser->GetErrorCode();
    return parser->DetachRoot();
  }

  ModuleScope m;
  RefPtr<KelmoTraversal> t = m->CreateTraversal();
};

TEST_P(OtherEncodingTest, ReadsSavesAndReadsBackEveryUnit) {
  const OtherEncoding& c = GetParam();
  KELMO_SKIP_WITHOUT_CODE_PAGE(c.codePage);
  // What the document says, in UTF-16, read from wide text.
  const std::u16string expectedXml = U16(
      (std::string("<doc note=\"") + c.text + "\">\n  <text>" + c.text + "</text>\n  <" + c.word +
       ">1</" + c.word + ">\n</doc>\n").c_str());
  RefPtr<KelmoParser> wide = m->CreateParser();
  ASSERT_TRUE(wide->ParseStringW(W(expectedXml), static_cast<unsigned>(expectedXml.size())));
  const std::string expected = Outline(wide->GetRoot());

  const std::string original = DataFile(c.file);
  RefPtr<Kelmo> loaded = Load(original);
  ASSERT_EQ(Outline(loaded), expected);

  ScratchDir dir;
  const std::string same = dir.File("same.xml").string();
  ASSERT_TRUE(t->SaveFileA(loaded, same.c_str(), "  ", "\n", c.declared, 65001));
  EXPECT_EQ(ReadBytes(same), ReadBytes(original)) << "not iconv's bytes";
  EXPECT_EQ(Outline(Load(same)), expected);

  const std::string utf8 = dir.File("utf8.xml").string();
  ASSERT_TRUE(t->SaveFileA(loaded, utf8.c_str(), "\t", "\r\n", "utf-8", 65001));
  EXPECT_EQ(Outline(Load(utf8)), expected);
}

INSTANTIATE_TEST_SUITE_P(IconvDocuments, OtherEncodingTest, ::testing::ValuesIn(kOtherEncodings),
                         [](const ::testing::TestParamInfo<OtherEncoding>& info) {
                           std::string name = info.param.file;
                           for (char& ch : name)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return name;
                         });

#if !defined(_WIN32)
// The declared encoding of a document's first bytes, lower case; empty when
// there is none or it is UTF-8.
std::string DeclaredEncoding(const std::string& bytes) {
  if (bytes.compare(0, 5, "<?xml") != 0) return "";
  const size_t end = bytes.find("?>");
  const size_t at = bytes.find("encoding", 0);
  if (at == std::string::npos || at > end) return "";
  const size_t open = bytes.find_first_of("\"'", at);
  const size_t close = open == std::string::npos ? open : bytes.find(bytes[open], open + 1);
  if (close == std::string::npos || close > end) return "";
  std::string name = bytes.substr(open + 1, close - open - 1);
  for (char& ch : name) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return name == "utf-8" || name == "utf8" ? "" : name;
}

// Gives every node the kind it reads back with once written.
void AsWritten(const RefPtr<Kelmo>& node) {
  node->SetKind(kelmo_test::KindAfterWriting(node));
  for (RefPtr<Kelmo> child = node->GetFirstChild(); child; child = child->GetNextSibling()) AsWritten(child);
}

// The XML files that the system's packages installed in encodings other
// than UTF-8: read, saved in their own encoding and in UTF-8, read again.
TEST(InstalledDocuments, OtherEncodingsReadBackEqual) {
  ModuleScope m;
  RefPtr<KelmoTraversal> t = m->CreateTraversal();
  ScratchDir dir;
  int checked = 0;
  std::error_code noList;
  for (const std::filesystem::directory_entry& list :
       std::filesystem::directory_iterator("/var/lib/dpkg/info", noList)) {
    if (list.path().extension() != ".list") continue;
    std::ifstream names(list.path());
    for (std::string path; std::getline(names, path);) {
      if (path.size() < 4 || path.compare(path.size() - 4, 4, ".xml") != 0) continue;
      std::error_code error;
      if (!std::filesystem::is_regular_file(path, error) ||
          std::filesystem::file_size(path, error) > (1u << 20))
        continue;
      const std::string bytes = ReadBytes(path);
      const std::string encoding = DeclaredEncoding(bytes);
      if (encoding.empty()) continue;
      // Some sample files are cut off mid-document; the parser's reading of
      // such a tail is not what this test is about.
      const size_t last = bytes.find_last_not_of(" \t\r\n");
      if (last == std::string::npos || bytes[last] != '>') continue;
      SCOPED_TRACE(path + " in " + encoding);
      RefPtr<KelmoParser> parser = m->CreateParser();
      if (!parser->ParseFileA(path.c_str())) continue;  // not a document the library reads
      AsWritten(parser->GetRoot());
      const std::string expected = Outline(parser->GetRoot());
      for (const char* target : {encoding.c_str(), "utf-8"}) {
        const std::string saved = dir.File("saved.xml").string();
        ASSERT_TRUE(t->SaveFileA(parser->GetRoot(), saved.c_str(), " ", "\n", target, 65001));
        RefPtr<KelmoParser> again = m->CreateParser();
        ASSERT_TRUE(again->ParseFileA(saved.c_str()));
        EXPECT_EQ(Outline(again->GetRoot()), expected);
      }
      ++checked;
    }
  }
  if (checked == 0) GTEST_SKIP() << "no installed XML file declares an encoding other than UTF-8";
  RecordProperty("documents", checked);
}
#endif

}  // namespace
