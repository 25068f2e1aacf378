// The library's public interfaces. A host program loads the library, calls
// GetCppModuleInterface for the factory and drives everything through these
// interfaces. The order of the slots of each interface (kelmo/slot_lists.h)
// is the binary interface with hosts: never reorder, insert or remove one.
#ifndef KELMO_KELMO_H
#define KELMO_KELMO_H

#include <cstdint>
#include <memory>

#include "kelmo/com.h"
#include "kelmo/platform_types.h"
#include "kelmo/ref_counter.h"
#include "kelmo/slot_lists.h"

namespace kelmo {

// Tag of a node's value. Numbers (Bool included) lie in 0x11..0x2E, object
// references in 0x31..0x4E.
enum class ValueType : int8_t {
  Empty = 0x00,
  Char = 0x11,
  UChar = 0x12,
  Short = 0x13,
  UShort = 0x14,
  Int = 0x15,
  UInt = 0x16,
  Int64 = 0x17,
  UInt64 = 0x18,
  Long = 0x19,
  ULong = 0x1A,
  Float = 0x1B,
  Double = 0x1C,
  LongDouble = 0x1D,
  Bool = 0x1E,
  Pointer = 0x31,
  SharedPtr = 0x32,
  Unknown = 0x33,
  Dispatch = 0x34,
  String = 0x50,
  Binary = 0x51,
};

// Which XML construct a node stands for. Any byte may be stored; only these
// three have a meaning.
enum class NodeKind : int8_t {
  Element = 0,
  CData = 1,
  Attribute = 2,
};

// Well-known code pages (Windows numbering).
constexpr unsigned int kCodePageUtf8 = 65001;
constexpr unsigned int kCodePageUtf16LE = 1200;
constexpr unsigned int kCodePageUtf16BE = 1201;

// Error codes of the parser (KelmoParser::GetErrorCode).
enum class ParseError : uint32_t {
  None = 0,
  NoRoot = 3,
  NoCurrentNode = 4,
  BadReference = 5,
  Syntax = 6,
  TagMismatch = 7,
  Encoding = 9,
  File = 12,
  Truncated = 13,
  // The input holds no element: it is empty, or only blanks, text, comments,
  // processing instructions or declarations.
  NoElement = 14,
};

class XInRes;
class Kelmo;
class KelmoParser;
class KelmoTraversal;
class IModule;

// Visitor of KelmoTraversal::Traverse; returning false stops the walk.
using TraverseCallback = bool (*)(RefPtr<Kelmo>& node, void* context);

}  // namespace kelmo

// The interfaces are declared from the slot lists of kelmo/slot_lists.h:
// slot 0 is the virtual destructor, the list gives the rest in order.
//
// - Microsoft's compiler, and every compiler outside Windows, declare them
//   as abstract classes with these virtual functions; the compiler's own
//   layout is the binary interface (on Windows that is the one MSVC hosts
//   use).
// - Other compilers targeting 64-bit Windows (MinGW-w64 GCC or clang) lay
//   the same interfaces out explicitly as MSVC does, so that kelmo.dll and
//   hosts of both kinds meet on MSVC's layout: kelmo/msvc_layout.h.
#if KELMO_MSVC_LAYOUT
#include "kelmo/msvc_layout.h"
#else

namespace kelmo {

// Owns memory that the library made for a caller (converted text, decoded
// bytes, XML output). It has no operation that reads the data: the producing
// call hands out a pointer and a length, valid while a holder keeps this alive.
class XInRes {
 public:
  virtual ~XInRes() {}
  KELMO_XINRES_SLOTS(KELMO_VIRTUAL_SLOT)
};

// A parameter node: a name, a node kind, one typed value and ordered children.
class Kelmo {
 public:
  virtual ~Kelmo() {}
  KELMO_KELMO_SLOTS(KELMO_VIRTUAL_SLOT)
};

// Reads XML into a node tree. Every parse starts afresh with a new root.
class KelmoParser {
 public:
  virtual ~KelmoParser() {}
  KELMO_PARSER_SLOTS(KELMO_VIRTUAL_SLOT)
};

// Walks trees and writes them as XML text or files. Keeps no state.
class KelmoTraversal {
 public:
  virtual ~KelmoTraversal() {}
  KELMO_TRAVERSAL_SLOTS(KELMO_VIRTUAL_SLOT)
};

// The factory. Not counted: destroyed only through FreeCppModuleInterface.
class IModule {
 public:
  virtual ~IModule() {}
  KELMO_MODULE_SLOTS(KELMO_VIRTUAL_SLOT)
};

}  // namespace kelmo
#endif

// The library's two exports. Hosts resolve them by these exact names.
extern "C" {
using KelmoGetModuleFn = void (*)(kelmo::IModule** slot);
using KelmoFreeModuleFn = void (*)(kelmo::IModule** slot);
}

#if defined(KELMO_BUILDING_LIBRARY)
#define KELMO_API KELMO_EXPORT
#else
#define KELMO_API KELMO_IMPORT
#endif

extern "C" KELMO_API void GetCppModuleInterface(kelmo::IModule** slot);
extern "C" KELMO_API void FreeCppModuleInterface(kelmo::IModule** slot);

#endif  // KELMO_KELMO_H
