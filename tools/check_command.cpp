#include <cstdio>
#include <string>

#include "command_line.h"
#include "commands.h"
#include "document_io.h"
#include "encodings.h"
#include "file_system.h"
#include "streamed_check.h"
#include "strict_reading.h"
#include "tool_error.h"

namespace kelmo_tool {

namespace {

void PrintError(const DocumentError& error) {
  std::string message = error.what();
  if (message.empty() || message.back() != '\n') message += '\n';
  std::fputs(message.c_str(), stderr);
}

void PrintWarning(const std::string& label, const StrictWarning& warning) {
  const std::string message = label + ":" + std::to_string(warning.line) + ":" +
                              std::to_string(warning.column) + ": warning: " + warning.message + "\n";
  std::fputs(message.c_str(), stderr);
}

// A document that parses may still not have been read as written, and may
// hold what the library's lenient reader passed over and a strict reader
// would refuse: a warning, and a failure with --strict.
int Report(const std::string& label, const std::vector<InputRepair>& repairs,
           const std::vector<StrictWarning>& warnings, bool strict) {
  int status = kExitOk;
  for (const InputRepair& repair : repairs) {
    const std::string message = label + ":" + std::to_string(repair.line) + ":" +
                                std::to_string(repair.column) + ": " + repair.message + " (error " +
                                std::to_string(static_cast<unsigned int>(kelmo::ParseError::Encoding)) + ")\n";
    std::fputs(message.c_str(), stderr);
    status = kExitDocument;
  }
  for (const StrictWarning& warning : warnings) {
    PrintWarning(label, warning);
    if (strict) status = kExitDocument;
  }
  return status;
}

// The document read whole and parsed by the library: for what the streamed
// reading leaves to it, with the messages that show where and why a
// document does not parse. Standard input comes from the copy kept of it.
int CheckWhole(ToolContext& context, const std::string& file, const std::string& copy, bool strict) {
  try {
    LoadedDocument doc;
    if (copy.empty()) {
      doc = LoadDocument(context.library(), file);
    } else {
      doc.label = "<stdin>";
      std::string why;
      if (!ReadInputFile(copy, doc.bytes, why)) throw DocumentError("<stdin>: cannot read the copy of standard input: " + why);
      doc = ParseDocument(context.library(), std::move(doc));
    }
    return Report(doc.label, doc.repairs, FindStrictWarnings(DecodeAsParserDoes(doc.bytes)), strict);
  } catch (const DocumentError& e) {
    // Input that is not markup at all (a binary file) is told at its first
    // character, before wherever the parser happened to stop.
    std::string bytes, why;
    if (file != "-" && ReadInputFile(file, bytes, why)) {
      const std::vector<StrictWarning> warnings = FindStrictWarnings(DecodeAsParserDoes(bytes));
      if (!warnings.empty() && warnings.front().notMarkup) PrintWarning(file, warnings.front());
    }
    PrintError(e);
    return kExitDocument;
  }
}

// A document that failed in the streamed reading, told as the whole-file
// path tells it, from its failing line read again. False when the line
// cannot be had: the whole-file path must tell then.
bool TellFailure(const std::string& file, const std::string& copyPath, const StreamedCheck& streamed) {
  const kelmo::easy::ParseFailure& failure = *streamed.failure;
  const bool fromStdin = file == "-";
  const std::string& path = fromStdin ? copyPath : file;
  std::string shown;
  FailedText text;
  std::optional<Unclosed> unclosed;
  if (failure.column != 0 && failure.code != static_cast<unsigned int>(kelmo::ParseError::NoElement)) {
    // A document cut short is shown where it left something open.
    unsigned int lineShown = failure.line;
    if (failure.code == static_cast<unsigned int>(kelmo::ParseError::Truncated)) {
      std::FILE* again = OpenForReading(path);
      const bool found = again && FindUnclosedInPieces(again, unclosed);
      if (again) std::fclose(again);
      if (!found) return false;
      if (unclosed) lineShown = unclosed->where.line;
      text.unclosed = &unclosed;
    }
    std::FILE* again = OpenForReading(path);
    if (!again) return false;
    FailingLine line;
    const bool found = FindFailingLine(again, lineShown,
                                       failure.code == static_cast<unsigned int>(kelmo::ParseError::BadReference),
                                       line);
    std::fclose(again);
    if (!found) return false;
    // The line alone, in UTF-8, as the second line of a text whose first
    // cannot begin a declaration: nothing in it can then be taken for one
    // that names another encoding (a declaration may follow blanks).
    shown = "-\n" + kelmo::easy::ToUtf8(line.units);
    text.bytes = shown;
    text.lineShift = static_cast<int>(lineShown) - 2;
    text.declaresEntities = line.declaresEntities;
  }
  // Input that is not markup at all (a binary file) is told at its first
  // character, before wherever the parser happened to stop.
  if (!fromStdin && !streamed.warnings.empty() && streamed.warnings.front().notMarkup)
    PrintWarning(file, streamed.warnings.front());
  PrintError(FailureError(fromStdin ? "<stdin>" : file, failure, text));
  return true;
}

// Reads the document a piece at a time, building nothing, and leaves to the
// whole-file path only what the streamed reading cannot tell.
int CheckOne(ToolContext& context, const std::string& file, bool strict) {
  const bool fromStdin = file == "-";
  const std::string label = fromStdin ? "<stdin>" : file;
  // Standard input cannot be read again: what is read of it is kept in a
  // temporary file, for the whole-file path.
  std::string why;
  const std::string copyPath = fromStdin ? CreateTemporaryFile(why) : std::string();
  TemporaryFile copyGuard(copyPath);
  if (fromStdin && copyPath.empty()) return CheckWhole(context, file, "", strict);
  std::FILE* copy = fromStdin ? OpenForWriting(copyPath) : nullptr;
  if (fromStdin && !copy) return CheckWhole(context, file, "", strict);
  std::FILE* in = OpenForReading(file);
  if (!in) {
    if (copy) std::fclose(copy);
    return CheckWhole(context, file, "", strict);
  }
  const StreamedCheck streamed = CheckStreamed(in, copy);
  if (!fromStdin) std::fclose(in);
  const bool copied = !copy || std::fclose(copy) == 0;
  if (streamed.tooLarge) {
    std::fprintf(stderr, "%s\n", TooLargeDocument(label).what());
    return kExitDocument;
  }
  if (streamed.decided) return Report(label, streamed.repairs, streamed.warnings, strict);
  // A read error is told by the whole-file path, which meets it again.
  if (streamed.readFailed) return CheckWhole(context, file, "", strict);
  if (!copied) {
    std::fprintf(stderr, "%s: cannot keep a copy of standard input (error %u)\n", label.c_str(),
                 static_cast<unsigned int>(kelmo::ParseError::File));
    return kExitDocument;
  }
  if (streamed.failure && TellFailure(file, copyPath, streamed)) return kExitDocument;
  return CheckWhole(context, file, copyPath, strict);
}

}  // namespace

int RunCheck(ToolContext& context, const std::vector<std::string>& args) {
  const Arguments parsed = ParseArguments(args, {{"--strict", "", false}});
  const bool strict = parsed.Has("--strict");
  if (PrintHelpIfAsked("check", parsed.help)) return kExitOk;
  if (parsed.positional.empty()) throw UsageError("check needs at least one FILE");
  int stdinCount = 0;
  for (const std::string& file : parsed.positional) stdinCount += file == "-";
  if (stdinCount > 1) throw UsageError("standard input (-) can be checked only once");

  // The streamed reading runs the library's own reader, built into the
  // tool; the library itself must still be there, for what is left to it
  // and so that a check fails where every other command would.
  context.library();
  int status = kExitOk;
  for (const std::string& file : parsed.positional) {
    if (CheckOne(context, file, strict) != kExitOk) status = kExitDocument;
  }
  return status;
}

}  // namespace kelmo_tool
