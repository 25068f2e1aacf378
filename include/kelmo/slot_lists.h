// The slot order of every interface, once. Each list names the slots after
// slot 0, the virtual destructor, in their binary order; kelmo.h declares the
// interfaces from these lists. Never reorder, insert or remove an entry: the
// order is the binary interface with hosts.
//
// Entry: X(result, name, (parameters), (arguments)). The arguments repeat the
// parameter names so that call forwarding can be generated from the entry.
#ifndef KELMO_SLOT_LISTS_H
#define KELMO_SLOT_LISTS_H

// A slot as a pure virtual function: the natural declaration.
#define KELMO_VIRTUAL_SLOT(result, name, parameters, arguments) virtual result name parameters = 0;

// XInRes: owner of memory made for a caller.
#define KELMO_XINRES_SLOTS(X)  \
  X(void, AddRef, (), ())      /* 1 */ \
  X(void, Release, (), ())     /* 2 */

// Kelmo: a parameter node.
#define KELMO_KELMO_SLOTS(X) \
  X(RefPtr<Kelmo>, Clone, (), ())                                               /* 1 */ \
  X(RefPtr<Kelmo>, CreateNode, (), ())                                          /* 2 */ \
  X(int, GetType, (), ())                                                       /* 3 */ \
  X(bool, IsEmpty, (), ())                                                      /* 4 */ \
  X(bool, IsNumber, (), ())                                                     /* 5 */ \
  X(bool, IsScalar, (), ())                                                     /* 6 */ \
  X(bool, IsBinary, (), ())                                                     /* 7 */ \
  X(bool, IsObject, (), ())                                                     /* 8 */ \
  X(int, GetKind, (), ())                                                       /* 9 */ \
  X(void, SetKind, (char kind), (kind))                                         /* 10 */ \
  X(bool, GetNameA,                                                                     \
    (const char*& text, unsigned int& length, unsigned int codePage,                    \
     RefPtr<XInRes>& holder),                                                           \
    (text, length, codePage, holder))                                           /* 11 */ \
  X(bool, GetNameW, (const WChar*& text, unsigned int& length, RefPtr<XInRes>& holder), \
    (text, length, holder))                                                     /* 12 */ \
  X(void, SetNameA, (const char* text, unsigned int length, unsigned int codePage),     \
    (text, length, codePage))                                                   /* 13 */ \
  X(void, SetNameW, (const WChar* text, unsigned int length), (text, length))   /* 14 */ \
  X(bool, GetBinary,                                                                    \
    (const unsigned char*& data, unsigned int& length, RefPtr<XInRes>& holder),         \
    (data, length, holder))                                                     /* 15 */ \
  X(bool, GetStringA,                                                                   \
    (const char*& text, unsigned int& length, unsigned int codePage,                    \
     RefPtr<XInRes>& holder),                                                           \
    (text, length, codePage, holder))                                           /* 16 */ \
  X(bool, GetStringW,                                                                   \
    (const WChar*& text, unsigned int& length, RefPtr<XInRes>& holder),                 \
    (text, length, holder))                                                     /* 17 */ \
  X(bool, GetDispatch, (IDispatch*& value), (value))                            /* 18 */ \
  X(bool, GetUnknown, (IUnknown*& value), (value))                              /* 19 */ \
  X(bool, GetSharedPtr, (std::shared_ptr<void>& value), (value))                /* 20 */ \
  X(bool, GetPointer, (void*& value), (value))                                  /* 21 */ \
  X(bool, GetBool, (bool& value), (value))                                      /* 22 */ \
  X(bool, GetLongDouble, (long double& value), (value))                         /* 23 */ \
  X(bool, GetDouble, (double& value), (value))                                  /* 24 */ \
  X(bool, GetFloat, (float& value), (value))                                    /* 25 */ \
  X(bool, GetULong, (uint32_t& value), (value))                                 /* 26 */ \
  X(bool, GetLong, (int32_t& value), (value))                                   /* 27 */ \
  X(bool, GetUInt64, (uint64_t& value), (value))                                /* 28 */ \
  X(bool, GetInt64, (int64_t& value), (value))                                  /* 29 */ \
  X(bool, GetUInt, (unsigned int& value), (value))                              /* 30 */ \
  X(bool, GetInt, (int& value), (value))                                        /* 31 */ \
  X(bool, GetUShort, (uint16_t& value), (value))                                /* 32 */ \
  X(bool, GetShort, (int16_t& value), (value))                                  /* 33 */ \
  X(bool, GetUChar, (unsigned char& value), (value))                            /* 34 */ \
  X(bool, GetChar, (char& value), (value))                                      /* 35 */ \
  X(void, SetBinary, (const unsigned char* data, unsigned int length),                  \
    (data, length))                                                             /* 36 */ \
  X(void, SetStringA, (const char* text, unsigned int length, unsigned int codePage),   \
    (text, length, codePage))                                                   /* 37 */ \
  X(void, SetStringW, (const WChar* text, unsigned int length), (text, length)) /* 38 */ \
  X(void, SetDispatch, (IDispatch* value), (value))                             /* 39 */ \
  X(void, SetUnknown, (IUnknown* value), (value))                               /* 40 */ \
  X(void, SetSharedPtr, (const std::shared_ptr<void>& value), (value))          /* 41 */ \
  X(void, SetPointer, (void* value), (value))                                   /* 42 */ \
  X(void, SetBool, (bool value), (value))                                       /* 43 */ \
  X(void, SetLongDouble, (long double value), (value))                          /* 44 */ \
  X(void, SetDouble, (double value), (value))                                   /* 45 */ \
  X(void, SetFloat, (float value), (value))                                     /* 46 */ \
  X(void, SetULong, (uint32_t value), (value))                                  /* 47 */ \
  X(void, SetLong, (int32_t value), (value))                                    /* 48 */ \
  X(void, SetUInt64, (uint64_t value), (value))                                 /* 49 */ \
  X(void, SetInt64, (int64_t value), (value))                                   /* 50 */ \
  X(void, SetUInt, (unsigned int value), (value))                               /* 51 */ \
  X(void, SetInt, (int value), (value))                                         /* 52 */ \
  X(void, SetUShort, (uint16_t value), (value))                                 /* 53 */ \
  X(void, SetShort, (int16_t value), (value))                                   /* 54 */ \
  X(void, SetUChar, (unsigned char value), (value))                             /* 55 */ \
  X(void, SetChar, (char value), (value))                                       /* 56 */ \
  X(void, SetEmpty, (), ())                                                     /* 57 */ \
  X(RefPtr<Kelmo>, GetParent, (), ())                                           /* 58 */ \
  X(void, AppendChild, (const RefPtr<Kelmo>& child), (child))                   /* 59 */ \
  X(void, PrependChild, (const RefPtr<Kelmo>& child), (child))                  /* 60 */ \
  X(void, InsertChildBefore, (const RefPtr<Kelmo>& reference, const RefPtr<Kelmo>& child), \
    (reference, child))                                                         /* 61 */ \
  X(void, InsertChildAfter, (const RefPtr<Kelmo>& reference, const RefPtr<Kelmo>& child),  \
    (reference, child))                                                         /* 62 */ \
  X(void, RemoveChild, (const RefPtr<Kelmo>& child), (child))                   /* 63 */ \
  X(void, Detach, (), ())                                                       /* 64 */ \
  X(void, RemoveAllChildren, (), ())                                            /* 65 */ \
  X(RefPtr<Kelmo>, GetElement, (), ())                                          /* 66 */ \
  X(RefPtr<Kelmo>, FindChildA,                                                          \
    (const char* name, unsigned int length, unsigned int codePage,                      \
     unsigned int occurrence),                                                          \
    (name, length, codePage, occurrence))                                       /* 67 */ \
  X(RefPtr<Kelmo>, FindChildW,                                                          \
    (const WChar* name, unsigned int length, unsigned int occurrence),                  \
    (name, length, occurrence))                                                 /* 68 */ \
  X(RefPtr<Kelmo>, GetFirstChild, (), ())                                       /* 69 */ \
  X(RefPtr<Kelmo>, FindLastChildA,                                                      \
    (const char* name, unsigned int length, unsigned int codePage,                      \
     unsigned int occurrence),                                                          \
    (name, length, codePage, occurrence))                                       /* 70 */ \
  X(RefPtr<Kelmo>, FindLastChildW,                                                      \
    (const WChar* name, unsigned int length, unsigned int occurrence),                  \
    (name, length, occurrence))                                                 /* 71 */ \
  X(RefPtr<Kelmo>, GetLastChild, (), ())                                        /* 72 */ \
  X(unsigned int, GetChildCount, (), ())                                        /* 73 */ \
  X(RefPtr<Kelmo>, GetPrevSibling, (), ())                                      /* 74 */ \
  X(RefPtr<Kelmo>, GetPrevSameName, (), ())                                     /* 75 */ \
  X(RefPtr<Kelmo>, GetNextSibling, (), ())                                      /* 76 */ \
  X(RefPtr<Kelmo>, GetNextSameName, (), ())                                     /* 77 */ \
  X(bool, HasNameIndex, (), ())                                                 /* 78 */ \
  X(void, BuildNameIndex, (), ())                                               /* 79 */ \
  X(void, DropNameIndex, (), ())                                                /* 80 */ \
  X(void, AddRef, (), ())                                                       /* 81 */ \
  X(void, Release, (), ())                                                      /* 82 */

// KelmoParser: reads XML into a node tree.
#define KELMO_PARSER_SLOTS(X) \
  X(bool, ParseStringA, (const char* text, unsigned int length, unsigned int codePage), \
    (text, length, codePage))                                                   /* 1 */ \
  X(bool, ParseStringW, (const WChar* text, unsigned int length), (text, length)) /* 2 */ \
  X(bool, ParseBuffer, (const unsigned char* bytes, unsigned int size),                 \
    (bytes, size))                                                              /* 3 */ \
  X(bool, ParseFileA, (const char* path), (path))                               /* 4 */ \
  X(bool, ParseFileW, (const WChar* path), (path))                              /* 5 */ \
  X(unsigned int, GetErrorLine, (), ())                                         /* 6 */ \
  X(unsigned int, GetErrorColumn, (), ())                                       /* 7 */ \
  X(unsigned int, GetErrorOffset, (), ())                                       /* 8 */ \
  X(unsigned int, GetErrorCode, (), ())                                         /* 9 */ \
  X(RefPtr<Kelmo>, GetRoot, (), ())                                             /* 10 */ \
  X(RefPtr<Kelmo>, DetachRoot, (), ())                                          /* 11 */ \
  X(void, AddRef, (), ())                                                       /* 12 */ \
  X(void, Release, (), ())                                                      /* 13 */

// KelmoTraversal: walks trees and writes them as XML.
#define KELMO_TRAVERSAL_SLOTS(X) \
  X(void, Traverse, (const RefPtr<Kelmo>& node, TraverseCallback visitor, void* context), \
    (node, visitor, context))                                                   /* 1 */ \
  X(const char*, ToXmlA,                                                                \
    (const RefPtr<Kelmo>& node, unsigned int* length, const char* indentUnit,           \
     const char* newline, unsigned int codePage, RefPtr<XInRes>& holder),               \
    (node, length, indentUnit, newline, codePage, holder))                      /* 2 */ \
  X(const WChar*, ToXmlW,                                                               \
    (const RefPtr<Kelmo>& node, unsigned int* length, const WChar* indentUnit,          \
     const WChar* newline, RefPtr<XInRes>& holder),                                     \
    (node, length, indentUnit, newline, holder))                                /* 3 */ \
  X(bool, SaveFileW,                                                                    \
    (const RefPtr<Kelmo>& node, const WChar* path, const WChar* indentUnit,             \
     const WChar* newline, const WChar* encoding),                                      \
    (node, path, indentUnit, newline, encoding))                                /* 4 */ \
  X(bool, SaveFileA,                                                                    \
    (const RefPtr<Kelmo>& node, const char* path, const char* indentUnit,               \
     const char* newline, const char* encoding, unsigned int codePage),                 \
    (node, path, indentUnit, newline, encoding, codePage))                      /* 5 */ \
  X(void, AddRef, (), ())                                                       /* 6 */ \
  X(void, Release, (), ())                                                      /* 7 */

// IModule: the factory; not counted.
#define KELMO_MODULE_SLOTS(X) \
  X(RefPtr<Kelmo>, CreateNodeA, (const char* name, unsigned int length, unsigned int codePage), \
    (name, length, codePage))                                                   /* 1 */ \
  X(RefPtr<Kelmo>, CreateNodeW, (const WChar* name, unsigned int length),              \
    (name, length))                                                             /* 2 */ \
  X(RefPtr<KelmoParser>, CreateParser, (), ())                                  /* 3 */ \
  X(RefPtr<KelmoTraversal>, CreateTraversal, (), ())                            /* 4 */

#endif  // KELMO_SLOT_LISTS_H
