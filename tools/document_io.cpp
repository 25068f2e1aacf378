#include "document_io.h"

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "document_text.h"
#include "file_system.h"
#include "os/safe_file_writer.h"
#include "source_excerpt.h"
#include "kelmo/easy/decoding.hpp"
#include "syntax/byte_order_marks.h"
#include "text/unicode_units.h"
#include "tool_error.h"
#include "unclosed_markup.h"

namespace kelmo_tool {
namespace {

using kelmo::RefPtr;
using kelmo::WChar;
using kelmo::XInRes;
using kelmo::easy::FromWide;
using kelmo::easy::Layout;
using kelmo::easy::Library;
using kelmo::easy::Node;

constexpr unsigned int kParseErrorFile = static_cast<unsigned int>(kelmo::ParseError::File);
constexpr unsigned int kParseErrorEncoding = static_cast<unsigned int>(kelmo::ParseError::Encoding);

// Lines and columns count from 1; a column the parser could not tell is the
// line's first.
std::string Diagnostic(const std::string& label, unsigned int line, unsigned int column,
                       const std::string& message, unsigned int code) {
  return label + ":" + std::to_string(line == 0 ? 1 : line) + ":" + std::to_string(column == 0 ? 1 : column) +
         ": " + message +
         " (error " + std::to_string(code) + ")";
}

// For problems of the file as a whole, which have no position in it.
std::string FileDiagnostic(const std::string& label, const std::string& message, unsigned int code) {
  return label + ": " + message + " (error " + std::to_string(code) + ")";
}

std::string CodePoint(char32_t c) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
  return text;
}

// The first character of the text that the encoding cannot carry, or 0.
char32_t FirstUncarried(kelmo::Repertoire& repertoire, std::u16string_view text) {
  for (size_t i = 0; i < text.size();) {
    const char32_t c = kelmo::text::NextCodePoint(text.data(), text.size(), i);
    if (!repertoire.Carries(c)) return c;
  }
  return 0;
}

// Text and attribute values can hold any character: the library writes what
// the encoding cannot carry as character references. Names and CDATA
// sections cannot, and the library refuses to save them; say which one.
void CheckEncodable(const Node& root, const EncodingInfo& encoding) {
  kelmo::Repertoire repertoire(encoding.encoding);
  if (repertoire.CarriesAll()) return;
  std::vector<Node> pending{root};
  while (!pending.empty()) {
    const Node node = pending.back();
    pending.pop_back();
    const WChar* text = nullptr;
    unsigned int length = 0;
    RefPtr<XInRes> holder;
    if (node->GetNameW(text, length, holder)) {
      if (const char32_t c = FirstUncarried(repertoire, FromWide(text, length))) {
        throw ToolError(kExitDocument, "cannot write the document in " + encoding.name + ": the name \"" +
                            kelmo::easy::ToUtf8(FromWide(text, length)) + "\" holds " + CodePoint(c) +
                            ", which has no form in that encoding; choose another with --encoding");
      }
    }
    if (node->GetKind() == static_cast<int>(kelmo::NodeKind::CData) && node->GetStringW(text, length, holder)) {
      if (const char32_t c = FirstUncarried(repertoire, FromWide(text, length))) {
        throw ToolError(kExitDocument, "cannot write the document in " + encoding.name + ": a CDATA section holds " +
                            CodePoint(c) + ", which has no form in that encoding; choose another with --encoding");
      }
    }
    for (Node child = node->GetFirstChild(); child; child = child->GetNextSibling()) pending.push_back(child);
  }
}

// The bytes of the file the library saves: written to a temporary file and
// read back, so that they can go to standard output or through the same
// writer, with the same report, as an edit.
std::string SavedBytes(const Library& library, const Node& root, const Layout& layout) {
  std::string why;
  const std::string temporary = CreateTemporaryFile(why);
  if (temporary.empty()) throw ToolError(kExitDocument, "cannot create a temporary file: " + why);
  TemporaryFile guard(temporary);
  std::string bytes;
  if (const kelmo::easy::SaveResult saved = library.SaveFile(root, temporary, layout); !saved)
    throw ToolError(kExitDocument, "cannot write the document: " + saved.reason);
  if (!ReadInputFile(temporary, bytes, why))
    throw ToolError(kExitDocument, "cannot write the document: " + why);
  return bytes;
}

// Standard output gets the saved file's bytes; a byte-order mark only when
// asked for, since a pipe or a terminal has no use for one.
void SaveToStandardOutput(const Library& library, const Node& root, const Layout& layout,
                          bool byteOrderMark) {
  std::string bytes = SavedBytes(library, root, layout);
  if (!byteOrderMark) DropNeedlessMark(bytes);
  if (!WriteStandardOutput(bytes)) throw ToolError(kExitDocument, "cannot write to standard output");
}

// A file that could not be replaced whole was overwritten where it stands:
// had the process been stopped while writing, it would hold part of the new
// text and part of the old. The user should know that it happened, whichever
// of the writer's in-place routes it took (the writer reports the route).
void NoteWrittenInPlace(const std::string& path, bool ok) {
  std::fprintf(stderr,
               "kelmo: note: %s %s in place, not through a new file (it has other hard links, "
               "no file can be made in its directory, or it was named through another process's "
               "descriptor); a crash while writing leaves such a file part new, part old\n",
               path.c_str(), ok ? "was rewritten" : "was being rewritten");
}

}  // namespace

void DropNeedlessMark(std::string& bytes) {
  for (std::string_view mark : kelmo::syntax::kByteOrderMarks) {
    if (bytes.compare(0, mark.size(), mark) != 0) continue;
    const std::string_view rest = std::string_view(bytes).substr(mark.size());
    if (ReadIn(rest, DetectDocumentEncoding(bytes))) bytes.erase(0, mark.size());
    return;
  }
}

namespace {

unsigned int ShownLine(unsigned int line, const FailedText& text) {
  return static_cast<unsigned int>(static_cast<int>(line) - text.lineShift);
}

}  // namespace

DocumentError FailureError(const std::string& label, const kelmo::easy::ParseFailure& failure,
                           const FailedText& text) {
  const std::string message = kelmo::easy::ParseErrorMessage(failure.code);
  // Nothing at all was read (an empty file): the file as a whole. A
  // document without an element has no one place to point at.
  if (failure.column == 0) return DocumentError(FileDiagnostic(label, message, failure.code));
  if (failure.code == static_cast<unsigned int>(kelmo::ParseError::NoElement))
    return DocumentError(Diagnostic(label, failure.line, failure.column, message, failure.code));
  unsigned int line = failure.line;
  unsigned int column = failure.column;
  std::string cause = message;
  if (failure.code == static_cast<unsigned int>(kelmo::ParseError::BadReference)) {
    column = ReferenceStartColumn(text.bytes, ShownLine(line, text), column);
    if (text.declaresEntities)
      cause += "; entities declared in a DTD are not read, only &lt; &gt; &amp; &apos; &quot; and "
               "character references";
  } else if (failure.code == static_cast<unsigned int>(kelmo::ParseError::Truncated)) {
    // The parser stops at the end of the text; point at what was left open.
    const std::optional<Unclosed> open =
        text.unclosed ? *text.unclosed : FindUnclosed(DecodeAsParserDoes(text.bytes));
    if (open) {
      line = open->where.line;
      column = open->where.column;
      cause = "the document ends too early: " + open->message;
    }
  }
  const unsigned int shown = ShownLine(line, text);
  return DocumentError(Diagnostic(label, line, CharacterColumn(text.bytes, shown, column), cause, failure.code) +
                       "\n" + SourceExcerpt(text.bytes, shown, column));
}

DocumentError TooLargeDocument(const std::string& label) {
  return DocumentError(FileDiagnostic(label, "cannot read file: it is 4 GiB or larger", kParseErrorFile));
}

LoadedDocument LoadDocument(const Library& library, const std::string& file) {
  LoadedDocument doc;
  const bool fromStdin = file == "-";
  doc.label = fromStdin ? "<stdin>" : file;
  doc.path = fromStdin ? std::string() : file;
  std::string why;
  if (!(fromStdin ? ReadStandardInput(doc.bytes, why) : ReadInputFile(file, doc.bytes, why)))
    throw DocumentError(FileDiagnostic(doc.label, "cannot read file: " + why, kParseErrorFile));
  return ParseDocument(library, std::move(doc));
}

LoadedDocument ParseDocument(const Library& library, LoadedDocument doc) {
  if (doc.bytes.size() >= kelmo::kWholeText) throw TooLargeDocument(doc.label);
  // One sniff and one decode serve the encoding, the repairs and the parse:
  // the library reads the decoded text. Bytes that do not decode, and UTF-16
  // cut inside a unit, go to the library as bytes, so that it reports them
  // as it reports them to every host.
  const DecodedDocument decoded = DecodeDocumentOnce(doc.bytes);
  doc.encoding = decoded.encoding;
  doc.repairs = FindInputRepairs(doc.bytes, decoded);
  doc.document = decoded.decoded && !decoded.halfUnitAtEnd && !decoded.text.empty()
                     ? library.ParseText(decoded.text)
                     : library.Parse(doc.bytes);
  if (!doc.document) {
    const kelmo::easy::ParseFailure& failure = doc.document.error();
    FailedText text{doc.bytes};
    // A document that declares its own entities expects them to be read.
    if (failure.code == static_cast<unsigned int>(kelmo::ParseError::BadReference))
      text.declaresEntities = DecodeAsParserDoes(doc.bytes).find(u"<!ENTITY") != std::u16string::npos;
    throw FailureError(doc.label, failure, text);
  }
  // The parser fails a document without an element, so there is one.
  doc.element = doc.document.element();
  return doc;
}

std::vector<OptionSpec> EditOutputOptionSpecs() {
  return {{"--output", "-o", true}, {"--in-place", "-i", false}, {"--force", "", false}};
}

std::vector<OptionSpec> OutputOptionSpecs() {
  std::vector<OptionSpec> specs = EditOutputOptionSpecs();
  specs.insert(specs.end(), {{"--indent", "", true}, {"--newline", "", true}, {"--encoding", "", true}});
  return specs;
}

OutputChoice ChooseOutput(const Arguments& args, const std::string& inputFile) {
  OutputChoice choice;
  choice.force = args.Has("--force");
  const std::optional<std::string> output = args.Value("--output");
  if (args.Has("--in-place")) {
    if (output) throw UsageError("-i and -o cannot be used together");
    if (inputFile == "-") throw UsageError("-i needs a file; standard input cannot be rewritten");
    if (!IsRegularFileOrMissing(inputFile))
      throw UsageError("-i needs a regular file; " + inputFile + " is not one");
    choice.where = OutputChoice::Where::InPlace;
    choice.path = inputFile;
  } else if (output && *output != "-") {
    if (output->empty()) throw UsageError("-o needs a file name");
    choice.where = OutputChoice::Where::File;
    choice.path = *output;
  }
  return choice;
}

OutputChoice ChooseOutput(const Arguments& args, const LoadedDocument& input) {
  return ChooseOutput(args, input.path.empty() ? std::string("-") : input.path);
}

Layout ChooseLayout(const Arguments& args, const EncodingInfo& inputEncoding,
                    EncodingInfo& outputEncoding) {
  Layout layout;
  if (std::optional<std::string> indent = args.Value("--indent")) {
    std::string unit;
    const bool number = !indent->empty() && indent->size() <= 2 &&
                        indent->find_first_not_of("0123456789") == std::string::npos;
    if (number) {
      unit.assign(static_cast<size_t>(std::stoi(*indent)), ' ');
    } else {
      for (size_t i = 0; i < indent->size(); ++i) {
        if ((*indent)[i] == '\\' && i + 1 < indent->size() && (*indent)[i + 1] == 't') {
          unit += '\t';
          ++i;
        } else if ((*indent)[i] == ' ' || (*indent)[i] == '\t') {
          unit += (*indent)[i];
        } else {
          // Anything else would become part of the elements' text.
          throw UsageError("--indent takes spaces and tabs (\\t), or a number of spaces");
        }
      }
    }
    layout.indent = unit;
  }
  if (std::optional<std::string> newline = args.Value("--newline")) {
    if (*newline == "lf") {
      layout.newline = "\n";
    } else if (*newline == "crlf") {
      layout.newline = "\r\n";
    } else if (*newline == "none") {
      layout.newline.clear();
    } else {
      throw UsageError("--newline takes lf, crlf or none, not \"" + *newline + "\"");
    }
  }
  // A document on one line has no use for indentation unless asked for.
  if (layout.newline.empty() && !args.Has("--indent")) layout.indent.clear();
  // An input in an encoding that no converter knows was read in the
  // default one; it can only be written in one that is known.
  outputEncoding = inputEncoding.known ? inputEncoding : Utf8Encoding();
  if (std::optional<std::string> name = args.Value("--encoding")) {
    std::optional<EncodingInfo> found = FindEncodingByName(*name);
    if (!found) {
      throw UsageError("unknown encoding \"" + *name + "\"; known encodings: " +
                       KnownEncodingNames() + ", and the names the system's converter knows");
    }
    outputEncoding = *found;
  }
  layout.encoding = outputEncoding.name;
  return layout;
}

void RefuseRepaired(const LoadedDocument& doc, const OutputChoice& output) {
  if (doc.repairs.empty() || output.force) return;
  const InputRepair& first = doc.repairs.front();
  throw DocumentError(Diagnostic(doc.label, first.line, first.column, first.message, kParseErrorEncoding) +
                      "\nkelmo: refusing to rewrite " + doc.label +
                      ": it was not read as written, and the rewrite would keep what the reader "
                      "made of it (U+FFFD for bytes that did not decode); nothing was written. "
                      "--force rewrites it anyway");
}

void RefuseUnwritableEncoding(const Library& library, const EncodingInfo& encoding) {
  Layout layout;
  layout.encoding = encoding.name;
  try {
    SavedBytes(library, library.CreateNode("a"), layout);
  } catch (const ToolError&) {
    throw UsageError("the library cannot write " + encoding.name +
                     ": a document in it would not read back as written; choose another with --encoding");
  }
}

void WriteDocument(const Library& library, const LoadedDocument& doc, const Layout& layout,
                   const EncodingInfo& encoding, const OutputChoice& output, bool byteOrderMark) {
  const Node& root = doc.document.root();
  RefuseRepaired(doc, output);
  CheckEncodable(root, encoding);
  if (output.where == OutputChoice::Where::StandardOutput) {
    SaveToStandardOutput(library, root, layout, byteOrderMark);
    return;
  }
  // The library's writer replaces the file safely: the old one stays whole
  // if anything fails, and where it cannot be replaced whole the user hears.
  WriteBytes(SavedBytes(library, root, layout), output);
}

void WriteBytes(const std::string& bytes, const OutputChoice& output) {
  if (output.where == OutputChoice::Where::StandardOutput) {
    if (!WriteStandardOutput(bytes)) throw ToolError(kExitDocument, "cannot write to standard output");
    return;
  }
  const kelmo::os::ByteRange part{reinterpret_cast<const unsigned char*>(bytes.data()),
                                        bytes.size()};
  kelmo::os::WriteRoute route = kelmo::os::WriteRoute::Replaced;
#if defined(_WIN32)
  const bool ok = kelmo::os::ReplaceFileW(kelmo::easy::AsWide(kelmo::easy::ToUtf16(output.path)), &part, 1, &route);
#else
  const bool ok = kelmo::os::ReplaceFileA(output.path.c_str(), &part, 1, &route);
#endif
  if (route == kelmo::os::WriteRoute::InPlace) NoteWrittenInPlace(output.path, ok);
  if (!ok) {
    throw ToolError(kExitDocument,
                    "cannot write " + output.path + ": " + kelmo::easy::WhyCannotWrite(output.path));
  }
}

const char kRewriteLoses[] =
    "a rewrite from the tree loses comments, processing instructions, the DOCTYPE, "
    "text beside elements, line ends, indentation and quotes, and keeps U+FFFD "
    "where bytes did not decode";

// A loop, so that depth costs no stack.
bool SameTree(const Node& left, const Node& right) {
  std::vector<std::pair<Node, Node>> pending{{left, right}};
  const WChar *a = nullptr, *b = nullptr;
  unsigned int aLength = 0, bLength = 0;
  auto same = [&](bool hasA, bool hasB) {
    return hasA == hasB && (!hasA || (aLength == bLength && std::char_traits<WChar>::compare(a, b, aLength) == 0));
  };
  while (!pending.empty()) {
    const Node x = pending.back().first, y = pending.back().second;
    pending.pop_back();
    if (!x || !y) {
      if (x || y) return false;
      continue;
    }
    if (x->GetKind() != y->GetKind()) return false;
    RefPtr<XInRes> holdA, holdB;
    const bool nameA = x->GetNameW(a, aLength, holdA), nameB = y->GetNameW(b, bLength, holdB);
    if (!same(nameA, nameB)) return false;
    // An empty value is written as no value at all.
    RefPtr<XInRes> valueA, valueB;
    const bool hasA = !x->IsEmpty() && x->GetStringW(a, aLength, valueA) && aLength > 0;
    const bool hasB = !y->IsEmpty() && y->GetStringW(b, bLength, valueB) && bLength > 0;
    if (!same(hasA, hasB)) return false;
    Node cx = x->GetFirstChild(), cy = y->GetFirstChild();
    for (; cx && cy; cx = cx->GetNextSibling(), cy = cy->GetNextSibling()) pending.emplace_back(cx, cy);
    if (cx || cy) return false;
  }
  return true;
}

void WriteEdit(const Library& library, const LoadedDocument& doc, const Arguments& args,
               const OutputChoice& output, const SourceEdit& edit) {
  std::string why, bytes;
  DocumentText text;
  std::vector<SourceChange> changes;
  bool made = text.Open(doc.bytes, doc.encoding, why) && edit(text, changes, why);
  if (made) {
    std::vector<DocumentText::Piece> pieces;
    for (const SourceChange& change : changes) pieces.push_back({change.begin, change.end, change.text});
    made = text.Splice(pieces, bytes, why);
  }
  if (made) {
    // The edited text must read back as the tree with the change made.
    const kelmo::easy::Document reread = library.Parse(bytes);
    made = reread && SameTree(reread.root(), doc.document.root());
    if (!made) why = "the edited text would not read back as the intended change";
  }
  if (made) {
    WriteBytes(bytes, output);
    return;
  }
  if (!output.force) {
    throw ToolError(kExitDocument, doc.label + ": cannot make the change where it stands in the text: " + why +
                        "; nothing was written. --force rewrites the whole document instead, but " +
                        kRewriteLoses);
  }
  EncodingInfo encoding{};
  const Layout layout = ChooseLayout(args, doc.encoding, encoding);
  WriteDocument(library, doc, layout, encoding, output, false);
}

}  // namespace kelmo_tool
