// The interfaces through which the host data system uses zorsetup, with their ids, and the
// ids of the library's classes. IUnknown-based, methods in slot order after the three of
// IUnknown. Results are 32-bit: 0 success or yes, 1 no / cancelled / nothing done, and the
// vial questions' 0x800A03E8 (unknown tray) and 0x800A03E9 (position cannot be converted).
//
// CanBeSaved, CanBePrinted and IsModified are answers, not results: nonzero means yes. The
// host saves and prints every component that answers 1, and keeps a document that answers 1
// to IsModified from being closed unsaved; read as results, "1" would mean that no method can
// ever be saved or printed and that an edited method is unmodified.
#pragma once

#include <cstdint>

#include "platform/com/bstr.h"
#include "platform/com/safearray.h"
#include "platform/com/unknown.h"

namespace zorsetup {

using platform::com::BSTR;
using platform::com::guid;
using platform::com::HRESULT;
using platform::com::IUnknown;
using platform::com::SAFEARRAY;

inline constexpr platform::com::GUID LIBID_zorsetup = guid("{9F31AB41-102F-11D2-8208-00A0244F82A5}");
inline constexpr platform::com::CLSID CLSID_TZorSetup = guid("{9F31AB43-102F-11D2-8208-00A0244F82A5}");
inline constexpr platform::com::CLSID CLSID_TConfig = guid("{58CA12B3-8EC7-11D2-8970-0080C80C9840}");
inline constexpr platform::com::CLSID CLSID_TZorAsInfo = guid("{1373174F-912D-11D2-8972-0080C80C9840}");
inline constexpr platform::com::CLSID CLSID_TAsConfig = guid("{29E4869B-2F2E-40AD-9F9E-590BA68B8846}");
inline constexpr platform::com::CLSID CLSID_TVolume = guid("{4D711CB9-801D-477D-B9D7-9834D43CBEC1}");

inline constexpr const char* prog_id_setup = "zorsetup.ZorSetup";
inline constexpr const char* prog_id_config = "zorsetup.ZorConfig";

// Results of the vial questions.
inline constexpr HRESULT result_unknown_tray = platform::com::make_hresult(0x800A03E8u);
inline constexpr HRESULT result_bad_position = platform::com::make_hresult(0x800A03E9u);

// The page rectangle of Print, in the device context's units.
struct HostRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

// Window handles, image lists, menus and device contexts travel as 32-bit handles.
using HostHandle = std::uint32_t;

// A window message as the host's message loop holds it (CompPreTranslate). A key's
// modifiers travel in `shift_down` (the host's keyboard state at the time of the message).
struct HostMessage {
    HostHandle window = 0;
    std::uint32_t message = 0;
    std::uintptr_t wparam = 0;
    std::intptr_t lparam = 0;
    std::uint32_t time = 0;
    std::int32_t x = 0;
    std::int32_t y = 0;
    bool shift_down = false;
};

struct Izorsetup : IUnknown {
    static constexpr platform::com::IID iid = guid("{1CDECF91-4CA8-11D2-9F4E-00001C600BCF}");
    virtual HostHandle CreateVisual(HostHandle Parent) = 0;                                 // 3
    virtual HostHandle GetButtonImage() = 0;                                                // 4
    virtual HostHandle GetInPlaceMenu() = 0;                                                // 5
    virtual const char16_t* GetMenuString(std::int32_t id) = 0;                             // 6
    virtual std::int32_t GetMenuFlags(std::int32_t id) = 0;                                 // 7
    virtual void ExecuteCommand(std::int32_t id) = 0;                                       // 8
    virtual HRESULT New() = 0;                                                              // 9
    virtual HRESULT Open(IUnknown* pStorage) = 0;                                           // 10
    virtual HRESULT Save(IUnknown* pStorage) = 0;                                           // 11
    virtual std::int32_t IsModified() = 0;                                                  // 12
    virtual std::int32_t CanBeSaved() = 0;                                                  // 13
    virtual std::int32_t CompPreTranslate(const HostMessage* pMsg) = 0;                     // 14
    virtual void Print(HostHandle hDC, const HostRect* Rect, std::int32_t pageNumber) = 0;  // 15
    virtual std::int32_t PageCount() = 0;                                                   // 16
    virtual std::int32_t CanBePrinted() = 0;                                                // 17

  protected:
    ~Izorsetup() = default;
};

struct ZorAsInfo : IUnknown {
    static constexpr platform::com::IID iid = guid("{4E097402-BCF6-11D1-A3FF-0000C0B58EF5}");
    virtual HRESULT ValidateVial(const char16_t* Vial, const char16_t* TrayName,
                                 std::int32_t Acquisition) = 0;
    virtual HRESULT GetNextVial(BSTR* NextVial, const char16_t* CurrentVial, const char16_t* TrayName) = 0;
    virtual HRESULT GetTrayInformation(SAFEARRAY** TrayNames, SAFEARRAY** TraySizes,
                                       std::int16_t* DefaultTray) = 0;
    virtual HRESULT HasTrayDialog() = 0;
    virtual HRESULT VisualizeList(HostHandle Parent, std::int32_t Options, SAFEARRAY** VialPositions,
                                  SAFEARRAY** VialTypes, BSTR* TrayName) = 0;
    virtual HRESULT ProvideInjectionVolumeLimits(double* LowerLimit, double* HigherLimit,
                                                 std::int16_t* Precision, double* deflt) = 0;
    virtual HRESULT GetInjectionVolumeFromMethod(IUnknown* pStorage, const double* Volume) = 0;

  protected:
    ~ZorAsInfo() = default;
};

struct AsConfig : IUnknown {
    static constexpr platform::com::IID iid = guid("{4E097403-BCF6-11D1-A3FF-0000C0B58EF5}");
    virtual HRESULT GetTrayInformation2(BSTR* TrayName, BSTR VialPos, std::int32_t* VialsPerTrayX,
                                        std::int32_t* VialsPerTrayY, std::int32_t* TrayShape) = 0;
    virtual HRESULT GetNextTray(const char16_t* CurrTrayName, BSTR* VialPos, BSTR* TrayName) = 0;
    virtual HRESULT ConvertVialPosition(std::int32_t PostoIndex, BSTR* TrayName, BSTR* VialPos,
                                        std::int32_t* TrayIndex, std::int32_t* VialIndex) = 0;

  protected:
    ~AsConfig() = default;
};

// Listed for the host; no class of the library serves it.
struct Volume : IUnknown {
    static constexpr platform::com::IID iid = guid("{4E097404-BCF6-11D1-A3FF-0000C0B58EF5}");
    virtual HRESULT ValidateInjVolume(double InjVolume, IUnknown* pStorage, BSTR* Reason) = 0;

  protected:
    ~Volume() = default;
};

struct Config : IUnknown {
    static constexpr platform::com::IID iid = guid("{D634CBE0-57BD-11D1-B4E0-00AA003D3CB3}");
    virtual HRESULT LaunchConfigDialog(HostHandle Parent) = 0;
    virtual HostHandle GetButtonImage() = 0;

  protected:
    ~Config() = default;
};

}  // namespace zorsetup
