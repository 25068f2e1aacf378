// A COM object for tests that stores IUnknown and IDispatch values: it lives
// on the stack and counts what is done to it. It never frees itself, so a
// stray Release shows as a wrong count rather than a crash; a Release that
// takes the count to 0 is counted as a death.
#ifndef KELMO_TESTS_SUPPORT_COUNTING_COM_OBJECT_H
#define KELMO_TESTS_SUPPORT_COUNTING_COM_OBJECT_H

#include <cstdint>

#include "kelmo/com.h"
#include "support/com_names.h"

namespace kelmo_test {

#if defined(_WIN32)
#define KELMO_TEST_COM_CALL __stdcall
using ComDispatchFlags = WORD;
#else
#define KELMO_TEST_COM_CALL
using ComDispatchFlags = uint16_t;
#endif

class CountingComObject final : public kelmo::IDispatch {
 public:
  // An object that answers QueryInterface for IUnknown only, when
  // answersDispatch is false.
  explicit CountingComObject(bool answersDispatch = true) : answersDispatch_(answersDispatch) {}

  kelmo::HRESULT KELMO_TEST_COM_CALL QueryInterface(const kelmo::IID& iid,
                                                    void** object) override {
    ++queries;
    lastQuery = iid;
    if (!object) return E_POINTER;
    if (iid == kelmo::IidUnknown()) {
      *object = static_cast<kelmo::IUnknown*>(this);
    } else if (iid == kelmo::IidDispatch() && answersDispatch_) {
      *object = static_cast<kelmo::IDispatch*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG KELMO_TEST_COM_CALL AddRef() override { return static_cast<ULONG>(++references); }
  ULONG KELMO_TEST_COM_CALL Release() override {
    ++releases;
    if (--references == 0) ++deaths;  // a real object would free itself here
    return static_cast<ULONG>(references);
  }
  kelmo::HRESULT KELMO_TEST_COM_CALL GetTypeInfoCount(unsigned int*) override {
    return E_NOTIMPL;
  }
  kelmo::HRESULT KELMO_TEST_COM_CALL GetTypeInfo(unsigned int, LCID, ITypeInfo**) override {
    return E_NOTIMPL;
  }
  kelmo::HRESULT KELMO_TEST_COM_CALL GetIDsOfNames(const kelmo::IID&, OLECHAR**, unsigned int,
                                                   LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  kelmo::HRESULT KELMO_TEST_COM_CALL Invoke(DISPID, const kelmo::IID&, LCID, ComDispatchFlags,
                                            DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                            unsigned int*) override {
    return E_NOTIMPL;
  }

  int references = 1;  // the test's own
  int releases = 0;
  int deaths = 0;
  int queries = 0;
  kelmo::IID lastQuery{};

 private:
  bool answersDispatch_;
};

}  // namespace kelmo_test

#endif  // KELMO_TESTS_SUPPORT_COUNTING_COM_OBJECT_H
