// The COM names that test objects implementing IUnknown or IDispatch use,
// written without a namespace: off Windows they are the library's own
// declarations in kelmo, on Windows the system's, whose status codes are
// macros and cannot be qualified.
#ifndef KELMO_TESTS_SUPPORT_COM_NAMES_H
#define KELMO_TESTS_SUPPORT_COM_NAMES_H

#include "kelmo/com.h"

#if !defined(_WIN32)
using kelmo::DISPID;
using kelmo::DISPPARAMS;
using kelmo::E_NOINTERFACE;
using kelmo::E_NOTIMPL;
using kelmo::E_POINTER;
using kelmo::EXCEPINFO;
using kelmo::ITypeInfo;
using kelmo::LCID;
using kelmo::OLECHAR;
using kelmo::S_OK;
using kelmo::ULONG;
using kelmo::VARIANT;
#endif

#endif  // KELMO_TESTS_SUPPORT_COM_NAMES_H
