// A host that caps its address space and tries a large parse or copy again
// and again: each attempt fails with the allocation failure, and none may
// keep any of the memory it took, so the process's size stays put however
// often it tries.
#include <gtest/gtest.h>

#if !defined(_WIN32) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)

#include <sys/resource.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstdio>
#include <fstream>
#include <functional>
#include <new>
#include <string>

#include "host/child_process.h"
#include "host/scratch_dir.h"
#include "support/host_library.h"

using kelmo::Kelmo;
using kelmo::KelmoParser;
using kelmo::RefPtr;
using kelmo_test::ModuleScope;
using kelmo_test::RunInChild;
using kelmo_test::ScratchDir;
using kelmo_test::WriteBytes;

namespace {

constexpr int kAttempts = 20;
constexpr size_t kMB = 1024 * 1024;
// Room left above the process's size while an attempt runs: far less than
// the attempt needs.
constexpr size_t kHeadroom = 24 * kMB;
// How far the size may drift over all attempts (allocator bookkeeping).
constexpr size_t kAllowedGrowth = 8 * kMB;

size_t AddressSpace() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmSize:", 0) == 0) return std::stoull(line.substr(7)) * 1024;
  return 0;
}

// About 19 MB of elements with attributes and texts.
std::string LargeDocument() {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n";
  for (int i = 0; xml.size() < 19 * kMB; ++i)
    xml += "  <item id=\"" + std::to_string(i) + "\" kind=\"sample\">value " +
           std::to_string(i) + "</item>\n";
  return xml + "</root>\n";
}

// Runs `attempt` (which makes its own parser: a parser that failed keeps
// what it had read until its next parse) kAttempts times under a limit just above the current
// size, lifting the limit between attempts. Exit status 0: every attempt
// failed and the size after the last was within kAllowedGrowth of the size
// after the first; 1: an attempt succeeded; 2: the size grew; 3: no limit.
int FailRepeatedly(const std::function<void()>& attempt) {
#if defined(__GLIBC__)
  // glibc raises its threshold for serving blocks from their own mappings
  // when such a block is freed, so after a first failed attempt the next
  // ones take their large blocks (the file's bytes) from the heap, which is
  // not trimmed behind them: a one-time growth that is no leak. A fixed
  // threshold keeps the process's size comparable from attempt to attempt.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
  rlimit unlimited{};
  if (getrlimit(RLIMIT_AS, &unlimited) != 0) return 3;
  size_t afterFirst = 0;
  for (int i = 0; i < kAttempts; ++i) {
    rlimit capped = unlimited;
    capped.rlim_cur = AddressSpace() + kHeadroom;
    if (setrlimit(RLIMIT_AS, &capped) != 0) return 3;
    bool failed = false;
    try {
      attempt();
    } catch (const std::bad_alloc&) {
      failed = true;
    }
    setrlimit(RLIMIT_AS, &unlimited);
    if (!failed) return 1;
    if (i == 0) afterFirst = AddressSpace();
  }
  std::fprintf(stderr, "address space after the first attempt %zu MB, after the last %zu MB\n",
               afterFirst / kMB, AddressSpace() / kMB);
  return AddressSpace() <= afterFirst + kAllowedGrowth ? 0 : 2;
}

class MemoryLimit : public ::testing::Test {
 protected:
  void Expect(const std::function<int()>& body) {
    const int status = RunInChild(body);
    ASSERT_NE(status, 3) << "no address-space limit could be set";
    EXPECT_EQ(status, 0) << (status == 1 ? "an attempt succeeded under the limit"
                                         : "failed attempts kept their memory");
  }
  const std::string xml_ = LargeDocument();
};

TEST_F(MemoryLimit, FailedParsesOfUtf8KeepNothing) {
  Expect([this] {
    ModuleScope m;
    return FailRepeatedly([&] {
      m->CreateParser()->ParseBuffer(reinterpret_cast<const unsigned char*>(xml_.data()),
                          static_cast<unsigned>(xml_.size()));
    });
  });
}

TEST_F(MemoryLimit, FailedParsesOfUtf16KeepNothing) {
  std::string utf16 = "\xFF\xFE";
  for (char c : xml_) utf16 += {c, '\0'};
  utf16.resize(utf16.size() / 2);  // still far too large for the limit
  Expect([&utf16] {
    ModuleScope m;
    return FailRepeatedly([&] {
      m->CreateParser()->ParseBuffer(reinterpret_cast<const unsigned char*>(utf16.data()),
                          static_cast<unsigned>(utf16.size()));
    });
  });
}

TEST_F(MemoryLimit, FailedParsesOfAFileKeepNothing) {
  ScratchDir dir;
  const std::string path = (dir.path() / "large.xml").string();
  WriteBytes(dir.path() / "large.xml", xml_);
  Expect([&path] {
    ModuleScope m;
    return FailRepeatedly([&] { m->CreateParser()->ParseFileA(path.c_str()); });
  });
}

TEST_F(MemoryLimit, FailedClonesKeepNothing) {
  Expect([this] {
    ModuleScope m;
    RefPtr<KelmoParser> parser = m->CreateParser();
    if (!parser->ParseBuffer(reinterpret_cast<const unsigned char*>(xml_.data()),
                             static_cast<unsigned>(xml_.size())))
      return 4;
    RefPtr<Kelmo> root = parser->DetachRoot();
    return FailRepeatedly([&] { root->Clone(); });
  });
}

// A text read from UTF-8 gets its UTF-16 form when first asked for: under
// the limit that request fails each time without keeping anything, and the
// text is whole when asked for again with room to spare.
TEST_F(MemoryLimit, FailedFirstRequestsForUtf16KeepNothing) {
  std::string xml = "<t>";
  for (size_t i = 0; i < 16 * kMB; ++i) xml += "\xC3\xA9";
  xml += "</t>";
  Expect([&xml] {
    ModuleScope m;
    RefPtr<KelmoParser> parser = m->CreateParser();
    if (!parser->ParseBuffer(reinterpret_cast<const unsigned char*>(xml.data()),
                             static_cast<unsigned>(xml.size())))
      return 4;
    RefPtr<Kelmo> text = parser->DetachRoot()->GetFirstChild();
    const kelmo::WChar* units = nullptr;
    unsigned length = 0;
    RefPtr<kelmo::XInRes> holder;
    const int status = FailRepeatedly([&] { text->GetStringW(units, length, holder); });
    if (status != 0) return status;
    const bool whole = text->GetStringW(units, length, holder) && length == 16 * kMB &&
                       units[0] == 0xE9 && units[length - 1] == 0xE9;
    return whole ? 0 : 5;
  });
}

}  // namespace

#endif
