#include "document_io.h"

#include <cstdio>

#include "document_text.h"
#include "file_system.h"
#include "platform/safe_file_writer.h"
#include "source_excerpt.h"
#include "tool_error.h"

namespace kelmo_tool {
namespace {

using kelmo::RefPtr;
using kelmo::WChar;
using kelmo::XInRes;
using kelmo::easy::AsWide;
using kelmo::easy::FromWide;
using kelmo::easy::Layout;
using kelmo::easy::Library;
using kelmo::easy::Node;
using kelmo::easy::ToUtf16;

constexpr unsigned int kParseErrorFile = static_cast<unsigned int>(kelmo::ParseError::File);

std::string Diagnostic(const std::string& label, unsigned int line, unsigned int column,
                       const std::string& message, unsigned int code) {
  return label + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " + message +
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

// The first character of the wide text that the narrow round trip changed,
// with its line in the file: the declaration comes first, on a line of its
// own unless the layout has no line ends.
std::string DescribeLoss(std::u16string_view original, std::u16string_view back,
                         bool declarationLine) {
  size_t i = 0;
  while (i < original.size() && i < back.size() && original[i] == back[i]) ++i;
  if (i >= original.size()) return "the text";
  size_t line = declarationLine ? 2 : 1;
  for (size_t k = 0; k < i; ++k) line += original[k] == u'\n';
  char32_t c = original[i];
  if (c >= 0xD800 && c <= 0xDBFF && i + 1 < original.size()) {
    c = 0x10000 + ((c - 0xD800) << 10) + (original[i + 1] - 0xDC00);
  }
  const std::string shown =
      (c >= 0x20 && !(c >= 0xD800 && c <= 0xDFFF)) ? " '" + kelmo::easy::ToUtf8(original.substr(i, c >= 0x10000 ? 2 : 1)) + "'" : "";
  return "character " + CodePoint(c) + shown + " (output line " + std::to_string(line) + ")";
}

// Converters replace what an encoding cannot hold instead of failing, so a
// save could silently change the document. Encode the text the way the save
// will, decode it again, and refuse when anything changed.
void CheckEncodable(const Library& library, const Node& root, const Layout& layout,
                    const EncodingInfo& encoding) {
  if (IsUtf16(encoding)) return;
  RefPtr<kelmo::KelmoTraversal> traversal = library.CreateTraversal();
  const std::u16string indent = ToUtf16(layout.indent), newline = ToUtf16(layout.newline);
  RefPtr<XInRes> wideHolder, narrowHolder, backHolder;
  unsigned int wideLength = 0, narrowLength = 0, backLength = 0;
  const WChar* wide = traversal->ToXmlW(root, &wideLength, AsWide(indent), AsWide(newline), wideHolder);
  if (wideLength == 0) return;
  const char* narrow = traversal->ToXmlA(root, &narrowLength, layout.indent.c_str(),
                                         layout.newline.c_str(), encoding.codePage, narrowHolder);
  std::u16string_view back;
  Node probe = library.CreateNode();
  if (narrowLength > 0) {
    probe->SetStringA(narrow, narrowLength, encoding.codePage);
    const WChar* backText = nullptr;
    if (probe->GetStringW(backText, backLength, backHolder)) back = FromWide(backText, backLength);
  }
  const std::u16string_view original = FromWide(wide, wideLength);
  if (back != original) {
    throw ToolError(kExitDocument, "cannot write the document in " + std::string(encoding.name) + ": " +
                        DescribeLoss(original, back, !layout.newline.empty()) +
                        " has no form in that encoding; choose another with --encoding");
  }
}

// Standard output gets the saved file's bytes; a byte-order mark only when
// asked for, since a pipe or a terminal has no use for one.
void SaveToStandardOutput(const Library& library, const Node& root, const Layout& layout,
                          bool byteOrderMark) {
  std::string why;
  const std::string temporary = CreateTemporaryFile(why);
  if (temporary.empty()) throw ToolError(kExitDocument, "cannot create a temporary file: " + why);
  TemporaryFile guard(temporary);
  std::string bytes;
  if (!library.SaveFile(root, temporary, layout) || !ReadWholeFile(temporary, bytes, why))
    throw ToolError(kExitDocument, "cannot write the document: saving it failed");
  if (!byteOrderMark) {
    for (std::string_view mark : {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"}) {
      if (bytes.compare(0, mark.size(), mark) == 0) {
        bytes.erase(0, mark.size());
        break;
      }
    }
  }
  if (!WriteStandardOutput(bytes)) throw ToolError(kExitDocument, "cannot write to standard output");
}

}  // namespace

LoadedDocument LoadDocument(const Library& library, const std::string& file) {
  LoadedDocument doc;
  const bool fromStdin = file == "-";
  doc.label = fromStdin ? "<stdin>" : file;
  doc.path = fromStdin ? std::string() : file;
  std::string why;
  if (!(fromStdin ? ReadStandardInput(doc.bytes, why) : ReadWholeFile(file, doc.bytes, why)))
    throw DocumentError(FileDiagnostic(doc.label, "cannot read file: " + why, kParseErrorFile));
  if (doc.bytes.size() >= kelmo::kWholeText) {
    throw DocumentError(
        FileDiagnostic(doc.label, "cannot read file: it is 4 GiB or larger", kParseErrorFile));
  }
  // Nothing at all is "no document", as the parser says for empty text.
  if (doc.bytes.empty()) throw DocumentError(FileDiagnostic(doc.label, "the document is empty", 0));
  doc.encoding = DetectEncoding(doc.bytes);
  doc.document = library.Parse(doc.bytes);
  const kelmo::easy::ParseFailure& failure = doc.document.error();
  if (!doc.document) {
    std::string message = kelmo::easy::ParseErrorMessage(failure.code);
    // The parser cannot tell the encoding of fewer than four bytes and says
    // so; to a person, such a file is simply empty or too short.
    if (failure.code == static_cast<unsigned int>(kelmo::ParseError::Encoding) &&
        doc.bytes.size() < 4) {
      message = "the document is too short to be XML";
    }
    unsigned int column = failure.column;
    if (failure.code == static_cast<unsigned int>(kelmo::ParseError::BadReference))
      column = ReferenceStartColumn(doc.bytes, doc.encoding, failure.line, column);
    throw DocumentError(Diagnostic(doc.label, failure.line, column, message, failure.code) +
                        "\n" + SourceExcerpt(doc.bytes, doc.encoding, failure.line, column));
  }
  doc.element = doc.document.element();
  if (!doc.element) {
    throw DocumentError(Diagnostic(doc.label, failure.line, failure.column,
                                   "the document has no element", 0));
  }
  return doc;
}

std::vector<OptionSpec> EditOutputOptionSpecs() {
  return {{"--output", "-o", true}, {"--in-place", "-i", false}};
}

std::vector<OptionSpec> OutputOptionSpecs() {
  std::vector<OptionSpec> specs = EditOutputOptionSpecs();
  specs.insert(specs.end(), {{"--indent", "", true}, {"--newline", "", true}, {"--encoding", "", true}});
  return specs;
}

OutputChoice ChooseOutput(const Arguments& args, const std::string& inputFile) {
  OutputChoice choice;
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
  outputEncoding = inputEncoding;
  if (std::optional<std::string> name = args.Value("--encoding")) {
    std::optional<EncodingInfo> found = FindEncoding(*name);
    if (!found) {
      throw UsageError("unknown encoding \"" + *name + "\"; known encodings: " +
                       KnownEncodingNames());
    }
    outputEncoding = *found;
  }
  layout.encoding = outputEncoding.name;
  return layout;
}

void WriteDocument(const Library& library, const LoadedDocument& doc, const Layout& layout,
                   const EncodingInfo& encoding, const OutputChoice& output, bool byteOrderMark) {
  const Node& root = doc.document.root();
  CheckEncodable(library, root, layout, encoding);
  if (output.where == OutputChoice::Where::StandardOutput) {
    SaveToStandardOutput(library, root, layout, byteOrderMark);
    return;
  }
  // The library's save replaces the file safely: the old one stays whole if
  // anything fails.
  if (const kelmo::easy::SaveResult saved = library.SaveFile(root, output.path, layout); !saved)
    throw ToolError(kExitDocument, "cannot write " + output.path + ": " + saved.reason);
}

void WriteBytes(const std::string& bytes, const OutputChoice& output) {
  if (output.where == OutputChoice::Where::StandardOutput) {
    if (!WriteStandardOutput(bytes)) throw ToolError(kExitDocument, "cannot write to standard output");
    return;
  }
  const kelmo::platform::ByteRange part{reinterpret_cast<const unsigned char*>(bytes.data()),
                                        bytes.size()};
#if defined(_WIN32)
  const bool ok = kelmo::platform::ReplaceFileW(AsWide(ToUtf16(output.path)), &part, 1);
#else
  const bool ok = kelmo::platform::ReplaceFileA(output.path.c_str(), &part, 1);
#endif
  if (!ok) {
    throw ToolError(kExitDocument,
                    "cannot write " + output.path + ": " + kelmo::easy::WhyCannotWrite(output.path));
  }
}

std::string EditDocumentText(const Library& library, const LoadedDocument& doc,
                             const SourceEdit& edit) {
  auto refuse = [&](const std::string& why) {
    return DocumentError(doc.label + ": cannot change the document in place: " + why);
  };
  std::string why;
  DocumentText text;
  if (!DecodeDocumentText(library, doc.bytes, doc.encoding, text, why)) throw refuse(why);
  SourceDocument layout;
  if (!ScanXmlSource(text.utf8, layout, why)) throw refuse(why);
  if (!edit(text.utf8, layout, !HoldsAllCharacters(doc.encoding), why)) throw refuse(why);
  std::string bytes;
  if (!EncodeDocumentText(library, text, doc.encoding, bytes, why)) throw refuse(why);
  // The edited text must read back as the tree with the change made reads
  // back once written out.
  const std::string intended = library.ToXml(doc.document.root());
  const kelmo::easy::Document intendedTree = library.Parse(intended);
  const kelmo::easy::Document reread = library.Parse(bytes);
  if (intended.empty() || !intendedTree || !reread ||
      library.ToXml(reread.root()) != library.ToXml(intendedTree.root()))
    throw refuse("the edited text would not read back as the intended change");
  return bytes;
}

}  // namespace kelmo_tool
