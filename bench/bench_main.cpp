// Side-by-side benchmark of this library and its peers on the same inputs in
// one run. Prints one Markdown table: throughput (MB/s of the input document)
// and memory, with the ratio of this library to each peer, where a ratio
// above 1 always favours this library.
//
//   kelmo_bench --library PATH --inputs DIR [--work DIR] [--seconds S] [--quick]
//               [--only TEXT]   (only inputs whose label holds TEXT; no lookups)
//               [--lookup]      (the lookups too, after --only)
//               [--resident]    (resident memory around a 100 MB load, after --only)
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "alloc_counter.h"
#include "kelmo/easy/utf.hpp"
#include "input_generator.h"
#include "stopwatch.h"
#include "xml_library.h"

namespace bench {
namespace {

struct Options {
#ifdef KELMO_BENCH_LIBRARY_PATH
  std::string library = KELMO_BENCH_LIBRARY_PATH;
#else
  std::string library;
#endif
  std::string inputs;
  std::string work = "/tmp";
  double seconds = 0.5;
  bool quick = false;
  std::string only;  // run only the inputs whose label contains this
  bool lookup = true;
  bool resident = true;  // resident memory around a 100 MB document
};

struct Input {
  std::string label;
  std::vector<unsigned char> utf8;  // or the document's own encoding
  Encoding encoding = Encoding::kUtf8;
  std::vector<unsigned char> utf16;  // empty when not made
};

bool ReadFile(const std::string& path, std::vector<unsigned char>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  bytes.clear();
  unsigned char chunk[1 << 16];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  std::fclose(file);
  return !bytes.empty();
}

// The same document in UTF-16LE with a byte-order mark; the declaration is
// changed to name the new encoding so that every reader agrees on it.
std::vector<unsigned char> ToUtf16(const std::vector<unsigned char>& utf8) {
  std::string text(utf8.begin(), utf8.end());
  if (text.compare(0, 5, "<?xml") == 0) {
    const size_t end = text.find("?>");
    const size_t at = text.find("encoding=", 0);
    if (end != std::string::npos && at != std::string::npos && at < end) {
      const char quote = text[at + 9];
      const size_t close = text.find(quote, at + 10);
      if (close != std::string::npos && close < end) text.replace(at + 10, close - at - 10, "UTF-16");
    }
  }
  std::vector<unsigned char> out = {0xFF, 0xFE};
  out.reserve(text.size() * 2 + 2);
  for (char16_t unit : kelmo::easy::ToUtf16(text)) {
    out.push_back(static_cast<unsigned char>(unit & 0xFF));
    out.push_back(static_cast<unsigned char>(unit >> 8));
  }
  return out;
}

// One cell of the table: a value, or a reason for having none.
struct Cell {
  bool has = false;
  double value = 0;
  std::string note;  // shown instead of a value
};

struct Row {
  std::string input;
  std::string operation;
  std::string unit;
  bool lowerIsBetter = false;
  std::vector<Cell> cells;  // one per library, this library first
};

std::string Format(double v) {
  char buffer[32];
  if (v >= 1000)
    std::snprintf(buffer, sizeof buffer, "%.0f", v);
  else if (v >= 10)
    std::snprintf(buffer, sizeof buffer, "%.1f", v);
  else
    std::snprintf(buffer, sizeof buffer, "%.2f", v);
  return buffer;
}

std::string ShowCell(const Cell& cell) { return cell.has ? Format(cell.value) : cell.note; }

// Ratio of this library to a peer, above 1 when this library does better.
Cell Ratio(const Row& row, size_t peer) {
  const Cell& ours = row.cells[0];
  const Cell& theirs = row.cells[peer];
  Cell ratio;
  if (!ours.has || !theirs.has || ours.value <= 0 || theirs.value <= 0) {
    ratio.note = "–";
    return ratio;
  }
  ratio.has = true;
  ratio.value = row.lowerIsBetter ? theirs.value / ours.value : ours.value / theirs.value;
  return ratio;
}

class Bench {
 public:
  Bench(Options options, std::vector<std::unique_ptr<XmlLibrary>> libraries)
      : options_(std::move(options)), libraries_(std::move(libraries)) {}

  void Run(const std::vector<Input>& inputs) {
    // Memory first, each figure in a child process that loads nothing else,
    // so that no allocator (ours included) serves the tree from blocks that
    // an earlier load left behind.
    for (const Input& input : inputs)
      for (size_t i = 0; i < libraries_.size(); ++i)
        if (libraries_[i]->Decodes(input.encoding))
          memory_[{input.label, i}] = MeasureMemoryIsolated(*libraries_[i], input);
    for (const Input& input : inputs) RunInput(input);
    if (options_.lookup) RunLookup();
    if (options_.resident) RunResident();
  }

  void Print() const {
    std::printf("| input | operation | unit |");
    for (const auto& library : libraries_) std::printf(" %s |", library->Name().c_str());
    for (size_t i = 1; i < libraries_.size(); ++i)
      std::printf(" ×%s |", libraries_[i]->Name().c_str());
    std::printf("\n|---|---|---|");
    for (size_t i = 0; i < libraries_.size() * 2 - 1; ++i) std::printf("---:|");
    std::printf("\n");
    for (const Row& row : rows_) {
      std::printf("| %s | %s | %s |", row.input.c_str(), row.operation.c_str(), row.unit.c_str());
      for (const Cell& cell : row.cells) std::printf(" %s |", ShowCell(cell).c_str());
      for (size_t i = 1; i < row.cells.size(); ++i) std::printf(" %s |", ShowCell(Ratio(row, i)).c_str());
      std::printf("\n");
    }
  }

  // One line per target, with the worst ratio over all inputs.
  void PrintTargets() const {
    auto worst = [this](const char* operation, const std::string& peer) {
      double worstRatio = 1e300;
      std::string where;
      for (const Row& row : rows_) {
        // Memory compares per byte of input, like with like.
        if (row.operation != operation || (row.operation == "tree memory") != (row.unit == "× input"))
          continue;
        for (size_t i = 1; i < libraries_.size(); ++i) {
          if (libraries_[i]->Name() != peer) continue;
          const Cell ratio = Ratio(row, i);
          if (ratio.has && ratio.value < worstRatio) {
            worstRatio = ratio.value;
            where = row.input;
          }
        }
      }
      return std::make_pair(worstRatio, where);
    };
    auto report = [&](const char* what, const char* operation, const char* peer, double goal) {
      const auto found = worst(operation, peer);
      if (found.second.empty()) {
        std::printf("- %s: not measured\n", what);
        return;
      }
      std::printf("- %s: worst ×%s = %s (%s), goal %s: %s\n", what, peer,
                  Format(found.first).c_str(), found.second.c_str(), Format(goal).c_str(),
                  found.first >= goal ? "met" : "MISSED");
    };
    report("load vs tinyxml2", "load UTF-8", "tinyxml2", 1.5);
    report("load vs pugixml (UTF-8)", "load UTF-8", "pugixml", 0.5);
    report("load and read everything vs pugixml", "load + read all", "pugixml", 0.6);
    report("load of a small file vs pugixml (per file)", "load, per file", "pugixml", 0.5);
    report("load vs pugixml (UTF-16LE)", "load UTF-16LE", "pugixml", 1.0);
    report("write to memory vs pugixml", "write to memory", "pugixml", 1.0);
    report("write to file vs pugixml", "write to file", "pugixml", 1.0);
    report("tree memory per input byte vs tinyxml2", "tree memory", "tinyxml2", 1.0);
    // Peak during load against the tree that stays, worst input.
    double worstPeak = 0;
    std::string peakWhere;
    const Row* held = nullptr;
    for (const Row& row : rows_) {
      if (row.operation == "tree memory" && row.unit == "× input") held = &row;
      if (row.operation != "peak in load" || !held || !row.cells[0].has || !held->cells[0].has ||
          held->input != row.input)
        continue;
      const double ratio = row.cells[0].value / held->cells[0].value;
      if (ratio > worstPeak) {
        worstPeak = ratio;
        peakWhere = row.input;
      }
    }
    if (!peakWhere.empty())
      std::printf("- peak in load vs tree memory: worst ×%s (%s), goal at most ×1.5: %s\n",
                  Format(worstPeak).c_str(), peakWhere.c_str(), worstPeak <= 1.5 ? "met" : "MISSED");
    for (const Row& row : rows_) {
      if (row.operation == "kept after release" && row.cells[0].has)
        std::printf("- resident memory kept after a release: %s%% of before, goal at most 10%%: %s\n",
                    Format(row.cells[0].value).c_str(), row.cells[0].value <= 10 ? "met" : "MISSED");
      if (row.operation == "index speed-up" && row.cells[0].has)
        std::printf("- lookup with index vs without: ×%s, goal ×100: %s\n",
                    Format(row.cells[0].value).c_str(), row.cells[0].value >= 100 ? "met" : "MISSED");
    }
  }

 private:
  Row NewRow(const std::string& input, const std::string& operation, const std::string& unit,
             bool lowerIsBetter = false) const {
    Row row{input, operation, unit, lowerIsBetter, {}};
    row.cells.resize(libraries_.size());
    return row;
  }

  // Inputs below this size also get the per-file row.
  static constexpr size_t kSmallFile = 64 * 1024;

  double Budget() const { return options_.quick ? options_.seconds / 10 : options_.seconds; }

  void RunInput(const Input& input) {
    const double megabytes = double(input.utf8.size()) / 1e6;
    const std::string encodingName = input.encoding == Encoding::kGb2312 ? "GB2312" : "UTF-8";
    Row load = NewRow(input.label, "load " + encodingName, "MB/s");
    Row perFile = NewRow(input.label, "load, per file", "µs", true);
    Row readAll = NewRow(input.label, "load + read all", "MB/s");
    Row load16 = NewRow(input.label, "load UTF-16LE", "MB/s");
    Row toMemory = NewRow(input.label, "write to memory", "MB/s");
    Row toFile = NewRow(input.label, "write to file", "MB/s");
    Row memory = NewRow(input.label, "tree memory", "B/node", true);
    Row memoryRatio = NewRow(input.label, "tree memory", "× input", true);
    Row peak = NewRow(input.label, "peak in load", "× input", true);
    const std::string file = options_.work + "/kelmo_bench_output.xml";

    for (size_t i = 0; i < libraries_.size(); ++i) {
      XmlLibrary& library = *libraries_[i];
      std::fprintf(stderr, "  %s: %s\n", input.label.c_str(), library.Name().c_str());
      if (!library.Decodes(input.encoding)) {
        for (Row* row : {&load, &perFile, &readAll, &toMemory, &toFile, &memory, &memoryRatio, &peak})
          row->cells[i].note = "n/a";
      } else if (!library.Load(input.utf8, input.encoding)) {
        for (Row* row : {&load, &perFile, &readAll, &toMemory, &toFile, &memory, &memoryRatio, &peak})
          row->cells[i].note = "fails";
      } else {
        library.Free();
        const Memory& used = memory_[{input.label, i}];
        if (used.nodes == 0) {
          for (Row* row : {&memory, &memoryRatio, &peak}) row->cells[i].note = "?";
        } else {
          const double size = double(input.utf8.size());
          memory.cells[i] = Cell{true, used.held / double(used.nodes), ""};
          memoryRatio.cells[i] = Cell{true, used.held / size, ""};
          peak.cells[i] = Cell{true, used.peak / size, ""};
        }
        Time(load, i, megabytes, [&] {
          library.Load(input.utf8, input.encoding);
          library.Free();
        });
        // A small file's cost is per file: many loads are timed together, so
        // that the clock's own cost does not count.
        if (input.utf8.size() < kSmallFile) {
          const int batch = 100;
          const double seconds = MedianSeconds(
              [&] {
                for (int n = 0; n < batch; ++n) {
                  library.Load(input.utf8, input.encoding);
                  library.Free();
                }
              },
              Budget());
          perFile.cells[i] = Cell{true, seconds / batch * 1e6, ""};
        }
        Time(readAll, i, megabytes, [&] {
          library.Load(input.utf8, input.encoding);
          if (library.ReadAll() == 0) std::abort();
          library.Free();
        });
        library.Load(input.utf8, input.encoding);
        Time(toMemory, i, megabytes, [&] { library.WriteToMemory(); });
        Time(toFile, i, megabytes, [&] { library.WriteToFile(file); });
        library.Free();
      }
      if (input.utf16.empty()) continue;
      if (!library.Decodes(Encoding::kUtf16LE)) {
        load16.cells[i].note = "n/a";
      } else if (!library.Load(input.utf16, Encoding::kUtf16LE)) {
        load16.cells[i].note = "fails";
      } else {
        library.Free();
        // Throughput counts the UTF-8 size, so the rows compare directly.
        Time(load16, i, megabytes, [&] {
          library.Load(input.utf16, Encoding::kUtf16LE);
          library.Free();
        });
      }
    }
    std::remove(file.c_str());
    rows_.push_back(load);
    if (input.utf8.size() < kSmallFile) rows_.push_back(perFile);
    rows_.push_back(readAll);
    if (!input.utf16.empty()) rows_.push_back(load16);
    for (const Row& row : {toMemory, toFile, memory, memoryRatio, peak}) rows_.push_back(row);
  }

  template <class Operation>
  void Time(Row& row, size_t i, double megabytes, Operation operation) {
    const double seconds = MedianSeconds(operation, Budget());
    row.cells[i].has = true;
    row.cells[i].value = megabytes / seconds;
  }

  struct Memory {
    double held = 0;  // bytes in use once loaded
    double peak = 0;  // most bytes in use while loading
    size_t nodes = 0;
  };

  static Memory MeasureMemoryIsolated(XmlLibrary& library, const Input& input) {
    Memory result;
    int channel[2];
    if (!HeapCountingActive() || pipe(channel) != 0) return result;
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
      close(channel[0]);
      SetHeapCounting(true);
      const int64_t before = CurrentHeapUse().current;
      ResetPeak();
      Memory measured;
      if (library.Load(input.utf8, input.encoding)) {
        const HeapUse after = CurrentHeapUse();
        measured.held = double(after.current - before);
        measured.peak = double(after.peak - before);
        measured.nodes = library.CountNodes();
      }
      const ssize_t written = write(channel[1], &measured, sizeof measured);
      _exit(written == ssize_t(sizeof measured) ? 0 : 1);
    }
    close(channel[1]);
    if (child > 0) {
      if (read(channel[0], &result, sizeof result) != ssize_t(sizeof result)) result = Memory();
      int status = 0;
      waitpid(child, &status, 0);
    }
    close(channel[0]);
    return result;
  }

  void RunLookup() {
    const size_t count = 100000;
    std::vector<std::string> names;
    names.reserve(count);
    for (size_t i = 0; i < count; ++i) names.push_back("item" + std::to_string(i));
    // The same spread of positions for every library.
    std::vector<size_t> queries;
    uint64_t state = 0x5eed0005;
    for (int i = 0; i < 256; ++i) {
      state = state * 6364136223846793005ull + 1442695040888963407ull;
      queries.push_back(size_t(state >> 33) % count);
    }
    const std::string label = "100,000 siblings";
    Row plain = NewRow(label, "lookup by name", "k/s");
    Row indexed = NewRow(label, "lookup with index", "k/s");
    Row speedUp = NewRow(label, "index speed-up", "×");
    for (size_t i = 0; i < libraries_.size(); ++i) {
      XmlLibrary& library = *libraries_[i];
      std::fprintf(stderr, "  lookup: %s\n", library.Name().c_str());
      library.BuildSiblings(names);
      auto lookups = [&] {
        for (size_t q : queries)
          if (!library.FindChild(q)) std::abort();
      };
      const double perSecond = double(queries.size()) / MedianSeconds(lookups, Budget()) / 1000;
      plain.cells[i] = Cell{true, perSecond, ""};
      if (!library.SupportsIndex()) {
        indexed.cells[i].note = "n/a";
        speedUp.cells[i].note = "n/a";
        continue;
      }
      library.SetIndexed(true);
      const double fast = double(queries.size()) / MedianSeconds(lookups, Budget()) / 1000;
      library.SetIndexed(false);
      indexed.cells[i] = Cell{true, fast, ""};
      speedUp.cells[i] = Cell{true, fast / perSecond, ""};
    }
    // The index is compared with each peer's own (linear) lookup.
    for (size_t i = 1; i < libraries_.size(); ++i) indexed.cells[i] = plain.cells[i];
    for (const Row& row : {plain, indexed, speedUp}) rows_.push_back(row);
  }

  // Resident memory of a process that loads one large document and lets it
  // go: before, with the tree loaded, and after it is freed, in a child
  // process per library so that each starts from the same state. Nothing
  // asks the allocator to trim; what stays is what a host would keep.
  struct Resident {
    double before = 0, loaded = 0, released = 0;  // bytes
  };

  static double ResidentBytes() {
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm) return 0;
    long size = 0, resident = 0;
    const bool ok = std::fscanf(statm, "%ld %ld", &size, &resident) == 2;
    std::fclose(statm);
    return ok ? double(resident) * double(sysconf(_SC_PAGESIZE)) : 0;
  }

  static bool MeasureResident(XmlLibrary& library, const std::vector<unsigned char>& document,
                              Resident& result) {
    int channel[2];
    if (pipe(channel) != 0) return false;
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
      close(channel[0]);
      Resident measured;
      measured.before = ResidentBytes();
      const bool loaded = library.Load(document, Encoding::kUtf8);
      measured.loaded = ResidentBytes();
      library.Free();
      measured.released = ResidentBytes();
      const ssize_t written = write(channel[1], &measured, sizeof measured);
      _exit(loaded && written == ssize_t(sizeof measured) ? 0 : 1);
    }
    close(channel[1]);
    bool ok = false;
    if (child > 0) {
      ok = read(channel[0], &result, sizeof result) == ssize_t(sizeof result);
      int status = 0;
      waitpid(child, &status, 0);
      ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    close(channel[0]);
    return ok;
  }

  void RunResident() {
    const size_t size = options_.quick ? 10 * 1000 * 1000 : 100 * 1000 * 1000;
    const std::string text = GenerateConfig(size);
    const std::vector<unsigned char> document(text.begin(), text.end());
    const std::string label = "config (generated) " + Format(double(document.size()) / 1e6) + " MB";
    Row before = NewRow(label, "resident before load", "MB", true);
    Row loaded = NewRow(label, "resident, loaded", "MB", true);
    Row released = NewRow(label, "resident after release", "MB", true);
    Row kept = NewRow(label, "kept after release", "% of before", true);
    for (size_t i = 0; i < libraries_.size(); ++i) {
      std::fprintf(stderr, "  resident: %s\n", libraries_[i]->Name().c_str());
      Resident r;
      if (!MeasureResident(*libraries_[i], document, r) || r.before <= 0) {
        for (Row* row : {&before, &loaded, &released, &kept}) row->cells[i].note = "fails";
        continue;
      }
      before.cells[i] = Cell{true, r.before / 1e6, ""};
      loaded.cells[i] = Cell{true, r.loaded / 1e6, ""};
      released.cells[i] = Cell{true, r.released / 1e6, ""};
      // Growth that stays after the release, as a share of where it began.
      const double growth = r.released > r.before ? r.released - r.before : 0;
      kept.cells[i] = Cell{true, 100 * growth / r.before, ""};
    }
    for (const Row& row : {before, loaded, released, kept}) rows_.push_back(row);
  }

  Options options_;
  std::vector<std::unique_ptr<XmlLibrary>> libraries_;
  std::vector<Row> rows_;
  std::map<std::pair<std::string, size_t>, Memory> memory_;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    std::string number;
    if (arg == "--library") {
      if (!value(options.library)) return false;
    } else if (arg == "--inputs") {
      if (!value(options.inputs)) return false;
    } else if (arg == "--work") {
      if (!value(options.work)) return false;
    } else if (arg == "--seconds") {
      if (!value(number)) return false;
      options.seconds = std::atof(number.c_str());
    } else if (arg == "--quick") {
      options.quick = true;
    } else if (arg == "--only") {
      if (!value(options.only)) return false;
      options.lookup = false;
      options.resident = false;
    } else if (arg == "--lookup") {
      options.lookup = true;
    } else if (arg == "--resident") {
      options.resident = true;
    } else {
      return false;
    }
  }
  return !options.library.empty() && !options.inputs.empty();
}

constexpr size_t kSmallConfigBytes = 4000;

std::vector<Input> LoadInputs(const Options& options) {
  struct Source {
    const char* label;
    std::string path;
    Encoding encoding;
  };
  // An empty path: the small configuration file generated here, so that the
  // per-file row exists on every machine.
  const std::vector<Source> sources = {
      {"small config (generated)", "", Encoding::kUtf8},
      {"fontconfig", "/etc/fonts/fonts.conf", Encoding::kUtf8},
      {"config (generated)", options.inputs + "/config.xml", Encoding::kUtf8},
      {"text (generated)", options.inputs + "/text.xml", Encoding::kUtf8},
      {"deep (generated)", options.inputs + "/deep.xml", Encoding::kUtf8},
      {"GB2312 (generated)", options.inputs + "/gb2312.xml", Encoding::kGb2312},
      {"MIME database", "/usr/share/mime/packages/freedesktop.org.xml", Encoding::kUtf8},
      {"ISO 639-3", "/usr/share/xml/iso-codes/iso_639-3.xml", Encoding::kUtf8},
      {"ISO 3166-2", "/usr/share/xml/iso-codes/iso_3166-2.xml", Encoding::kUtf8},
  };
  std::vector<Input> inputs;
  for (const Source& source : sources) {
    Input input;
    if (source.path.empty()) {
      const std::string text = GenerateConfig(kSmallConfigBytes);
      input.utf8.assign(text.begin(), text.end());
    } else if (!ReadFile(source.path, input.utf8)) {
      std::fprintf(stderr, "skipping %s: %s not readable\n", source.label, source.path.c_str());
      continue;
    }
    const double size = double(input.utf8.size());
    input.label = source.label + std::string(" ") +
                  (size < 64 * 1024 ? Format(size / 1e3) + " KB" : Format(size / 1e6) + " MB");
    if (input.label.find(options.only) == std::string::npos) continue;
    input.encoding = source.encoding;
    if (source.encoding == Encoding::kUtf8) input.utf16 = ToUtf16(input.utf8);
    inputs.push_back(std::move(input));
  }
  return inputs;
}

}  // namespace
}  // namespace bench

int main(int argc, char** argv) {
  bench::Options options;
  if (!bench::ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: %s --library PATH --inputs DIR [--work DIR] [--seconds S] [--quick] [--only TEXT]\n",
                 argv[0]);
    return 2;
  }
  std::vector<std::unique_ptr<bench::XmlLibrary>> libraries;
  libraries.push_back(bench::MakeKelmo(options.library));
  libraries.push_back(bench::MakePugixml());
  libraries.push_back(bench::MakeTinyxml2());
  libraries.push_back(bench::MakeLibxml2());
  const std::vector<bench::Input> inputs = bench::LoadInputs(options);
  if (inputs.empty() && !options.lookup) {
    std::fprintf(stderr, "no inputs\n");
    return 1;
  }
  bench::Bench run(options, std::move(libraries));
  run.Run(inputs);
  run.Print();
  std::printf("\n");
  run.PrintTargets();
  return 0;
}
