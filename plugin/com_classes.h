// The library's COM classes: TTSetup (coclass TZorSetup: the document component with its editor
// view, document streams, printing, in-place menu and the vial and tray questions; interfaces
// AsConfig, ZorAsInfo and Izorsetup, in that order in its interface table) and TTConfig
// (coclass TConfig, the configuration component).
//
// The classes are the shell: they check the host's arguments, turn the host's strings and
// arrays into the system's own and back, count themselves among the library's live objects and
// answer with the results the host expects; the work is in the files of what it does
// (host_document, vial_arithmetic, tray_form, util_form, injection_volume, config_form).
//
// No exception crosses into the host: every method catches, logs "zorsetup : exception in
// <method>: <what>" and returns its failure (E_FAIL, or 0 where the slot returns a value).
// Methods that need the editor answer E_UNEXPECTED (or 0) before any CreateVisual and after
// the host destroyed the editor's window, instead of reaching a form that is not there.
// Main thread only.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/com/unknown.h"
#include "platform/storage/com_storage.h"
#include "plugin/host_interfaces.h"

namespace zorsetup {

class Tmethod_editor;

class TTSetup final : public platform::com::ComObject<AsConfig, ZorAsInfo, Izorsetup> {
  public:
    TTSetup();
    ~TTSetup() override;

    // Izorsetup
    HostHandle CreateVisual(HostHandle parent) override;
    HostHandle GetButtonImage() override;
    HostHandle GetInPlaceMenu() override;
    const char16_t* GetMenuString(std::int32_t) override;
    std::int32_t GetMenuFlags(std::int32_t) override;
    void ExecuteCommand(std::int32_t id) override;
    HRESULT New() override;
    HRESULT Open(IUnknown* storage) override;
    HRESULT Save(IUnknown* storage) override;
    std::int32_t IsModified() override;
    std::int32_t CanBeSaved() override;
    // The dialog-message test of the message against the editor; nonzero when it was taken.
    std::int32_t CompPreTranslate(const HostMessage* msg) override;
    void Print(HostHandle dc, const HostRect* rect, std::int32_t page) override;
    std::int32_t PageCount() override;
    std::int32_t CanBePrinted() override;

    // ZorAsInfo
    HRESULT ValidateVial(const char16_t* vial, const char16_t* tray_name, std::int32_t acquisition) override;
    HRESULT GetNextVial(BSTR* next, const char16_t* current, const char16_t* tray_name) override;
    HRESULT GetTrayInformation(SAFEARRAY** names, SAFEARRAY** sizes, std::int16_t* default_tray) override;
    HRESULT HasTrayDialog() override;
    HRESULT VisualizeList(HostHandle parent, std::int32_t, SAFEARRAY** positions, SAFEARRAY** types,
                          BSTR* tray_name) override;
    HRESULT ProvideInjectionVolumeLimits(double* lower, double* higher, std::int16_t* precision,
                                         double* deflt) override;
    HRESULT GetInjectionVolumeFromMethod(IUnknown*, const double* volume) override;

    // AsConfig
    HRESULT GetTrayInformation2(BSTR* tray_name, BSTR vial_pos, std::int32_t* x, std::int32_t* y,
                                std::int32_t* shape) override;
    HRESULT GetNextTray(const char16_t* current, BSTR* vial_pos, BSTR* tray_name) override;
    HRESULT ConvertVialPosition(std::int32_t to_index, BSTR* tray_name, BSTR* vial_pos,
                                std::int32_t* tray_index, std::int32_t* vial_index) override;

  private:
    // The editor and the host's storage, or why there are none.
    static HRESULT with_document(std::string_view method, IUnknown* storage,
                                 std::int32_t (*act)(Tmethod_editor&, platform::storage::IStorage&));
};

class TTConfig final : public platform::com::ComObject<Config> {
  public:
    TTConfig();
    ~TTConfig() override;
    HRESULT LaunchConfigDialog(HostHandle) override;
    HostHandle GetButtonImage() override;
};

}  // namespace zorsetup
