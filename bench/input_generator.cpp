#include "input_generator.h"

#include <cstdint>

namespace bench {
namespace {

// A fixed-seed generator, so every run sees the same documents.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<uint32_t>(state_ >> 16);
  }
  uint32_t Below(uint32_t n) { return Next() % n; }

 private:
  uint64_t state_;
};

const char* const kWords[] = {
    "the",     "value",  "of",      "a",       "parameter", "is",     "kept",    "in",
    "tree",    "and",    "written", "as",      "text",      "when",   "saved",   "node",
    "element", "with",   "name",    "order",   "children",  "read",   "back",    "from",
    "file",    "buffer", "encoding", "café",   "naïve",     "Grüße",  "—",       "über",
    "señal",   "東京",    "данные",  "x&amp;y", "a&lt;b",    "quoted", "line",    "column"};
constexpr uint32_t kWordCount = sizeof(kWords) / sizeof(kWords[0]);

const char* const kTypes[] = {"int", "string", "bool", "double", "path", "list"};
const char* const kUnits[] = {"ms", "s", "bytes", "items", "percent"};

void AppendNumber(std::string& out, uint32_t n) { out += std::to_string(n); }

void AppendSentence(std::string& out, Random& random, uint32_t words) {
  for (uint32_t i = 0; i < words; ++i) {
    if (i) out += ' ';
    out += kWords[random.Below(kWordCount)];
  }
  out += '.';
}

}  // namespace

std::string GenerateConfig(size_t targetBytes) {
  Random random(0x5eed0001);
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<configuration version=\"3\">\n";
  for (uint32_t section = 0; out.size() < targetBytes; ++section) {
    out += "  <section name=\"section";
    AppendNumber(out, section);
    out += "\" enabled=\"";
    out += random.Below(2) ? "true" : "false";
    out += "\" priority=\"";
    AppendNumber(out, random.Below(10));
    out += "\">\n";
    const uint32_t params = 5 + random.Below(20);
    for (uint32_t p = 0; p < params; ++p) {
      out += "    <param key=\"key";
      AppendNumber(out, p);
      out += "\" type=\"";
      out += kTypes[random.Below(6)];
      out += "\" value=\"";
      AppendNumber(out, random.Next() % 100000);
      out += "\" min=\"0\" max=\"";
      AppendNumber(out, 1000 + random.Below(100000));
      out += "\" unit=\"";
      out += kUnits[random.Below(5)];
      out += "\" description=\"";
      AppendSentence(out, random, 2 + random.Below(4));
      out += "\"/>\n";
    }
    out += "  </section>\n";
  }
  out += "</configuration>\n";
  return out;
}

std::string GenerateText(size_t targetBytes) {
  Random random(0x5eed0002);
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<book>\n";
  for (uint32_t chapter = 0; out.size() < targetBytes; ++chapter) {
    out += "  <chapter id=\"c";
    AppendNumber(out, chapter);
    out += "\">\n    <title>";
    AppendSentence(out, random, 3 + random.Below(5));
    out += "</title>\n";
    const uint32_t paragraphs = 3 + random.Below(8);
    for (uint32_t p = 0; p < paragraphs; ++p) {
      out += "    <para>";
      const uint32_t sentences = 4 + random.Below(12);
      for (uint32_t s = 0; s < sentences; ++s) {
        if (s) out += ' ';
        AppendSentence(out, random, 6 + random.Below(14));
      }
      out += "</para>\n";
    }
    out += "  </chapter>\n";
  }
  out += "</book>\n";
  return out;
}

std::string GenerateDeep(size_t targetBytes, int depth) {
  Random random(0x5eed0003);
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<nest>\n";
  while (out.size() < targetBytes) {
    for (int level = 0; level < depth; ++level) {
      out += "<level";
      AppendNumber(out, uint32_t(level));
      out += " at=\"";
      AppendNumber(out, random.Below(1000));
      out += "\">";
    }
    AppendSentence(out, random, 3);
    for (int level = depth - 1; level >= 0; --level) {
      out += "</level";
      AppendNumber(out, uint32_t(level));
      out += '>';
    }
    out += '\n';
  }
  out += "</nest>\n";
  return out;
}

std::string GenerateGb2312(size_t targetBytes) {
  Random random(0x5eed0004);
  // Level-1 hanzi occupy rows B0 to D7; row D7 ends at F9.
  auto appendHanzi = [&random](std::string& out, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
      const unsigned char row = static_cast<unsigned char>(0xB0 + random.Below(0xD7 - 0xB0));
      const unsigned char cell = static_cast<unsigned char>(0xA1 + random.Below(0xFE - 0xA1 + 1));
      out += static_cast<char>(row);
      out += static_cast<char>(cell);
    }
  };
  std::string out = "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<catalog>\n";
  for (uint32_t item = 0; out.size() < targetBytes; ++item) {
    out += "  <item id=\"";
    AppendNumber(out, item);
    out += "\" title=\"";
    appendHanzi(out, 2 + random.Below(6));
    out += "\">\n    <name>";
    appendHanzi(out, 2 + random.Below(8));
    out += "</name>\n    <description>";
    appendHanzi(out, 20 + random.Below(120));
    out += "</description>\n  </item>\n";
  }
  out += "</catalog>\n";
  return out;
}

}  // namespace bench
