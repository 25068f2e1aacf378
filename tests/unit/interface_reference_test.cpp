// docs/interface.md lists every slot of every interface with its signature,
// in the order include/kelmo/slot_lists.h gives them; a slot added to one
// and not the other, or a changed signature, fails here.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string CollapseBlanks(const std::string& text) {
  std::string out;
  for (char c : text) {
    const bool blank = c == ' ' || c == '\t' || c == '\n' || c == '\\';
    if (blank) {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// The arguments of X(...) split at the commas outside parentheses.
std::vector<std::string> TopLevelArguments(const std::string& entry) {
  std::vector<std::string> parts(1);
  int depth = 0;
  for (char c : entry) {
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (c == ',' && depth == 0) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

// "result Name(parameters)" of every slot, per list ("KELMO", "PARSER", ...).
std::map<std::string, std::vector<std::string>> DeclaredSlots(std::string header) {
  header = std::regex_replace(header, std::regex(R"(/\*[^*]*\*/)"), "");
  std::map<std::string, std::vector<std::string>> lists;
  const std::regex start(R"(#define KELMO_(\w+)_SLOTS\(X\))");
  for (auto it = std::sregex_iterator(header.begin(), header.end(), start);
       it != std::sregex_iterator(); ++it) {
    const size_t bodyStart = static_cast<size_t>(it->position() + it->length());
    const size_t bodyEnd = std::min(header.find("\n#", bodyStart), header.find("\n//", bodyStart));
    const std::string body = header.substr(bodyStart, bodyEnd - bodyStart);
    std::vector<std::string>& slots = lists[(*it)[1]];
    for (size_t x = body.find("X("); x != std::string::npos; x = body.find("X(", x)) {
      int depth = 0;
      size_t end = x + 1;
      for (; end < body.size(); ++end) {
        if (body[end] == '(') ++depth;
        if (body[end] == ')' && --depth == 0) break;
      }
      const std::vector<std::string> parts = TopLevelArguments(body.substr(x + 2, end - x - 2));
      slots.push_back(CollapseBlanks(CollapseBlanks(parts[0]) + " " + CollapseBlanks(parts[1]) +
                                     CollapseBlanks(parts[2])));
      x = end;
    }
  }
  return lists;
}

// The documented rows "| n | `signature` | ..." under each "## Interface:" heading.
std::map<std::string, std::vector<std::pair<int, std::string>>> DocumentedSlots(
    const std::string& page) {
  const std::map<std::string, std::string> listOf = {{"IModule", "MODULE"},
                                                     {"Kelmo", "KELMO"},
                                                     {"KelmoParser", "PARSER"},
                                                     {"KelmoTraversal", "TRAVERSAL"},
                                                     {"XInRes", "XINRES"}};
  std::map<std::string, std::vector<std::pair<int, std::string>>> lists;
  std::string current;
  std::istringstream lines(page);
  const std::regex heading(R"(^## (\w+):)");
  const std::regex row(R"(^\| (\d+) \| `([^`]*)` \|)");
  std::smatch m;
  for (std::string line; std::getline(lines, line);) {
    if (std::regex_search(line, m, heading)) {
      const auto found = listOf.find(m[1]);
      current = found == listOf.end() ? "" : found->second;
    } else if (line.rfind("## ", 0) == 0) {
      current.clear();
    } else if (!current.empty() && std::regex_search(line, m, row)) {
      lists[current].emplace_back(std::stoi(m[1]), m[2]);
    }
  }
  return lists;
}

TEST(InterfaceReference, ListsEverySlotInOrderWithItsSignature) {
  const auto declared = DeclaredSlots(ReadFile(KELMO_SOURCE_DIR "/include/kelmo/slot_lists.h"));
  const auto documented = DocumentedSlots(ReadFile(KELMO_SOURCE_DIR "/docs/interface.md"));
  ASSERT_EQ(declared.size(), 5u);
  for (const auto& [list, slots] : declared) {
    const auto page = documented.find(list);
    ASSERT_NE(page, documented.end()) << list << " has no section";
    ASSERT_EQ(page->second.size(), slots.size()) << list;
    for (size_t i = 0; i < slots.size(); ++i) {
      EXPECT_EQ(page->second[i].first, static_cast<int>(i + 1)) << list;
      EXPECT_EQ(page->second[i].second, slots[i]) << list << " slot " << i + 1;
    }
  }
  EXPECT_EQ(documented.size(), declared.size());
}

}  // namespace
