// Every single-byte code page that the library converts reads each byte as
// the character that Windows' table gives it, on every platform, whatever
// byte comes before or after it: no converter may compose a letter and the
// mark after it, or map a byte to another character than Windows does. And
// the characters written back in that code page read back the same.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "os/code_page.h"
#include "support/system_code_pages.h"

namespace kelmo::os {
namespace {

struct CodePageTable {
  unsigned int codePage = 0;
  std::vector<int> byteOf;    // the bytes that the table assigns
  std::u16string characters;  // the character of each such byte
};

// tests/data/windows_single_byte_code_pages.txt: "code page, first byte,
// then four hex digits per byte, or ---- where Windows' character is not
// fixed by the table".
std::vector<CodePageTable> LoadTables() {
  std::ifstream file(KELMO_TEST_DATA_DIR "/windows_single_byte_code_pages.txt");
  std::vector<CodePageTable> tables;
  std::string line;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    CodePageTable table;
    std::string first, entry;
    fields >> table.codePage >> first;
    const int firstListed = std::stoi(first, nullptr, 16);
    for (int byte = 0; byte < firstListed; ++byte) {  // ASCII below the listed half
      table.byteOf.push_back(byte);
      table.characters.push_back(static_cast<char16_t>(byte));
    }
    for (int byte = firstListed; fields >> entry; ++byte) {
      if (entry == "----") continue;
      table.byteOf.push_back(byte);
      table.characters.push_back(static_cast<char16_t>(std::stoi(entry, nullptr, 16)));
    }
    tables.push_back(table);
  }
  return tables;
}

std::u16string Decode(unsigned int codePage, const std::string& bytes) {
  const int length = static_cast<int>(bytes.size());
  const int size = MultiByteToWide(codePage, bytes.data(), length, nullptr, 0);
  std::u16string text(size > 0 ? static_cast<size_t>(size) : 0, u'\0');
  if (size > 0) MultiByteToWide(codePage, bytes.data(), length, reinterpret_cast<WChar*>(&text[0]), size);
  return text;
}

std::string Encode(unsigned int codePage, const std::u16string& text) {
  const auto* units = reinterpret_cast<const WChar*>(text.data());
  const int size = WideToMultiByte(codePage, units, static_cast<int>(text.size()), nullptr, 0);
  std::string bytes(size > 0 ? static_cast<size_t>(size) : 0, '\0');
  if (size > 0) WideToMultiByte(codePage, units, static_cast<int>(text.size()), &bytes[0], size);
  return bytes;
}

// The first place where two texts differ, as "at i: XXXX instead of YYYY".
std::string FirstDifference(const std::u16string& got, const std::u16string& want) {
  size_t i = 0;
  while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
  if (i == got.size() && i == want.size()) return "";
  auto hex = [](size_t at, const std::u16string& text) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04X", at < text.size() ? unsigned(text[at]) : 0u);
    return std::string(digits);
  };
  return "at unit " + std::to_string(i) + " of " + std::to_string(want.size()) + ": " + hex(i, got) +
         " instead of " + hex(i, want);
}

// Some of Wine's tables follow older editions than Windows' (ISO 8859-7
// before its 2003 additions, ISO 8859-8 with U+203E, older Mac tables).
// Under Wine the few bytes that its table reads otherwise are left out;
// every other byte is checked, in every neighbourhood, as on Windows.
void LeaveOutWhereWineDiffers(CodePageTable& table) {
  if (!kelmo_test::RunningUnderWine()) return;
  CodePageTable kept{table.codePage, {}, {}};
  for (size_t i = 0; i < table.byteOf.size(); ++i) {
    if (Decode(table.codePage, std::string(1, static_cast<char>(table.byteOf[i]))) !=
        std::u16string(1, table.characters[i]))
      continue;
    kept.byteOf.push_back(table.byteOf[i]);
    kept.characters.push_back(table.characters[i]);
  }
  EXPECT_GE(kept.byteOf.size() + 16, table.byteOf.size()) << "Wine differs on more than a few bytes";
  table = kept;
}

TEST(WindowsCodePageTables, EveryByteReadsAsWindowsReadsItInEveryNeighbourhood) {
  std::vector<CodePageTable> tables = LoadTables();
  ASSERT_GE(tables.size(), 50u) << "reference tables not found";
  for (CodePageTable& table : tables) {
    SCOPED_TRACE("code page " + std::to_string(table.codePage));
    if (!kelmo_test::MissingCodePage(table.codePage).empty()) continue;
    LeaveOutWhereWineDiffers(table);
    // Every assigned byte before every assigned byte, in one text: a
    // composing converter would give fewer units than bytes.
    std::string pairs;
    std::u16string expected;
    for (size_t a = 0; a < table.byteOf.size(); ++a) {
      for (size_t b = 0; b < table.byteOf.size(); ++b) {
        pairs += static_cast<char>(table.byteOf[a]);
        pairs += static_cast<char>(table.byteOf[b]);
        expected += table.characters[a];
        expected += table.characters[b];
      }
    }
    EXPECT_EQ("", FirstDifference(Decode(table.codePage, pairs), expected));
    // Written in the code page, the characters read back as themselves.
    EXPECT_EQ("", FirstDifference(Decode(table.codePage, Encode(table.codePage, table.characters)),
                                  table.characters));
  }
}

}  // namespace
}  // namespace kelmo::os
