// The library's parser against the reference parser (the character-at-a-time
// machine it replaced, kept in reference_parser/): for the same bytes both
// must build the same tree (names, kinds, value types and texts, order),
// stop at the same node and report the same result, error code, line,
// column and offset. Checked through ParseBuffer, which feeds large input in
// pieces, and by feeding the decoded text directly, cut at places taken from
// the input, so that every construct is also met split between two feeds.
#ifndef KELMO_FUZZ_PARSER_DIFF_CHECK_H
#define KELMO_FUZZ_PARSER_DIFF_CHECK_H

#include <cstdint>
#include <string>
#include <vector>

#include "encoding/encoding.h"
#include "text/utf8_codec.h"
#include "reference_parser/xml_parser.h"
#include "tree_snapshot.h"
#include "api/kelmo_parser_impl.h"

namespace kelmo_fuzz {

// KelmoParserImpl::ParseBuffer step for step, with the reference parser.
class ReferenceFrontEnd {
 public:
  kelmo::reference::XmlParser parser;

  bool ParseBuffer(const uint8_t* bytes, uint32_t size) {
    using kelmo::ParseError;
    kelmo::TextDecoder decoder;
    uint32_t bomLength = 0;
    if (size == 0) return FailAfterReset(ParseError::NoElement);
    if (!kelmo::SniffDocument(decoder, bytes, size, bomLength, nullptr))
      return FailAfterReset(ParseError::Encoding);
    const kelmo::Encoding encoding = kelmo::EncodingOf(decoder.codePage, decoder.charset);
    if (size - bomLength > kelmo::DocumentPieces::kPieceBytes &&
        kelmo::DocumentPieces::Supports(encoding)) {
      parser.Reset();
      kelmo::DocumentPieces pieces(encoding, bytes + bomLength, size - bomLength);
      const kelmo::WChar* text = nullptr;
      uint32_t units = 0;
      while (pieces.Next(text, units)) {
        if (!parser.Feed(text, units)) return false;
      }
      if (pieces.Failed()) return FailAfterReset(ParseError::Encoding);
      return Finish();
    }
    const kelmo::WChar* text = nullptr;
    uint32_t units = 0;
    if (!decoder.Decode(bytes + bomLength, size - bomLength, text, units))
      return FailAfterReset(ParseError::Encoding);
    parser.Reset();
    if (!text || units == 0) return FailAfterReset(ParseError::NoElement);
    return parser.Feed(text, units) && Finish();
  }

  // KelmoParserImpl::FinishParse.
  bool Finish() {
    if (!parser.FinishInput()) return false;
    if (!parser.Root()->FirstChild()) {
      parser.SetError(kelmo::ParseError::NoElement);
      return false;
    }
    parser.ReleaseCurrent();
    return true;
  }

 private:
  bool FailAfterReset(kelmo::ParseError error) {
    parser.Reset();
    parser.SetError(error);
    return false;
  }
};

// Pre-order value types, which the snapshot's texts do not tell apart (a
// CDATA node's Bool true reads as the text "true").
inline std::vector<int> ValueTypes(TreeNode* root) {
  std::vector<int> types;
  TreeNode* node = root;
  while (node) {
    types.push_back(static_cast<int>(node->Type()));
    if (TreeNode* child = node->FirstChild()) {
      node = child;
      continue;
    }
    while (node != root && !node->NextSibling()) node = node->Parent();
    node = node == root ? nullptr : node->NextSibling();
  }
  return types;
}

// Pre-order index of node under root; -1 for null, -2 when not in the tree.
inline long PreOrderIndex(TreeNode* root, const TreeNode* wanted) {
  if (!wanted) return -1;
  long index = 0;
  TreeNode* node = root;
  while (node) {
    if (node == wanted) return index;
    ++index;
    if (TreeNode* child = node->FirstChild()) {
      node = child;
      continue;
    }
    while (node != root && !node->NextSibling()) node = node->Parent();
    node = node == root ? nullptr : node->NextSibling();
  }
  return -2;
}

struct ParseReport {
  bool ok = false;
  uint32_t error = 0, line = 0, column = 0, offset = 0;
  long current = -1;
  TreeSnapshot tree;
  std::vector<int> types;
};

template <class Parser>
ParseReport ReportOf(const Parser& parser, bool ok) {
  ParseReport report;
  report.ok = ok;
  report.error = parser.Error();
  report.line = parser.Line();
  report.column = parser.Column();
  report.offset = parser.Offset();
  TreeNode* root = parser.Root().get();
  report.current = PreOrderIndex(root, parser.Current().get());
  report.tree = Snapshot(root);
  report.types = ValueTypes(root);
  return report;
}

// Empty when the reports agree, otherwise the first difference.
inline std::string CompareReports(const ParseReport& expected, const ParseReport& actual,
                                  const std::string& what) {
  auto describe = [](const ParseReport& r) {
    return std::string(r.ok ? "ok" : "failed") + " error " + std::to_string(r.error) + " at " +
           std::to_string(r.line) + ":" + std::to_string(r.column) + " offset " +
           std::to_string(r.offset) + " current node " + std::to_string(r.current);
  };
  if (expected.ok != actual.ok || expected.error != actual.error ||
      expected.line != actual.line || expected.column != actual.column ||
      expected.offset != actual.offset || expected.current != actual.current)
    return what + ": reference " + describe(expected) + ", parser " + describe(actual);
  const std::string diff = CompareSnapshots(expected.tree, actual.tree);
  if (!diff.empty()) return what + ": " + diff;
  if (expected.types != actual.types) return what + ": value types differ";
  return std::string();
}

// One feed: UTF-16 units, or UTF-8 bytes read as they stand.
template <class Parser>
bool FeedPiece(Parser& parser, const kelmo::WChar* text, uint32_t units) {
  return parser.Feed(text, units);
}
inline bool FeedPiece(kelmo::XmlParser& parser, const char* bytes, uint32_t size) {
  return parser.FeedBytes(bytes, size);
}

// Feeds text cut at the given offsets (ascending, within the text) and ends
// the input as a parse entry does.
template <class Parser, class Unit>
bool FeedInCuts(Parser& parser, const Unit* text, uint32_t units,
                const std::vector<uint32_t>& cuts) {
  parser.Reset();
  uint32_t from = 0;
  for (uint32_t cut : cuts) {
    if (cut > from && !FeedPiece(parser, text + from, cut - from)) return false;
    if (cut > from) from = cut;
  }
  if (units > from && !FeedPiece(parser, text + from, units - from)) return false;
  return parser.FinishInput();
}

// Up to seven cuts taken from a hash of the input, so that the fuzzer can
// steer them by changing bytes it does not otherwise care about.
inline std::vector<uint32_t> CutsFor(const uint8_t* data, size_t size, uint32_t units) {
  std::vector<uint32_t> cuts;
  if (units < 2) return cuts;
  uint64_t hash = 1469598103934665603ull;
  for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 1099511628211ull;
  const uint32_t count = 1 + static_cast<uint32_t>(hash % 7);
  uint32_t at = 0;
  for (uint32_t k = 0; k < count && at + 1 < units; ++k) {
    hash = hash * 6364136223846793005ull + 1442695040888963407ull;
    // Mostly short steps, so that cuts land inside small constructs.
    const uint32_t span = (hash >> 60) < 12 ? 8 : units;
    at += 1 + static_cast<uint32_t>((hash >> 20) % span);
    if (at >= units) break;
    cuts.push_back(at);
  }
  return cuts;
}

// Well-formed UTF-8 read as bytes, cut at places taken from the input (moved
// on to the next whole character), against the reference's report for the
// decoded text.
inline std::string CheckBytesInCuts(const uint8_t* data, uint32_t size,
                                    const ParseReport& expected) {
  kelmo::TextDecoder decoder;
  uint32_t bomLength = 0;
  if (!kelmo::SniffDocument(decoder, data, size, bomLength, nullptr) ||
      kelmo::EncodingOf(decoder.codePage, decoder.charset) !=
          kelmo::Encoding{kelmo::kCodePageUtf8, {}})
    return std::string();
  const uint8_t* bytes = data + bomLength;
  const uint32_t length = size - bomLength;
  if (length == 0 || !kelmo::text::IsWellFormedUtf8(bytes, length)) return std::string();
  std::vector<uint32_t> cuts;
  for (uint32_t cut : CutsFor(data, size, length)) {
    while (cut < length && (bytes[cut] & 0xC0) == 0x80) ++cut;
    if (cut < length && (cuts.empty() || cut > cuts.back())) cuts.push_back(cut);
  }
  kelmo::XmlParser parser;
  const bool ok = FeedInCuts(parser, reinterpret_cast<const char*>(bytes), length, cuts);
  return CompareReports(expected, ReportOf(parser, ok),
                        "UTF-8 fed in " + std::to_string(cuts.size() + 1) + " pieces");
}

// Empty when the parsers agree on the input, otherwise the first difference.
inline std::string CheckAgainstReference(const uint8_t* data, size_t size) {
  if (size > 0xFFFFFFu) return std::string();
  const uint32_t n = static_cast<uint32_t>(size);
  {
    kelmo::RefPtr<kelmo::KelmoParserImpl> parser(new kelmo::KelmoParserImpl, kelmo::adopt_ref);
    const bool ok = parser->ParseBuffer(data, n);
    ReferenceFrontEnd reference;
    const bool okReference = reference.ParseBuffer(data, n);
    const std::string diff = CompareReports(ReportOf(reference.parser, okReference),
                                            ReportOf(parser->Parser(), ok), "ParseBuffer");
    if (!diff.empty()) return diff;
  }
  kelmo::TextDecoder decoder;
  const kelmo::WChar* text = nullptr;
  uint32_t units = 0;
  if (!kelmo::DecodeDocument(decoder, data, n, text, units, nullptr) || units == 0)
    return std::string();
  const std::vector<uint32_t> cuts = CutsFor(data, size, units);
  kelmo::XmlParser parser;
  const bool ok = FeedInCuts(parser, text, units, cuts);
  kelmo::reference::XmlParser reference;
  const bool okReference = FeedInCuts(reference, text, units, cuts);
  const ParseReport expected = ReportOf(reference, okReference);
  const std::string diff = CompareReports(expected, ReportOf(parser, ok),
                                          "fed in " + std::to_string(cuts.size() + 1) + " pieces");
  if (!diff.empty()) return diff;
  return CheckBytesInCuts(data, n, expected);
}

}  // namespace kelmo_fuzz

#endif  // KELMO_FUZZ_PARSER_DIFF_CHECK_H
