// The parser against the reference parser it replaced, over the differential
// fuzz target's corpus: the same check the fuzzer runs, in every build.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../../fuzz/parser_diff_check.h"

namespace {

TEST(ReferenceParserTest, AgreesOnTheDifferentialCorpus) {
  const std::filesystem::path corpus =
      std::filesystem::path(KELMO_SOURCE_DIR) / "fuzz" / "corpus" / "parser_diff";
  size_t inputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    std::ifstream file(entry.path(), std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
    const std::string diff = kelmo_fuzz::CheckAgainstReference(
        reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    EXPECT_EQ(diff, "") << entry.path().filename();
    ++inputs;
  }
  EXPECT_GT(inputs, 100u);
}

}  // namespace
