// The tree_edit fuzz target's session, replayed over random edit scripts
// from a fixed seed on a few documents: the checks inside the session (tree
// invariants, names and values that stay put) must hold after every step,
// and every document's memory must be gone once the session lets go.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "../../fuzz/tree_edit_session.h"
#include "tree/doc_memory.h"

namespace {

TEST(TreeEdit, RandomScriptsKeepTreesSoundAndGiveMemoryBack) {
  const std::u16string documents[] = {
      u"<r><item id='1'>one</item><item id='2'>two</item><b/><item>three</item></r>",
      u"<a x='1' y='2'><a><a><b>deep</b></a></a><![CDATA[c]]><b x='&lt;'>t</b></a>",
      u"<r><unclosed a='1'>",
      u"",
  };
  std::mt19937 random(20261207);
  const int64_t before = kelmo::DocMemory::LiveDocuments();
  for (const std::u16string& document : documents) {
    for (int round = 0; round < 150; ++round) {
      std::vector<uint8_t> script(1 + random() % 400);
      for (uint8_t& byte : script) byte = static_cast<uint8_t>(random());
      kelmo_fuzz::tree_edit::Session session(document);
      session.Run(script.data(), script.size());
    }
    EXPECT_EQ(kelmo::DocMemory::LiveDocuments(), before);
  }
}

}  // namespace
