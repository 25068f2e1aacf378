// The library's public interfaces. A host program loads the library, calls
// GetCppModuleInterface for the factory and drives everything through these
// abstract classes. The order of the virtual functions in each class is the
// binary interface with hosts: never reorder, insert or remove a member.
#ifndef KELMO_KELMO_H
#define KELMO_KELMO_H

#include <cstdint>
#include <memory>

#include "kelmo/com.h"
#include "kelmo/platform_types.h"
#include "kelmo/ref_counter.h"

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

// Text length meaning "up to the terminating zero".
constexpr unsigned int kWholeText = 0xFFFFFFFFu;

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
};

// Owns memory that the library made for a caller (converted text, decoded
// bytes, XML output). It has no operation that reads the data: the producing
// call hands out a pointer and a length, valid while a holder keeps this alive.
class XInRes {
 public:
  virtual ~XInRes() {}
  virtual void AddRef() = 0;
  virtual void Release() = 0;
};

// A parameter node: a name, a node kind, one typed value and ordered children.
class Kelmo {
 public:
  virtual ~Kelmo() {}                                             // 0
  virtual RefPtr<Kelmo> Clone() = 0;                              // 1
  virtual RefPtr<Kelmo> CreateNode() = 0;                         // 2
  virtual int GetType() = 0;                                      // 3
  virtual bool IsEmpty() = 0;                                     // 4
  virtual bool IsNumber() = 0;                                    // 5
  virtual bool IsScalar() = 0;                                    // 6
  virtual bool IsBinary() = 0;                                    // 7
  virtual bool IsObject() = 0;                                    // 8
  virtual int GetKind() = 0;                                      // 9
  virtual void SetKind(char kind) = 0;                            // 10
  virtual bool GetNameA(const char*& text, unsigned int& length, unsigned int codePage,
                        RefPtr<XInRes>& holder) = 0;              // 11
  virtual bool GetNameW(const WChar*& text, unsigned int& length,
                        RefPtr<XInRes>& holder) = 0;              // 12
  virtual void SetNameA(const char* text, unsigned int length, unsigned int codePage) = 0;  // 13
  virtual void SetNameW(const WChar* text, unsigned int length) = 0;                        // 14
  virtual bool GetBinary(const unsigned char*& data, unsigned int& length,
                         RefPtr<XInRes>& holder) = 0;             // 15
  virtual bool GetStringA(const char*& text, unsigned int& length, unsigned int codePage,
                          RefPtr<XInRes>& holder) = 0;            // 16
  virtual bool GetStringW(const WChar*& text, unsigned int& length,
                          RefPtr<XInRes>& holder) = 0;            // 17
  virtual bool GetDispatch(IDispatch*& value) = 0;                // 18
  virtual bool GetUnknown(IUnknown*& value) = 0;                  // 19
  virtual bool GetSharedPtr(std::shared_ptr<void>& value) = 0;    // 20
  virtual bool GetPointer(void*& value) = 0;                      // 21
  virtual bool GetBool(bool& value) = 0;                          // 22
  virtual bool GetLongDouble(long double& value) = 0;             // 23
  virtual bool GetDouble(double& value) = 0;                      // 24
  virtual bool GetFloat(float& value) = 0;                        // 25
  virtual bool GetULong(uint32_t& value) = 0;                     // 26
  virtual bool GetLong(int32_t& value) = 0;                       // 27
  virtual bool GetUInt64(uint64_t& value) = 0;                    // 28
  virtual bool GetInt64(int64_t& value) = 0;                      // 29
  virtual bool GetUInt(unsigned int& value) = 0;                  // 30
  virtual bool GetInt(int& value) = 0;                            // 31
  virtual bool GetUShort(uint16_t& value) = 0;                    // 32
  virtual bool GetShort(int16_t& value) = 0;                      // 33
  virtual bool GetUChar(unsigned char& value) = 0;                // 34
  virtual bool GetChar(char& value) = 0;                          // 35
  virtual void SetBinary(const unsigned char* data, unsigned int length) = 0;                 // 36
  virtual void SetStringA(const char* text, unsigned int length, unsigned int codePage) = 0;  // 37
  virtual void SetStringW(const WChar* text, unsigned int length) = 0;                        // 38
  virtual void SetDispatch(IDispatch* value) = 0;                 // 39
  virtual void SetUnknown(IUnknown* value) = 0;                   // 40
  virtual void SetSharedPtr(const std::shared_ptr<void>& value) = 0;  // 41
  virtual void SetPointer(void* value) = 0;                       // 42
  virtual void SetBool(bool value) = 0;                           // 43
  virtual void SetLongDouble(long double value) = 0;              // 44
  virtual void SetDouble(double value) = 0;                       // 45
  virtual void SetFloat(float value) = 0;                         // 46
  virtual void SetULong(uint32_t value) = 0;                      // 47
  virtual void SetLong(int32_t value) = 0;                        // 48
  virtual void SetUInt64(uint64_t value) = 0;                     // 49
  virtual void SetInt64(int64_t value) = 0;                       // 50
  virtual void SetUInt(unsigned int value) = 0;                   // 51
  virtual void SetInt(int value) = 0;                             // 52
  virtual void SetUShort(uint16_t value) = 0;                     // 53
  virtual void SetShort(int16_t value) = 0;                       // 54
  virtual void SetUChar(unsigned char value) = 0;                 // 55
  virtual void SetChar(char value) = 0;                           // 56
  virtual void SetEmpty() = 0;                                    // 57
  virtual RefPtr<Kelmo> GetParent() = 0;                          // 58
  virtual void AppendChild(const RefPtr<Kelmo>& child) = 0;       // 59
  virtual void PrependChild(const RefPtr<Kelmo>& child) = 0;      // 60
  virtual void InsertChildBefore(const RefPtr<Kelmo>& reference,
                                 const RefPtr<Kelmo>& child) = 0;  // 61
  virtual void InsertChildAfter(const RefPtr<Kelmo>& reference,
                                const RefPtr<Kelmo>& child) = 0;   // 62
  virtual void RemoveChild(const RefPtr<Kelmo>& child) = 0;       // 63
  virtual void Detach() = 0;                                      // 64
  virtual void RemoveAllChildren() = 0;                           // 65
  virtual RefPtr<Kelmo> GetElement() = 0;                         // 66
  virtual RefPtr<Kelmo> FindChildA(const char* name, unsigned int length, unsigned int codePage,
                                   unsigned int occurrence) = 0;  // 67
  virtual RefPtr<Kelmo> FindChildW(const WChar* name, unsigned int length,
                                   unsigned int occurrence) = 0;  // 68
  virtual RefPtr<Kelmo> GetFirstChild() = 0;                      // 69
  virtual RefPtr<Kelmo> FindLastChildA(const char* name, unsigned int length,
                                       unsigned int codePage,
                                       unsigned int occurrence) = 0;  // 70
  virtual RefPtr<Kelmo> FindLastChildW(const WChar* name, unsigned int length,
                                       unsigned int occurrence) = 0;  // 71
  virtual RefPtr<Kelmo> GetLastChild() = 0;                       // 72
  virtual unsigned int GetChildCount() = 0;                       // 73
  virtual RefPtr<Kelmo> GetPrevSibling() = 0;                     // 74
  virtual RefPtr<Kelmo> GetPrevSameName() = 0;                    // 75
  virtual RefPtr<Kelmo> GetNextSibling() = 0;                     // 76
  virtual RefPtr<Kelmo> GetNextSameName() = 0;                    // 77
  virtual bool HasNameIndex() = 0;                                // 78
  virtual void BuildNameIndex() = 0;                              // 79
  virtual void DropNameIndex() = 0;                               // 80
  virtual void AddRef() = 0;                                      // 81
  virtual void Release() = 0;                                     // 82
};

// Reads XML into a node tree. Every parse starts afresh with a new root.
class KelmoParser {
 public:
  virtual ~KelmoParser() {}                                                        // 0
  virtual bool ParseStringA(const char* text, unsigned int length,
                            unsigned int codePage) = 0;                            // 1
  virtual bool ParseStringW(const WChar* text, unsigned int length) = 0;           // 2
  virtual bool ParseBuffer(const unsigned char* bytes, unsigned int size) = 0;     // 3
  virtual bool ParseFileA(const char* path) = 0;                                   // 4
  virtual bool ParseFileW(const WChar* path) = 0;                                  // 5
  virtual unsigned int GetErrorLine() = 0;                                         // 6
  virtual unsigned int GetErrorColumn() = 0;                                       // 7
  virtual unsigned int GetErrorOffset() = 0;                                       // 8
  virtual unsigned int GetErrorCode() = 0;                                         // 9
  virtual RefPtr<Kelmo> GetRoot() = 0;                                             // 10
  virtual RefPtr<Kelmo> DetachRoot() = 0;                                          // 11
  virtual void AddRef() = 0;                                                       // 12
  virtual void Release() = 0;                                                      // 13
};

// Visitor of KelmoTraversal::Traverse; returning false stops the walk.
using TraverseCallback = bool (*)(RefPtr<Kelmo>& node, void* context);

// Walks trees and writes them as XML text or files. Keeps no state.
class KelmoTraversal {
 public:
  virtual ~KelmoTraversal() {}                                                     // 0
  virtual void Traverse(const RefPtr<Kelmo>& node, TraverseCallback visitor,
                        void* context) = 0;                                        // 1
  virtual const char* ToXmlA(const RefPtr<Kelmo>& node, unsigned int* length,
                             const char* indentUnit, const char* newline,
                             unsigned int codePage, RefPtr<XInRes>& holder) = 0;   // 2
  virtual const WChar* ToXmlW(const RefPtr<Kelmo>& node, unsigned int* length,
                              const WChar* indentUnit, const WChar* newline,
                              RefPtr<XInRes>& holder) = 0;                         // 3
  virtual bool SaveFileW(const RefPtr<Kelmo>& node, const WChar* path,
                         const WChar* indentUnit, const WChar* newline,
                         const WChar* encoding) = 0;                               // 4
  virtual bool SaveFileA(const RefPtr<Kelmo>& node, const char* path,
                         const char* indentUnit, const char* newline,
                         const char* encoding, unsigned int codePage) = 0;         // 5
  virtual void AddRef() = 0;                                                       // 6
  virtual void Release() = 0;                                                      // 7
};

// The factory. Not counted: destroyed only through FreeCppModuleInterface.
class IModule {
 public:
  virtual ~IModule() {}                                                            // 0
  virtual RefPtr<Kelmo> CreateNodeA(const char* name, unsigned int length,
                                    unsigned int codePage) = 0;                    // 1
  virtual RefPtr<Kelmo> CreateNodeW(const WChar* name, unsigned int length) = 0;   // 2
  virtual RefPtr<KelmoParser> CreateParser() = 0;                                  // 3
  virtual RefPtr<KelmoTraversal> CreateTraversal() = 0;                            // 4
};

}  // namespace kelmo

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
