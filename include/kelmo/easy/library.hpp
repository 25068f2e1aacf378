// Loading the library, owning its factory, and reading and writing documents
// with UTF-8 strings. The shared library exports only its two entry points;
// everything here goes through them and the public interfaces.
#ifndef KELMO_EASY_LIBRARY_HPP
#define KELMO_EASY_LIBRARY_HPP

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include "kelmo/windows_lean.h"
#else
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#if defined(__has_include)
#if __has_include("kelmo/easy/install_location.hpp")
#include "kelmo/easy/install_location.hpp"
#endif
#endif

#include "kelmo/easy/decoding.hpp"
#include "kelmo/easy/utf.hpp"
#include "kelmo/easy/values.hpp"
#include "kelmo/kelmo.h"

namespace kelmo {
namespace easy {

// What a failed parse reports, with the parser's own numbers.
struct ParseFailure {
  unsigned int code = 0;    // ParseError
  unsigned int line = 0;    // of the character that stopped the parser, from 1
  unsigned int column = 0;  // in UTF-16 units, from 1
  unsigned int offset = 0;  // UTF-16 units read, that character included
  std::string detail;       // why the system could not read the file, for error 12


  // "LINE:COLUMN: what went wrong (error CODE)", or without the position
  // for a caller that prints its own ("FILE:LINE:COLUMN: " + Reason()). A
  // failure of the file as a whole (it cannot be read, or is empty) has no
  // position, and Message() then shows none.
  std::string Message() const;
  std::string Reason() const;
};

// A sentence for a parser error code.
inline const char* ParseErrorMessage(unsigned int code) {
  switch (static_cast<ParseError>(code)) {
    case ParseError::None: return "no error";
    case ParseError::NoRoot: return "the parser had no root node to build on";
    case ParseError::NoCurrentNode: return "the parser had no open node to build on";
    case ParseError::BadReference: return "bad character or entity reference";
    case ParseError::Syntax: return "syntax error: this character is not allowed here";
    case ParseError::TagMismatch: return "end tag does not match the open element";
    case ParseError::Encoding: return "unknown or undecodable encoding";
    case ParseError::File: return "cannot read file";
    case ParseError::Truncated: return "the document ends too early: something is left open";
    case ParseError::NoElement: return "the document has no element";
  }
  return "unknown parser error";
}

// What a save reports: success, or why it failed in a few words ("it is
// read-only", "its directory /x does not exist", "the tree cannot be written
// in that encoding").
struct SaveResult {
  bool ok = false;
  std::string reason;
  explicit operator bool() const { return ok; }
};

// Why a file cannot be written at the path, in a few words, for a write
// that failed: what stands in the way at the path or its directory.
inline std::string WhyCannotWrite(const std::string& path) {
#if defined(_WIN32)
  const std::u16string wide = ToUtf16(path);
  const DWORD attributes = GetFileAttributesW(reinterpret_cast<LPCWSTR>(wide.c_str()));
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (GetLastError() == ERROR_PATH_NOT_FOUND) return "its directory does not exist";
    return "the file cannot be created";
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return "it is a directory";
  if (attributes & FILE_ATTRIBUTE_READONLY) return "it is read-only";
  return "the file system refused the write";
#else
  struct stat info;
  if (::stat(path.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return "it is a directory";
    if (S_ISFIFO(info.st_mode) && ::access(path.c_str(), W_OK) == 0)
      return "it is a named pipe that no reader had open, or whose reader closed it before "
             "reading everything";
    if ((info.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0) return "it is read-only";
    return "the file system refused the write";
  }
  const size_t slash = path.rfind('/');
  const std::string directory =
      slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  if (::stat(directory.c_str(), &info) != 0) return "its directory " + directory + " does not exist";
  if (!S_ISDIR(info.st_mode)) return directory + " is not a directory";
  if (::access(directory.c_str(), W_OK | X_OK) != 0)
    return "its directory " + directory + " is not writable";
  return "the file cannot be created";
#endif
}

inline std::string ParseFailure::Reason() const {
  return std::string(ParseErrorMessage(code)) + (detail.empty() ? "" : ": " + detail) + " (error " +
         std::to_string(code) + ")";
}

inline std::string ParseFailure::Message() const {
  if (column == 0) return Reason();
  return std::to_string(line) + ":" + std::to_string(column) + ": " + Reason();
}

// Reads a whole file (its name in UTF-8 on every platform). False, with the
// system's reason ("No such file or directory", "Is a directory"), when it
// cannot be read.
inline bool ReadFileBytes(const std::string& path, std::string& bytes, std::string& why) {
  errno = 0;
#if defined(_WIN32)
  const std::u16string wide = ToUtf16(path);
  std::FILE* file = _wfopen(reinterpret_cast<const wchar_t*>(wide.c_str()), L"rb");
#else
  std::FILE* file = std::fopen(path.c_str(), "rb");
#endif
  if (!file) {
    why = std::strerror(errno ? errno : ENOENT);
    return false;
  }
  char buffer[65536];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
  // Reading a directory fails here, where opening it did not.
  const bool read = !std::ferror(file);
  if (!read) why = std::strerror(errno ? errno : EIO);
  std::fclose(file);
  return read;
}

// How a tree is written: the indent unit per level, the line end, and the
// encoding name that the file's declaration and byte-order mark follow.
struct Layout {
  std::string indent = "  ";
  std::string newline = "\n";
  std::string encoding = "utf-8";
};

// How a document's bytes were read. A UTF-8 document (declared so, marked
// so, or declaring nothing) is checked with the library's own UTF-8
// converter: `replaced` says whether bytes that are not valid UTF-8 became
// U+FFFD, and `first` where the first of them stands, as the command-line
// tool reports it. Other encodings are named but not checked here (only the
// library's UTF-8 converter can be reached through its interfaces).
struct Decoding {
  std::string encoding = "utf-8";  // as marked or declared, lower case
  bool checked = false;            // the bytes were checked (UTF-8 only)
  bool replaced = false;           // bytes that did not decode became U+FFFD
  TextPosition first;              // of the first replaced byte, when replaced

  // Read as written: checked, and nothing replaced. A host that saves only
  // such documents never writes the damage of a misread file for good.
  bool exact() const { return checked && !replaced; }
};

// A parsed document: the parser's nameless root, whose element children are
// the top-level elements, or the failure with its position.
class Document {
 public:
  Document() = default;

  bool ok() const { return ok_; }
  explicit operator bool() const { return ok_; }
  const ParseFailure& error() const { return error_; }
  const Decoding& decoding() const { return decoding_; }

  // The nameless root; after a failed parse it holds what was built so far.
  const Node& root() const { return root_; }

  // The first top-level element, or null when there is none.
  Node element() const {
    for (Node child = root_ ? root_->GetFirstChild() : nullptr; child;
         child = child->GetNextSibling()) {
      if (KindOf(child) != NodeKind::Attribute) return child;
    }
    return nullptr;
  }

 private:
  friend class Library;
  bool ok_ = false;
  ParseFailure error_;
  Decoding decoding_;
  Node root_;
};

class LibraryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The loaded library and one factory. The shared object stays loaded until
// the process ends: nodes may outlive the factory, and their code must stay
// mapped for as long as anyone can release them.
class Library {
 public:
  // File name the platform's loader searches for when no path is given: the
  // DLL, or the library's soname.
  static const char* DefaultName() {
#if defined(_WIN32)
    return "kelmo.dll";
#elif defined(__APPLE__)
    return "libkelmo.0.dylib";
#else
    return "libkelmo.so.0";
#endif
  }

  // Finds the library without being told: see Candidates.
  Library() : Library(Candidates(nullptr)) {}

  explicit Library(const std::string& path) : Library(std::vector<std::string>{path}) {}

  // Tries the paths in order and keeps the first that loads.
  explicit Library(const std::vector<std::string>& candidates) {
    std::string failures;
    for (const std::string& path : candidates) {
      std::string why;
      if (Open(path, why)) {
        path_ = path;
        get_(&module_);
        if (module_) return;
        why = "GetCppModuleInterface gave no factory";
      }
      failures += "\n  " + path + ": " + why;
    }
    throw LibraryError("cannot load the kelmo library" +
                       (failures.empty() ? std::string(": no file to try") : failures) + "\n" +
                       HowToPointAtIt());
  }

  // What a person whose library was not found can do about it: the
  // variable that names the file, and where an installation puts it.
  static std::string HowToPointAtIt() {
#if defined(_WIN32)
    const std::string example = "C:\\Program Files\\kelmo\\bin\\kelmo.dll";
    const std::string place = "PREFIX\\bin\\kelmo.dll";
#else
    const std::string example = std::string("/usr/local/lib/") + DefaultName();
    const std::string place = std::string("PREFIX/lib/") + DefaultName();
#endif
    std::string hint = "Set the KELMO_LIBRARY environment variable to the library's file (" +
                       example + "); an installation keeps it at " + place +
                       " under its install prefix (CMAKE_INSTALL_PREFIX). A program may also "
                       "find it beside itself, or be compiled with KELMO_LIBRARY_PATH naming it.";
#if defined(KELMO_INSTALLED_LIBRARY)
    hint += " This program's installation has it at " + std::string(KELMO_INSTALLED_LIBRARY) + ".";
#endif
    return hint;
  }

  // For hosts that link the library instead of loading it:
  // Library lib(&GetCppModuleInterface, &FreeCppModuleInterface);
  // path() then names the file the entry point lives in, as the system
  // reports it, or says that the library was linked in when it cannot.
  Library(KelmoGetModuleFn get, KelmoFreeModuleFn free) : get_(get), free_(free) {
    if (!get_ || !free_) throw LibraryError("null entry point");
    get_(&module_);
    if (!module_) throw LibraryError("GetCppModuleInterface gave no factory");
    path_ = FileOf(reinterpret_cast<void*>(get_));
    if (path_.empty()) path_ = "(linked into the program)";
  }

  ~Library() {
    if (free_ && module_) free_(&module_);
  }

  Library(Library&& other) noexcept
      : get_(other.get_), free_(other.free_), module_(other.module_), path_(std::move(other.path_)) {
    other.module_ = nullptr;
  }
  Library& operator=(Library&& other) noexcept {
    if (this != &other) {
      if (free_ && module_) free_(&module_);
      get_ = other.get_;
      free_ = other.free_;
      module_ = other.module_;
      path_ = std::move(other.path_);
      other.module_ = nullptr;
    }
    return *this;
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // The paths the default constructor tries, in order: the KELMO_LIBRARY
  // environment variable when set; `fallback` when given; KELMO_LIBRARY_PATH
  // when the program was compiled with that definition; the library beside
  // the running program; the library where a program of this installation
  // finds it (bin/../lib); KELMO_INSTALLED_LIBRARY, which the installed CMake
  // package defines from its own location; and the default name through the
  // loader's own search path.
  static std::vector<std::string> Candidates(const char* fallback) {
    std::vector<std::string> paths;
    if (const char* env = std::getenv("KELMO_LIBRARY"); env && *env) paths.push_back(env);
    if (fallback && *fallback) paths.push_back(fallback);
#if defined(KELMO_LIBRARY_PATH)
    paths.push_back(KELMO_LIBRARY_PATH);
#endif
    const std::string directory = ExecutableDirectory();
    if (!directory.empty()) {
      paths.push_back(directory + kPathSeparator + DefaultName());
#if defined(KELMO_LIBRARY_FROM_PROGRAMS)
      paths.push_back(directory + kPathSeparator + KELMO_LIBRARY_FROM_PROGRAMS);
#endif
    }
#if defined(KELMO_INSTALLED_LIBRARY)
    paths.push_back(KELMO_INSTALLED_LIBRARY);
#endif
    paths.push_back(DefaultName());
    // A path that comes twice is tried once.
    std::vector<std::string> unique;
    for (const std::string& path : paths) {
      bool seen = false;
      for (const std::string& earlier : unique) seen = seen || earlier == path;
      if (!seen) unique.push_back(path);
    }
    return unique;
  }

  // The file of the loaded module that holds `address`; empty where the
  // system does not say.
  static std::string FileOf(void* address) {
#if defined(_WIN32)
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(address), &module))
      return {};
    std::u16string buffer(32768, u'\0');
    const DWORD n = GetModuleFileNameW(module, reinterpret_cast<LPWSTR>(&buffer[0]),
                                       static_cast<DWORD>(buffer.size()));
    if (n == 0 || n >= buffer.size()) return {};
    buffer.resize(n);
    return ToUtf8(buffer);
#else
    Dl_info info;
    if (dladdr(address, &info) == 0 || !info.dli_fname) return {};
    return info.dli_fname;
#endif
  }

#if defined(_WIN32)
  static constexpr char kPathSeparator = '\\';
#else
  static constexpr char kPathSeparator = '/';
#endif

  // The directory of the running program, without a trailing separator;
  // empty where the system does not say.
  static std::string ExecutableDirectory() {
    std::string path;
#if defined(_WIN32)
    std::u16string buffer(32768, u'\0');
    const DWORD n = GetModuleFileNameW(nullptr, reinterpret_cast<LPWSTR>(&buffer[0]),
                                       static_cast<DWORD>(buffer.size()));
    if (n == 0 || n >= buffer.size()) return {};
    buffer.resize(n);
    path = ToUtf8(buffer);
#elif defined(__linux__)
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    path.assign(buffer, static_cast<size_t>(n));
#endif
    return DirectoryOf(path);
  }

  // The directory part of a path, without a trailing separator ("/" for a
  // file at the root); empty when the path names no directory.
  static std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos) return {};
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
  }

  const std::string& path() const { return path_; }
  IModule* module() const { return module_; }

  Node CreateNode(std::string_view name = {}) const {
    const std::u16string wide = ToUtf16(name);
    return module_->CreateNodeW(AsWide(wide), static_cast<unsigned int>(wide.size()));
  }
  RefPtr<KelmoParser> CreateParser() const { return module_->CreateParser(); }
  RefPtr<KelmoTraversal> CreateTraversal() const { return module_->CreateTraversal(); }

  // Parses XML bytes; the encoding is found from the byte-order mark or the
  // declaration, as for files. Input of 4 GiB or more cannot be passed to the
  // parser and is reported as unreadable (ParseError::File).
  Document Parse(std::string_view bytes) const {
    RefPtr<KelmoParser> parser = CreateParser();
    if (bytes.size() >= kWholeText) return Failed(parser, static_cast<unsigned>(ParseError::File));
    const bool ok = parser->ParseBuffer(reinterpret_cast<const unsigned char*>(bytes.data()),
                                        static_cast<unsigned int>(bytes.size()));
    Document doc = Finish(parser, ok);
    doc.decoding_ = CheckDecoding(bytes);
    return doc;
  }

  // Parses text that is decoded already (UTF-16, as a document's bytes are
  // read): nothing is sniffed or decoded, so decoding() is left unchecked.
  // A declaration's encoding name is read but not applied. Empty text has no
  // element (ParseError::NoElement).
  Document ParseText(std::u16string_view text) const {
    RefPtr<KelmoParser> parser = CreateParser();
    if (text.size() >= kWholeText) return Failed(parser, static_cast<unsigned>(ParseError::File));
    if (text.empty()) return Failed(parser, static_cast<unsigned>(ParseError::NoElement));
    const bool ok = parser->ParseStringW(reinterpret_cast<const WChar*>(text.data()),
                                         static_cast<unsigned int>(text.size()));
    return Finish(parser, ok);
  }

  // How the bytes of a document would be read: see Decoding.
  Decoding CheckDecoding(std::string_view bytes) const {
    Decoding result;
    // The byte-order marks again, as the library sniffs them (its own home
    // for them, syntax/byte_order_marks.h, is not reachable from a
    // header-only layer, and the interfaces do not report the mark); the
    // UTF-32 ones only so that such a document is named rather than checked.
    const auto starts = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
    using namespace std::string_view_literals;
    if (starts("\xEF\xBB\xBF"sv)) {
      bytes.remove_prefix(3);
    } else if (starts("\xFF\xFE\0\0"sv) || starts("\0\0\xFE\xFF"sv)) {
      result.encoding = starts("\xFF"sv) ? "utf-32le" : "utf-32be";
      return result;
    } else if (starts("\xFF\xFE"sv) || starts("<\0"sv)) {
      result.encoding = "utf-16le";
      return result;
    } else if (starts("\xFE\xFF"sv) || starts("\0<"sv)) {
      result.encoding = "utf-16be";
      return result;
    } else {
      const std::string declared = DeclaredEncoding(bytes);
      if (!declared.empty()) result.encoding = declared;
      if (declared != "" && declared != "utf-8" && declared != "utf8") return result;
    }
    if (bytes.size() >= kWholeText) return result;
    // Decoded and encoded back by the library's own UTF-8 converter.
    const Node scratch = CreateNode();
    scratch->SetStringA(bytes.data(), static_cast<unsigned int>(bytes.size()), kCodePageUtf8);
    const std::optional<std::u16string> text = ValueOf<std::u16string>(scratch);
    if (!text) return result;
    const std::vector<size_t> replaced =
        ReplacedUnits(*text, bytes, [&](const std::u16string& t) -> std::optional<std::string> {
          scratch->SetStringW(AsWide(t), static_cast<unsigned int>(t.size()));
          const char* back = nullptr;
          unsigned int length = 0;
          RefPtr<XInRes> holder;
          if (!scratch->GetStringA(back, length, kCodePageUtf8, holder)) return std::nullopt;
          return std::string(back, length);
        });
    result.checked = true;
    result.replaced = !replaced.empty();
    if (result.replaced) result.first = PositionsOf(*text, {replaced.front()}).front();
    return result;
  }

  // Whether the library writes files in `encoding` at all: an empty element
  // saved where the bytes are dropped fails only for a name it does not
  // know. Windows has no file that drops what is written to it through the
  // library's safe save, so the probe goes to a fresh temporary file there;
  // where none can be made the answer stays open (true).
  bool CanWriteIn(const std::string& encoding) const {
    if (encoding.empty()) return true;
#if defined(_WIN32)
    wchar_t directory[MAX_PATH + 1];
    wchar_t probe[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, directory);
    if (length == 0 || length > MAX_PATH || !GetTempFileNameW(directory, L"klm", 0, probe)) return true;
    const std::u16string wide = ToUtf16(encoding), none;
    const bool known = CreateTraversal()->SaveFileW(CreateNode("a"), reinterpret_cast<const WChar*>(probe),
                                                    AsWide(none), AsWide(none), AsWide(wide));
    DeleteFileW(probe);
    return known;
#else
    return CreateTraversal()->SaveFileA(CreateNode("a"), "/dev/null", "", "", encoding.c_str(),
                                        kCodePageUtf8);
#endif
  }

  // Parses the file at `path` (UTF-8 on every platform). The file is read
  // once: its bytes are parsed and checked from memory. One that cannot be
  // read, or is too large for a buffer, goes to the library's own file
  // reading, so that its failure is the library's, with the system's reason.
  Document LoadFile(const std::string& path) const {
    RefPtr<KelmoParser> parser = CreateParser();
    std::string bytes, why;
    if (ReadFileBytes(path, bytes, why) && bytes.size() < kWholeText) {
      const bool ok = parser->ParseBuffer(reinterpret_cast<const unsigned char*>(bytes.data()),
                                          static_cast<unsigned int>(bytes.size()));
      Document doc = Finish(parser, ok);
      doc.decoding_ = CheckDecoding(bytes);
      return doc;
    }
#if defined(_WIN32)
    const std::u16string wide = ToUtf16(path);
    const bool ok = parser->ParseFileW(AsWide(wide));
#else
    const bool ok = parser->ParseFileA(path.c_str());
#endif
    Document doc = Finish(parser, ok);
    if (!ok && doc.error_.code == static_cast<unsigned int>(ParseError::File) && !why.empty())
      doc.error_.detail = why;
    return doc;
  }

  // The subtree as UTF-8 XML text, without a declaration.
  std::string ToXml(const Node& node, const Layout& layout = {}) const {
    if (!node) return {};
    const std::u16string indent = ToUtf16(layout.indent);
    const std::u16string newline = ToUtf16(layout.newline);
    RefPtr<XInRes> holder;
    unsigned int length = 0;
    const WChar* text =
        CreateTraversal()->ToXmlW(node, &length, AsWide(indent), AsWide(newline), holder);
    return ToUtf8(FromWide(text, length));
  }

  // Writes the subtree to a file with a byte-order mark and a declaration in
  // the layout's encoding. Fails, saying why, when the tree cannot be written
  // (a name or structure the writer refuses, text the encoding cannot hold)
  // or the file cannot; an existing file is then left as it was.
  SaveResult SaveFile(const Node& node, const std::string& path, const Layout& layout = {}) const {
    if (!node) return {false, "there is no node to save"};
    const std::u16string indent = ToUtf16(layout.indent), newline = ToUtf16(layout.newline);
#if defined(_WIN32)
    const std::u16string wide = ToUtf16(path), encoding = ToUtf16(layout.encoding);
    const bool saved = CreateTraversal()->SaveFileW(node, AsWide(wide), AsWide(indent),
                                                    AsWide(newline), AsWide(encoding));
#else
    const bool saved = CreateTraversal()->SaveFileA(node, path.c_str(), layout.indent.c_str(),
                                                    layout.newline.c_str(),
                                                    layout.encoding.c_str(), kCodePageUtf8);
#endif
    if (saved) return {true, {}};
    // The tree itself, or the file? Writing the tree to memory tells.
    RefPtr<XInRes> holder;
    unsigned int length = 0;
    CreateTraversal()->ToXmlW(node, &length, AsWide(indent), AsWide(newline), holder);
    if (length == 0)
      return {false, "the tree cannot be written as XML (a name or structure the writer refuses)"};
    if (!CanWriteIn(layout.encoding)) return {false, "unknown encoding \"" + layout.encoding + "\""};
    const std::string why = WhyCannotWrite(path);
    if (why == "the file system refused the write" || why == "the file cannot be created" ||
        why.compare(0, 18, "it is a named pipe") == 0)
      return {false, why + ", or the text cannot be written in " + layout.encoding};
    return {false, why};
  }

 private:
  bool Open(const std::string& path, std::string& why) {
#if defined(_WIN32)
    const std::u16string wide = ToUtf16(path);
    HMODULE handle = LoadLibraryW(reinterpret_cast<LPCWSTR>(wide.c_str()));
    if (!handle) {
      why = "LoadLibrary failed with error " + std::to_string(GetLastError());
      return false;
    }
    get_ = reinterpret_cast<KelmoGetModuleFn>(
        reinterpret_cast<void*>(GetProcAddress(handle, "GetCppModuleInterface")));
    free_ = reinterpret_cast<KelmoFreeModuleFn>(
        reinterpret_cast<void*>(GetProcAddress(handle, "FreeCppModuleInterface")));
#else
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      const char* message = dlerror();
      why = message ? message : "dlopen failed";
      return false;
    }
    get_ = reinterpret_cast<KelmoGetModuleFn>(dlsym(handle, "GetCppModuleInterface"));
    free_ = reinterpret_cast<KelmoFreeModuleFn>(dlsym(handle, "FreeCppModuleInterface"));
#endif
    if (!get_ || !free_) {
      why = "the file does not export GetCppModuleInterface and FreeCppModuleInterface";
      get_ = nullptr;
      free_ = nullptr;
#if defined(_WIN32)
      FreeLibrary(handle);
#else
      dlclose(handle);
#endif
      return false;
    }
    return true;
  }

  // The encoding name in a leading XML declaration, lower case; empty when
  // there is none.
  static std::string DeclaredEncoding(std::string_view bytes) {
    if (bytes.substr(0, 5) != "<?xml") return {};
    const std::string_view declaration = bytes.substr(0, bytes.find("?>"));
    size_t at = declaration.find("encoding");
    if (at == std::string_view::npos) return {};
    at = declaration.find_first_of("\"'", at);
    if (at == std::string_view::npos) return {};
    const size_t end = declaration.find(declaration[at], at + 1);
    if (end == std::string_view::npos) return {};
    std::string name(declaration.substr(at + 1, end - at - 1));
    for (char& c : name) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return name;
  }

  static Document Finish(const RefPtr<KelmoParser>& parser, bool ok) {
    Document doc;
    doc.ok_ = ok;
    doc.error_.code = parser->GetErrorCode();
    doc.error_.line = parser->GetErrorLine();
    doc.error_.column = parser->GetErrorColumn();
    doc.error_.offset = parser->GetErrorOffset();
    doc.root_ = parser->DetachRoot();
    return doc;
  }

  static Document Failed(const RefPtr<KelmoParser>& parser, unsigned int code) {
    Document doc = Finish(parser, false);
    doc.error_.code = code;
    return doc;
  }

  KelmoGetModuleFn get_ = nullptr;
  KelmoFreeModuleFn free_ = nullptr;
  IModule* module_ = nullptr;
  std::string path_;
};

}  // namespace easy
}  // namespace kelmo

#endif  // KELMO_EASY_LIBRARY_HPP
