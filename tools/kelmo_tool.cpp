// kelmo: reads, checks and edits XML parameter files through the library.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "commands.h"
#include "help_text.h"
#include "library_locator.h"
#include "library_version.h"
#include "tool_error.h"

#if defined(_WIN32)
#include <windows.h>
#include <shellapi.h>
#endif

#ifndef KELMO_TOOL_VERSION
#define KELMO_TOOL_VERSION "unknown"
#endif

namespace kelmo_tool {
namespace {

struct CommandEntry {
  const char* name;
  Command run;
};

constexpr CommandEntry kCommands[] = {
    {"check", RunCheck}, {"count", RunCount}, {"del", RunDel}, {"exists", RunExists},
    {"fmt", RunFmt},     {"get", RunGet},     {"ls", RunLs},   {"set", RunSet},
    {"tree", RunTree},
};

Command FindCommand(const std::string& name) {
  for (const CommandEntry& entry : kCommands) {
    if (name == entry.name) return entry.run;
  }
  return nullptr;
}

void Print(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  if (!text.empty() && text.back() != '\n') std::fputc('\n', stream);
}

// The tool's own version, the library file it loaded and the version that
// file carries; a library of another version than the tool's is named so,
// never hidden.
int PrintVersion(ToolContext& context) {
  std::string text = "kelmo " KELMO_TOOL_VERSION "\n";
  try {
    const std::string& path = context.library().path();
    const std::string version = LibraryFileVersion(path);
    text += "library: " + path + "\n";
    text += "library version: " + (version.empty() ? std::string("unknown") : version) + "\n";
  } catch (const kelmo::easy::LibraryError& e) {
    text += std::string("library: not loaded (") + e.what() + ")\n";
  }
  Print(stdout, text);
  return kExitOk;
}

int Run(const char* argv0, const std::vector<std::string>& args) {
  ToolContext context(argv0);
  std::string command;
  try {
    if (args.empty()) {
      Print(stderr, GeneralHelp());
      return kExitUsage;
    }
    command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
      if (args.size() > 1) {
        const std::string help = CommandHelp(args[1]);
        if (help.empty()) throw UsageError("unknown command \"" + args[1] + "\"");
        Print(stdout, help);
      } else {
        Print(stdout, GeneralHelp());
      }
      return kExitOk;
    }
    if (command == "--version" || command == "version") return PrintVersion(context);
    const Command run = FindCommand(command);
    if (!run) {
      const std::string unknown = command;
      command.clear();
      throw UsageError("unknown command \"" + unknown + "\"");
    }
    return run(context, std::vector<std::string>(args.begin() + 1, args.end()));
  } catch (const UsageError& e) {
    Print(stderr, std::string("kelmo: ") + e.what() + "\nTry 'kelmo " +
                      (command.empty() || !FindCommand(command) ? "" : command + " ") +
                      "--help'.");
    return e.exitCode();
  } catch (const DocumentError& e) {
    Print(stderr, e.what());
    return e.exitCode();
  } catch (const ToolError& e) {
    Print(stderr, std::string("kelmo: ") + e.what());
    return e.exitCode();
  } catch (const kelmo::easy::LibraryError& e) {
    Print(stderr, std::string("kelmo: ") + e.what());
    return kExitDocument;
  } catch (const std::bad_alloc&) {
    Print(stderr, "kelmo: out of memory");
    return kExitDocument;
  } catch (const std::exception& e) {
    Print(stderr, std::string("kelmo: ") + e.what());
    return kExitDocument;
  }
}

}  // namespace

const kelmo::easy::Library& ToolContext::library() {
  if (!library_)
    library_ = std::make_unique<kelmo::easy::Library>(LibraryCandidates(argv0_));
  return *library_;
}

bool PrintHelpIfAsked(const std::string& command, bool asked) {
  if (asked) Print(stdout, CommandHelp(command));
  return asked;
}

}  // namespace kelmo_tool

#if defined(_WIN32)
// Arguments as UTF-8 whatever the console's code page.
int main() {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) {
    std::u16string text(wide[i], wide[i] + wcslen(wide[i]));
    args.push_back(kelmo::easy::ToUtf8(text));
  }
  LocalFree(wide);
  return kelmo_tool::Run(nullptr, args);
}
#else
int main(int argc, char** argv) {
  return kelmo_tool::Run(argc > 0 ? argv[0] : nullptr,
                         std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
}
#endif
