#include "help_text.h"

#include "encodings.h"

namespace kelmo_tool {
namespace {

// One grammar for get --as and set --as: the library's own reading of text
// as a value, so that what set accepts, get reads back.
const char kTypesHelp[] =
    "Types (--as), read by the library's rules in both get and set:\n"
    "  string   any text (the default)\n"
    "  int, uint, int64\n"
    "           a whole number in range: decimal, or hexadecimal after x, 0x\n"
    "           or $ (0x1F); a number outside the range is refused, not wrapped\n"
    "  double   a plain decimal: 2.5, -0.125, 1000 (no exponent: 1e3 is not\n"
    "           one), or nan, inf, -inf\n"
    "  bool     a text that starts with t or y is true (true, yes), with f or n\n"
    "           false (false, no); else a whole number, true unless 0 (on and\n"
    "           off are neither)\n"
    "  base64   base64 text, standing for the bytes it decodes to\n"
    "Blanks (spaces, tabs) inside a number are skipped.\n";

const char kPathHelp[] =
    "A PATH names children from the document element down: a/b/c. A step is a\n"
    "name, * (any element), @name or @* (attributes only); attributes are\n"
    "children too, so server/port finds <server port=\"8080\">. Conditions in\n"
    "brackets narrow a step, and a position [n] (counted from 1) comes last:\n"
    "  dir[@prefix=\"xdg\"]        with attribute prefix=\"xdg\" (either quote)\n"
    "  action[@id]               with an attribute id\n"
    "  alias[family=\"serif\"]     with a child family whose value is serif\n"
    "  key[@name=\"delay\"][2]     the second of those\n"
    "  //string, match//string   anywhere in the document, anywhere below\n"
    "  //string[2]               the second string in document order\n"
    "A leading / starts with the document element itself (/config/server/port),\n"
    "and . is the document element. A plain name picks the first match; *, a\n"
    "condition and // follow every match (with --all, so does a plain name).\n"
    "A value in a condition holds anything but its own quote.\n";

const char kEditOutputHelp[] =
    "Output (standard output unless -o or -i is given):\n"
    "  -o, --output OUT   write to OUT (\"-\" is standard output)\n"
    "  -i, --in-place     replace FILE; the old file stays whole if anything fails\n"
    "  --force            where the change cannot be made in place, rewrite the\n"
    "                     whole document from its tree instead; that loses\n"
    "                     comments, processing instructions, the DOCTYPE, text\n"
    "                     beside elements, line ends, indentation and quotes, and\n"
    "                     keeps U+FFFD where bytes did not decode\n";

const char kKeepsHelp[] =
    "Only the bytes of what changes are touched: comments, the DOCTYPE, processing\n"
    "instructions, line breaks, indentation, quotes, the encoding, the byte-order\n"
    "mark (or its absence) and bytes that do not decode stay as they were. New\n"
    "elements and attributes take the line ends and indentation of their\n"
    "neighbours. Characters are written as themselves where the encoding holds\n"
    "them, as character references where it does not (a name or a CDATA section\n"
    "that would need one is refused). A change that cannot be made this way is\n"
    "refused, saying why, and nothing is written, whatever the output, unless\n"
    "--force is given.\n";

const char kSeveralEditsHelp[] =
    "Several files may come before PATH, with -i: each is edited, or refused,\n"
    "on its own, and the exit status is the highest that any file gave.\n";

const char kOutputHelp[] =
    "Output (standard output unless -o or -i is given):\n"
    "  -o, --output OUT   write to OUT (\"-\" is standard output)\n"
    "  -i, --in-place     replace FILE; the old file stays whole if anything fails\n"
    "  --indent TEXT      indent per level: spaces and tabs (\\t), or a number of\n"
    "                     spaces (default: 2 spaces; '' for none)\n"
    "  --newline KIND     line ends: lf (default), crlf, or none (one line)\n"
    "  --encoding NAME    encoding of the output (default: the input's)\n"
    "  --force            rewrite even an input that was not read as written,\n"
    "                     keeping U+FFFD where its bytes did not decode\n";

// Text broken into lines of at most 78 columns, between words.
std::string Wrapped(const std::string& text) {
  std::string out, line;
  size_t from = 0;
  while (from < text.size()) {
    size_t to = text.find(' ', from);
    if (to == std::string::npos) to = text.size();
    const std::string word = text.substr(from, to - from);
    if (!line.empty() && line.size() + 1 + word.size() > 78) {
      out += line + "\n";
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
    from = to + 1;
  }
  return out + line + "\n";
}

std::string Exits() {
  return "Exit status: 0 ok, 1 a problem with the document or a file, 2 a usage error.\n";
}

}  // namespace

std::string GeneralHelp() {
  return "Usage: kelmo COMMAND [ARGS...]\n"
         "\n"
         "Reads, checks and edits XML parameter files.\n"
         "\n"
         "Commands:\n"
         "  check FILE...              report where each file fails to parse\n"
         "  count FILE PATH            print how many nodes PATH names\n"
         "  del FILE PATH [--all]      remove an element or attribute (or every match)\n"
         "  exists FILE PATH           test for a node: exit status 0, 1 none, 3 no value\n"
         "  fmt FILE                   rewrite a document with a chosen layout and encoding\n"
         "  get FILE PATH [--as TYPE]  print a parameter (every match with *, [..], // or --all)\n"
         "  ls FILE [PATH]             list the children of an element with their kinds\n"
         "  set FILE PATH VALUE        change one parameter (--all: every match), creating\n"
         "                             missing elements\n"
         "  tree FILE [PATH]           outline the tree with each node's kind and value type\n"
         "\n"
         "FILE may be - for standard input. get, set, del and count take several files\n"
         "before PATH: each is read and edited, or refused, on its own, and the exit\n"
         "status is the highest any file gave. 'kelmo COMMAND --help' describes a command.\n"
         "  --version                  print the tool's and the loaded library's version\n"
         "\n"
         "The library is looked for in KELMO_LIBRARY, beside the program, in its\n"
         "installation, and on the system's library path.\n"
         "\n" +
         Exits();
}

std::string CommandHelp(const std::string& command) {
  if (command == "check") {
    return "Usage: kelmo check [--strict] FILE...\n"
           "\n"
           "Parses each FILE and, for each one that fails, prints\n"
           "  FILE:LINE:COLUMN: MESSAGE (error N)\n"
           "followed by the line with a caret under the character where parsing stopped.\n"
           "A file that parses but was not read as written says so the same way: an\n"
           "encoding that no converter knows (read in the system's default encoding),\n"
           "and each place where bytes did not decode and became U+FFFD. Files that\n"
           "parse as written print nothing.\n"
           "\n"
           "The library reads leniently; what a strict XML reader would reject is\n"
           "reported as FILE:LINE:COLUMN: warning: MESSAGE: text before or after the\n"
           "document element, a second top-level element, an attribute repeated in one\n"
           "start tag (the library keeps both), and a first character that cannot\n"
           "start markup. Warnings leave the exit status 0; with --strict they\n"
           "make it 1.\n"
           "\n"
           "Error numbers: 5 bad character or entity reference, 6 syntax error, 7 end\n"
           "tag does not match the open element, 9 unknown or undecodable encoding,\n"
           "12 cannot read file, 13 the document ends too early (inside a tag, comment\n"
           "or reference, or with an element left open), 14 no element (an empty file,\n"
           "or nothing but blanks, text, comments or declarations).\n"
           "\n" +
           Exits();
  }
  if (command == "fmt") {
    return "Usage: kelmo fmt FILE [-o OUT | -i] [--indent TEXT] [--newline lf|crlf|none]\n"
           "                      [--encoding NAME] [--bom] [--drop]\n"
           "\n"
           "Re-indents the document where it stands: one element, comment or\n"
           "processing instruction per line, changing only the blanks between markup.\n"
           "Comments, processing instructions, the DOCTYPE, the declaration, the\n"
           "byte-order mark or its absence, tags and text are kept byte for byte; an\n"
           "element with text keeps its content as it is. The result must read back\n"
           "as the same document, or nothing is written. Standard output gets a\n"
           "byte-order mark only with --bom. Indentation that would grow beyond\n"
           "256 MiB is refused (use --indent '').\n"
           "\n"
           "--encoding with another encoding, or --drop, rewrites the document from\n"
           "its tree, after a declaration naming the encoding; a file then gets the\n"
           "encoding's byte-order mark. That rewrite cannot keep comments, processing\n"
           "instructions, a DOCTYPE, text beside elements or line breaks in text, so a\n"
           "document with any of them is refused, naming the first, unless --drop is\n"
           "given. Text and values that the encoding cannot hold are written as\n"
           "character references; names and CDATA sections that it cannot hold are\n"
           "refused. An encoding that the library cannot write is refused up front.\n"
           "An input that was not read as written (see check) is not rewritten,\n"
           "whatever the output, unless --force is given.\n"
           "\n" +
           std::string(kOutputHelp) + "  --bom              a byte-order mark on standard output too\n"
           "  --drop             rewrite from the tree, dropping comments and the rest\n" + "\n" +
           Wrapped("Encodings: " + KnownEncodingNames() +
                   ", and the names and aliases that the system's converter knows.") +
           "\n" + Exits();
  }
  if (command == "get") {
    return "Usage: kelmo get FILE... PATH [--as TYPE] [--all] [--with-path | --no-path] [--strict]\n"
           "\n"
           "Prints the value at PATH, converted to TYPE (see below): numbers in\n"
           "decimal, bool as true or false, base64 as the decoded raw bytes.\n"
           "A missing parameter, one without a value, or a value that does not convert\n"
           "is exit status 1. When PATH can name several (a step *, @*, with a\n"
           "condition or after //, without [n]; with --all, any step without [n]),\n"
           "every match with a value of TYPE is printed, one per line; none at all is\n"
           "exit status 1.\n"
           "\n"
           "With several files each line is FILE:PATH: VALUE, as grep -H gives it, where\n"
           "PATH names that one node (dir[2], match[3]/@target). --with-path prints\n"
           "that form for one file too, --no-path never. A file that fails is\n"
           "reported and the others are still read; the exit status is the highest.\n"
           "A file that was not read as written (bytes that did not decode became\n"
           "U+FFFD, an unknown encoding; see check) gives a warning on standard error;\n"
           "with --strict it also makes the exit status 1.\n"
           "\n" + std::string(kTypesHelp) + "\n" +
           std::string(kPathHelp) + "\n" + Exits();
  }
  if (command == "set") {
    return "Usage: kelmo set FILE... PATH VALUE [--as TYPE] [--all] [-o OUT | -i] [--force]\n"
           "\n"
           "Stores VALUE at PATH and writes the document out. Missing elements on the\n"
           "way are created (b[n] only when it is the next one); a last step written\n"
           "@name creates an attribute; a step with a condition or after // is not\n"
           "created. A PATH that names several is refused (exit status 2) unless\n"
           "--all is given: then every match is changed, and what is missing below\n"
           "each match is created, in one pass. TYPE (see below) checks VALUE and\n"
           "writes it as the library does: numbers in decimal, bool as 1 or 0,\n"
           "base64 checked and stored as bytes. Setting an element that holds\n"
           "elements puts the value before them, with a warning. Options end at --,\n"
           "so a VALUE may start with a dash: kelmo set f.xml n -- -7.\n"
           "\n" + std::string(kTypesHelp) + "\n" + std::string(kSeveralEditsHelp) + "\n" +
           std::string(kKeepsHelp) + "\n" + kPathHelp + "\n" + kEditOutputHelp + "\n" + Exits();
  }
  if (command == "del") {
    return "Usage: kelmo del FILE... PATH [--all] [-o OUT | -i] [--force]\n"
           "\n"
           "Removes the element (with everything in it, and its line when it stands\n"
           "alone on it) or the attribute at PATH. A missing parameter is exit status 1;\n"
           "a PATH that names several is refused (exit status 2) unless --all is given,\n"
           "which removes every match.\n"
           "\n" + std::string(kSeveralEditsHelp) + "\n" +
           std::string(kKeepsHelp) + "\n" + kPathHelp + "\n" + kEditOutputHelp + "\n" + Exits();
  }
  if (command == "count") {
    return "Usage: kelmo count FILE... PATH\n"
           "\n"
           "Prints how many nodes PATH names, every match of every step counted (as\n"
           "get --all lists them): count fonts.conf dir. With several files each line\n"
           "is FILE:COUNT, as grep -c gives it. A count of 0 is exit status 0.\n"
           "\n" +
           std::string(kPathHelp) + "\n" + Exits();
  }
  if (command == "exists") {
    return "Usage: kelmo exists FILE PATH\n"
           "\n"
           "Prints nothing; the exit status says what PATH names, so that a script can\n"
           "tell a missing element from an empty one:\n"
           "  0  a node with a value (an element with text, an attribute)\n"
           "  1  no such node\n"
           "  2  a usage error (a bad path)\n"
           "  3  a node without a value (<a/>, an element holding only elements)\n"
           "  4  the document cannot be read (it does not parse, or is missing)\n"
           "When PATH can name several, one match with a value gives 0.\n"
           "\n" +
           std::string(kPathHelp);
  }
  if (command == "ls") {
    return "Usage: kelmo ls FILE [PATH]\n"
           "\n"
           "Lists the children of the element at PATH (the document element when no\n"
           "PATH is given), one per line:\n"
           "  NAME: KIND, TYPE = \"VALUE\"\n"
           "as tree does. A missing parameter is exit status 1.\n"
           "\n" +
           std::string(kPathHelp) + "\n" + Exits();
  }
  if (command == "tree") {
    return "Usage: kelmo tree FILE [PATH]\n"
           "\n"
           "Prints one line per node, indented by depth (with PATH, each node it names\n"
           "and what lies below it):\n"
           "  NAME: KIND, TYPE = \"VALUE\"\n"
           "KIND is element, attribute or cdata; TYPE is the value's type (empty when\n"
           "the node has no value). Long values are shortened.\n"
           "\n" +
           std::string(kPathHelp) + "\n" + Exits();
  }
  return {};
}

}  // namespace kelmo_tool
