// The automation class TIZor: coclass IZor with the interfaces IIZor2 and IIZor (in that order
// in its interface table); driver/izor serves it on the session bus.
//
// Every method logs its name first, runs its work (automation.h) inside a guard, and gives a
// failure result instead of its results when anything raises: the code of an AutomationFailure,
// else E_FAIL. The object keeps no state of its own: every instance acts on the one core and
// the one status model. Main thread only.
#pragma once

#include <cstdint>

#include "driver/izor/izor.h"
#include "platform/com/bstr.h"
#include "platform/com/unknown.h"

namespace zorrun {

using izor::CLSID_IZor;
using platform::com::BSTR;
using platform::com::HRESULT;

class TIZor : public platform::com::ComObject<izor::IIZor2, izor::IIZor> {
  public:
    // IIZor
    HRESULT GetStatus(std::int32_t* Value) override;
    HRESULT Initialize(std::int32_t* result) override;
    HRESULT StartRun(std::int32_t* result) override;
    HRESULT StopRun(std::int32_t* result) override;
    HRESULT PrepareForRun(BSTR Rawname, BSTR Methname, BSTR Listname, std::int32_t RowInd,
                          std::int32_t StartMode, BSTR Vial, double InjVolume, std::int32_t Flags,
                          std::int32_t* result) override;
    HRESULT Lock(std::int32_t* result) override;
    HRESULT Unlock(std::int32_t* result) override;
    HRESULT InstrumentHasStopped(std::int32_t DeviceType, std::int32_t* result) override;
    // The storage arrives as an object that answers ICompoundFileBytes; any other object is
    // not readable.
    HRESULT ValidateMethod(platform::com::IUnknown* StorageUnknown, BSTR* reason) override;
    HRESULT ChangeOperatingMode(std::int32_t NewMode, std::int32_t* result) override;
    HRESULT ReadBarCode(BSTR Vial, BSTR* BarCode, std::int32_t* result) override;
    // IIZor2
    HRESULT AtomStatus(BSTR* text) override;
    HRESULT Reset() override;
    HRESULT ReloadConfiguration() override;
    HRESULT SetTrayType(BSTR tray, BSTR typ) override;
    HRESULT ClearStatus() override;
    HRESULT Uploading(std::int32_t* result) override;
    HRESULT StartPolling() override;
    HRESULT ChangePorts(std::int32_t port) override;
    HRESULT ChooseVials(BSTR options, BSTR* vials, std::int32_t* result) override;
    HRESULT GetSyringe(BSTR* syringe) override;
};

// The class factory of TIZor.
platform::com::ComPtr<platform::com::IClassFactory> make_tizor_factory();

}  // namespace zorrun
