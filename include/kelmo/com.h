// COM IUnknown and IDispatch as node values. On Windows these are the system's
// own declarations; elsewhere the library declares the same vtable layout and
// the standard interface identifiers so that hosts can hand such objects in.
#ifndef KELMO_COM_H
#define KELMO_COM_H

#include "kelmo/platform_types.h"

#if defined(_WIN32)
// Through kelmo/windows_lean.h first, so that the system headers that these
// pull in come without the min and max macros.
#include "kelmo/windows_lean.h"
#include <objbase.h>
#include <oaidl.h>
#include <unknwn.h>

namespace kelmo {
using ::GUID;
using ::HRESULT;
using ::IDispatch;
using ::IID;
using ::IUnknown;
inline const IID& IidUnknown() { return IID_IUnknown; }
inline const IID& IidDispatch() { return IID_IDispatch; }
}  // namespace kelmo

#else

#include <cstring>

namespace kelmo {

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
using IID = GUID;
using REFIID = const IID&;
using HRESULT = int32_t;
using ULONG = uint32_t;
using LCID = uint32_t;
using DISPID = int32_t;
using OLECHAR = WChar;

constexpr HRESULT S_OK = 0;
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);

inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

inline bool IsEqualGUID(const GUID& a, const GUID& b) {
  return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}
inline bool operator==(const GUID& a, const GUID& b) { return IsEqualGUID(a, b); }

// Opaque automation types; the library never calls the IDispatch methods.
struct ITypeInfo;
struct DISPPARAMS;
struct VARIANT;
struct EXCEPINFO;

struct IUnknown {
  virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;
};

struct IDispatch : IUnknown {
  virtual HRESULT GetTypeInfoCount(unsigned int* count) = 0;
  virtual HRESULT GetTypeInfo(unsigned int index, LCID locale, ITypeInfo** info) = 0;
  virtual HRESULT GetIDsOfNames(REFIID riid, OLECHAR** names, unsigned int count, LCID locale,
                                DISPID* ids) = 0;
  virtual HRESULT Invoke(DISPID member, REFIID riid, LCID locale, uint16_t flags,
                         DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                         unsigned int* argError) = 0;

 protected:
  ~IDispatch() = default;
};

inline const IID& IidUnknown() { return IID_IUnknown; }
inline const IID& IidDispatch() { return IID_IDispatch; }

}  // namespace kelmo

#endif

#endif  // KELMO_COM_H
