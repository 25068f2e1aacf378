// A frozen copy of the library's interfaces as hosts compiled them when this
// file was written: slot 0 the virtual destructor, then every slot in its
// binary order. Never edit it to follow a change in include/kelmo/: a host
// built against this copy must keep working, and the program that uses it
// (slot_host.cpp) fails when a slot moves.
//
// It needs no standard library, so that the same declarations compile for a
// freestanding host in MSVC's binary interface. There `long double` is 8 bytes
// and std::shared_ptr<void> is MSVC's {object, control block}; elsewhere the
// host passes the platform's own std::shared_ptr<void>.
#ifndef KELMO_TESTS_ABI_FROZEN_INTERFACES_H
#define KELMO_TESTS_ABI_FROZEN_INTERFACES_H

#include <stdint.h>

#if !defined(_WIN32)
#include <memory>
#endif

namespace frozen {

#if defined(_WIN32)
using WChar = wchar_t;

// MSVC's std::_Ref_count_base: three virtual functions, then the use and
// weak counts.
class ControlBlock {
 public:
  virtual void Destroy() noexcept = 0;     // _Destroy
  virtual void DeleteThis() noexcept = 0;  // _Delete_this
  virtual ~ControlBlock() noexcept {}
  uint32_t uses = 1;
  uint32_t weaks = 1;
};

// MSVC's std::shared_ptr<void>.
struct SharedPtr {
  void* object = nullptr;
  ControlBlock* control = nullptr;
};
#else
using WChar = char16_t;
using SharedPtr = std::shared_ptr<void>;
#endif

#if !defined(_WIN32)
}  // namespace frozen

// Outside Windows the COM interfaces are the library's own declarations, and
// a host derives its objects from them by their name, kelmo::IUnknown.
namespace kelmo {
using frozen::WChar;
#endif

struct Guid {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
};

struct IUnknown {
  virtual int32_t QueryInterface(const Guid& iid, void** object) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;
};

struct ITypeInfo;
struct DISPPARAMS;
struct VARIANT;
struct EXCEPINFO;

struct IDispatch : IUnknown {
  virtual int32_t GetTypeInfoCount(unsigned int* count) = 0;
  virtual int32_t GetTypeInfo(unsigned int index, uint32_t locale, ITypeInfo** info) = 0;
  virtual int32_t GetIDsOfNames(const Guid& iid, WChar** names, unsigned int count,
                                uint32_t locale, int32_t* ids) = 0;
  virtual int32_t Invoke(int32_t member, const Guid& iid, uint32_t locale, uint16_t flags,
                         DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                         unsigned int* argError) = 0;
};

#if !defined(_WIN32)
}  // namespace kelmo

namespace frozen {
using kelmo::DISPPARAMS;
using kelmo::EXCEPINFO;
using kelmo::Guid;
using kelmo::IDispatch;
using kelmo::ITypeInfo;
using kelmo::IUnknown;
using kelmo::VARIANT;
#endif

// The owning handle: one pointer, counted; not trivially copyable, so that it
// is returned through memory that the caller supplies.
template <class T>
class RefPtr {
 public:
  RefPtr() = default;
  RefPtr(const RefPtr& other) : p_(other.p_) {
    if (p_) p_->AddRef();
  }
  RefPtr& operator=(const RefPtr& other) {
    if (other.p_) other.p_->AddRef();
    T* old = p_;
    p_ = other.p_;
    if (old) old->Release();
    return *this;
  }
  ~RefPtr() {
    if (p_) p_->Release();
  }
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

class XInRes {
 public:
  virtual ~XInRes() {}
  virtual void AddRef() = 0;
  virtual void Release() = 0;
};

class Kelmo {
 public:
  virtual ~Kelmo() {}
  virtual RefPtr<Kelmo> Clone() = 0;
  virtual RefPtr<Kelmo> CreateNode() = 0;
  virtual int GetType() = 0;
  virtual bool IsEmpty() = 0;
  virtual bool IsNumber() = 0;
  virtual bool IsScalar() = 0;
  virtual bool IsBinary() = 0;
  virtual bool IsObject() = 0;
  virtual int GetKind() = 0;
  virtual void SetKind(char kind) = 0;
  virtual bool GetNameA(const char*& text, unsigned int& length, unsigned int codePage,
                        RefPtr<XInRes>& holder) = 0;
  virtual bool GetNameW(const WChar*& text, unsigned int& length, RefPtr<XInRes>& holder) = 0;
  virtual void SetNameA(const char* text, unsigned int length, unsigned int codePage) = 0;
  virtual void SetNameW(const WChar* text, unsigned int length) = 0;
  virtual bool GetBinary(const unsigned char*& data, unsigned int& length,
                         RefPtr<XInRes>& holder) = 0;
  virtual bool GetStringA(const char*& text, unsigned int& length, unsigned int codePage,
                          RefPtr<XInRes>& holder) = 0;
  virtual bool GetStringW(const WChar*& text, unsigned int& length, RefPtr<XInRes>& holder) = 0;
  virtual bool GetDispatch(IDispatch*& value) = 0;
  virtual bool GetUnknown(IUnknown*& value) = 0;
  virtual bool GetSharedPtr(SharedPtr& value) = 0;
  virtual bool GetPointer(void*& value) = 0;
  virtual bool GetBool(bool& value) = 0;
  virtual bool GetLongDouble(long double& value) = 0;
  virtual bool GetDouble(double& value) = 0;
  virtual bool GetFloat(float& value) = 0;
  virtual bool GetULong(uint32_t& value) = 0;
  virtual bool GetLong(int32_t& value) = 0;
  virtual bool GetUInt64(uint64_t& value) = 0;
  virtual bool GetInt64(int64_t& value) = 0;
  virtual bool GetUInt(unsigned int& value) = 0;
  virtual bool GetInt(int& value) = 0;
  virtual bool GetUShort(uint16_t& value) = 0;
  virtual bool GetShort(int16_t& value) = 0;
  virtual bool GetUChar(unsigned char& value) = 0;
  virtual bool GetChar(char& value) = 0;
  virtual void SetBinary(const unsigned char* data, unsigned int length) = 0;
  virtual void SetStringA(const char* text, unsigned int length, unsigned int codePage) = 0;
  virtual void SetStringW(const WChar* text, unsigned int length) = 0;
  virtual void SetDispatch(IDispatch* value) = 0;
  virtual void SetUnknown(IUnknown* value) = 0;
  virtual void SetSharedPtr(const SharedPtr& value) = 0;
  virtual void SetPointer(void* value) = 0;
  virtual void SetBool(bool value) = 0;
  virtual void SetLongDouble(long double value) = 0;
  virtual void SetDouble(double value) = 0;
  virtual void SetFloat(float value) = 0;
  virtual void SetULong(uint32_t value) = 0;
  virtual void SetLong(int32_t value) = 0;
  virtual void SetUInt64(uint64_t value) = 0;
  virtual void SetInt64(int64_t value) = 0;
  virtual void SetUInt(unsigned int value) = 0;
  virtual void SetInt(int value) = 0;
  virtual void SetUShort(uint16_t value) = 0;
  virtual void SetShort(int16_t value) = 0;
  virtual void SetUChar(unsigned char value) = 0;
  virtual void SetChar(char value) = 0;
  virtual void SetEmpty() = 0;
  virtual RefPtr<Kelmo> GetParent() = 0;
  virtual void AppendChild(const RefPtr<Kelmo>& child) = 0;
  virtual void PrependChild(const RefPtr<Kelmo>& child) = 0;
  virtual void InsertChildBefore(const RefPtr<Kelmo>& reference, const RefPtr<Kelmo>& child) = 0;
  virtual void InsertChildAfter(const RefPtr<Kelmo>& reference, const RefPtr<Kelmo>& child) = 0;
  virtual void RemoveChild(const RefPtr<Kelmo>& child) = 0;
  virtual void Detach() = 0;
  virtual void RemoveAllChildren() = 0;
  virtual RefPtr<Kelmo> GetElement() = 0;
  virtual RefPtr<Kelmo> FindChildA(const char* name, unsigned int length, unsigned int codePage,
                                   unsigned int occurrence) = 0;
  virtual RefPtr<Kelmo> FindChildW(const WChar* name, unsigned int length,
                                   unsigned int occurrence) = 0;
  virtual RefPtr<Kelmo> GetFirstChild() = 0;
  virtual RefPtr<Kelmo> FindLastChildA(const char* name, unsigned int length,
                                       unsigned int codePage, unsigned int occurrence) = 0;
  virtual RefPtr<Kelmo> FindLastChildW(const WChar* name, unsigned int length,
                                       unsigned int occurrence) = 0;
  virtual RefPtr<Kelmo> GetLastChild() = 0;
  virtual unsigned int GetChildCount() = 0;
  virtual RefPtr<Kelmo> GetPrevSibling() = 0;
  virtual RefPtr<Kelmo> GetPrevSameName() = 0;
  virtual RefPtr<Kelmo> GetNextSibling() = 0;
  virtual RefPtr<Kelmo> GetNextSameName() = 0;
  virtual bool HasNameIndex() = 0;
  virtual void BuildNameIndex() = 0;
  virtual void DropNameIndex() = 0;
  virtual void AddRef() = 0;
  virtual void Release() = 0;
};

class KelmoParser {
 public:
  virtual ~KelmoParser() {}
  virtual bool ParseStringA(const char* text, unsigned int length, unsigned int codePage) = 0;
  virtual bool ParseStringW(const WChar* text, unsigned int length) = 0;
  virtual bool ParseBuffer(const unsigned char* bytes, unsigned int size) = 0;
  virtual bool ParseFileA(const char* path) = 0;
  virtual bool ParseFileW(const WChar* path) = 0;
  virtual unsigned int GetErrorLine() = 0;
  virtual unsigned int GetErrorColumn() = 0;
  virtual unsigned int GetErrorOffset() = 0;
  virtual unsigned int GetErrorCode() = 0;
  virtual RefPtr<Kelmo> GetRoot() = 0;
  virtual RefPtr<Kelmo> DetachRoot() = 0;
  virtual void AddRef() = 0;
  virtual void Release() = 0;
};

using TraverseCallback = bool (*)(RefPtr<Kelmo>& node, void* context);

class KelmoTraversal {
 public:
  virtual ~KelmoTraversal() {}
  virtual void Traverse(const RefPtr<Kelmo>& node, TraverseCallback visitor, void* context) = 0;
  virtual const char* ToXmlA(const RefPtr<Kelmo>& node, unsigned int* length,
                             const char* indentUnit, const char* newline, unsigned int codePage,
                             RefPtr<XInRes>& holder) = 0;
  virtual const WChar* ToXmlW(const RefPtr<Kelmo>& node, unsigned int* length,
                              const WChar* indentUnit, const WChar* newline,
                              RefPtr<XInRes>& holder) = 0;
  virtual bool SaveFileW(const RefPtr<Kelmo>& node, const WChar* path, const WChar* indentUnit,
                         const WChar* newline, const WChar* encoding) = 0;
  virtual bool SaveFileA(const RefPtr<Kelmo>& node, const char* path, const char* indentUnit,
                         const char* newline, const char* encoding, unsigned int codePage) = 0;
  virtual void AddRef() = 0;
  virtual void Release() = 0;
};

class IModule {
 public:
  virtual ~IModule() {}
  virtual RefPtr<Kelmo> CreateNodeA(const char* name, unsigned int length,
                                    unsigned int codePage) = 0;
  virtual RefPtr<Kelmo> CreateNodeW(const WChar* name, unsigned int length) = 0;
  virtual RefPtr<KelmoParser> CreateParser() = 0;
  virtual RefPtr<KelmoTraversal> CreateTraversal() = 0;
};

using ModuleFn = void (*)(IModule** slot);

}  // namespace frozen

#endif  // KELMO_TESTS_ABI_FROZEN_INTERFACES_H
