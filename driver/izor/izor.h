// The automation interfaces of Zorrun: IIZor (runs) and IIZor2 (configuration tasks), their
// tables on the session bus, the client proxy and the server stub.
//
// Interfaces: IUnknown-based C++ classes with the methods in dispatch-id order (1 upwards).
// The IDispatch slots are left out: nothing in the system binds late, and a late-binding
// client uses the bus instead, where every method has its own name. Every method returns an
// HRESULT; "result" is the last, [out] long parameter. An [out] BSTR is the caller's to free.
//
// On the bus (bus name com.hox.Zorrun, object /com/hox/Zorrun/IZor, interfaces
// com.hox.Zorrun.IIZor and com.hox.Zorrun.IIZor2): one D-Bus method per method, named as the
// method; in arguments in declared order (BSTR "s", long "i", double "d", the storage of
// ValidateMethod "ay" = the bytes of a compound file); the reply holds the out values in order,
// then the result where the method has one. A failure HRESULT is the error
// com.hox.Zorrun.Error.Failed, "<method> failed: HRESULT 0x80004001".
//
// Client (the plug-in's bridge, zorctl):
//     ComPtr<IIZor> zor;
//     HRESULT hr = co_create_instance(CLSID_IZor, nullptr, CLSCTX_LOCAL_SERVER, IID_IIZor, zor.put_void());
//     ComPtr<IIZor2> zor2 = zor.query<IIZor2>();
//     hr = zor2->StartPolling();
// The proxy answers IIZor and IIZor2; it holds one reference on the server, given back when
// the last interface pointer is released.
//
// Server (Zorrun): implement TIZor as a ComObject<IIZor2, IIZor>, then
//     ComPtr<IClassFactory> factory = make_class_factory<TIZor>();
//     izor::register_class_object(factory.get(), &cookie);        // claims com.hox.Zorrun
//     set_last_reference_handler([] { post_quit_message(0); });  // when started with -Embedding
//
// Thread contract: main thread only.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/com/com.h"

namespace izor {

using platform::com::BSTR;
using platform::com::CLSID;
using platform::com::guid;
using platform::com::HRESULT;
using platform::com::IID;
using platform::com::IUnknown;

inline constexpr CLSID CLSID_IZor = guid("{763BDB62-6812-11D2-883E-3C8B00C10000}");
inline constexpr IID IID_IIZor = guid("{763BDB61-6812-11D2-883E-3C8B00C10000}");
inline constexpr IID IID_IIZor2 = guid("{3FD89A95-A73D-11D2-8983-0080C80C9840}");

inline constexpr const char* bus_name = "com.hox.Zorrun";
inline constexpr const char* object_name = "IZor";  // /com/hox/Zorrun/IZor
inline constexpr const char* prog_id = "Zorrun.IZor";
inline constexpr const char* class_description = "zorrun Library: IZor";

// Zorrun's own failure results (beyond E_FAIL for anything unexpected); clients tell them apart.
// The port is not open: nothing can reach the instrument.
inline constexpr HRESULT ZOR_E_NOT_CONNECTED = platform::com::make_hresult(0x80070015u);  // not ready
// The instrument did not answer within the call's bound (or the link gave up resending).
inline constexpr HRESULT ZOR_E_NO_ANSWER = platform::com::make_hresult(0x800705B4u);  // time-out
// Another job of several exchanges is under way (an upload, a clean-up, a run's syringe check);
// this one would cancel it.
inline constexpr HRESULT ZOR_E_BUSY = platform::com::make_hresult(0x800700AAu);  // busy
// The driver is not in a state that allows the call (a run is under way or none is prepared,
// the status was not cleared); the status tells the rest.
inline constexpr HRESULT ZOR_E_NOT_READY = platform::com::make_hresult(0x8007139Fu);  // invalid state

struct IIZor : IUnknown {
    static constexpr IID iid = IID_IIZor;
    virtual HRESULT GetStatus(std::int32_t* Value) = 0;    // 1
    virtual HRESULT Initialize(std::int32_t* result) = 0;  // 2
    virtual HRESULT StartRun(std::int32_t* result) = 0;    // 3
    virtual HRESULT StopRun(std::int32_t* result) = 0;     // 4
    virtual HRESULT PrepareForRun(BSTR Rawname, BSTR Methname, BSTR Listname, std::int32_t RowInd,
                                  std::int32_t StartMode, BSTR Vial, double InjVolume, std::int32_t Flags,
                                  std::int32_t* result) = 0;                                  // 5
    virtual HRESULT Lock(std::int32_t* result) = 0;                                           // 6
    virtual HRESULT Unlock(std::int32_t* result) = 0;                                         // 7
    virtual HRESULT InstrumentHasStopped(std::int32_t DeviceType, std::int32_t* result) = 0;  // 8
    // StorageUnknown: across the bus it arrives as an object that answers ICompoundFileBytes.
    virtual HRESULT ValidateMethod(IUnknown* StorageUnknown, BSTR* Reason) = 0;           // 9
    virtual HRESULT ChangeOperatingMode(std::int32_t NewMode, std::int32_t* result) = 0;  // 10
    virtual HRESULT ReadBarCode(BSTR Vial, BSTR* BarCode, std::int32_t* result) = 0;      // 11

  protected:
    ~IIZor() = default;
};

struct IIZor2 : IUnknown {
    static constexpr IID iid = IID_IIZor2;
    virtual HRESULT AtomStatus(BSTR* Value) = 0;                                       // 1
    virtual HRESULT Reset() = 0;                                                       // 2
    virtual HRESULT ReloadConfiguration() = 0;                                         // 3
    virtual HRESULT SetTrayType(BSTR tray, BSTR typ) = 0;                              // 4
    virtual HRESULT ClearStatus() = 0;                                                 // 5
    virtual HRESULT Uploading(std::int32_t* result) = 0;                               // 6
    virtual HRESULT StartPolling() = 0;                                                // 7
    virtual HRESULT ChangePorts(std::int32_t port) = 0;                                // 8
    virtual HRESULT ChooseVials(BSTR options, BSTR* vials, std::int32_t* result) = 0;  // 9 (vials in/out)
    virtual HRESULT GetSyringe(BSTR* Value) = 0;                                       // 10

  protected:
    ~IIZor2() = default;
};

// The storage handed to ValidateMethod, as the bytes of a compound file that holds it (the
// stream "Data" at its root). The server opens them with the storage layer.
struct ICompoundFileBytes : IUnknown {
    static constexpr IID iid = guid("{1D77F976-9EA4-434B-A90D-865383E06DB9}");
    // The bytes stay valid as long as the object lives.
    virtual HRESULT GetBytes(const std::uint8_t** data, std::size_t* size) = 0;

  protected:
    ~ICompoundFileBytes() = default;
};

// An object that answers ICompoundFileBytes with a copy of `bytes` (one reference, the
// caller's). A client passes it to ValidateMethod.
platform::com::ComPtr<IUnknown> make_compound_file_bytes(std::span<const std::uint8_t> bytes);
// The bytes of an object that answers ICompoundFileBytes; E_NOINTERFACE otherwise.
HRESULT compound_file_bytes_of(IUnknown* storage, std::vector<std::uint8_t>& bytes);

// The bus tables, one entry per method in dispatch-id order (member, in and out signatures,
// stub). They are what the proxy calls and what the server exports.
std::span<const platform::com::BusMethod> iizor_methods();
std::span<const platform::com::BusMethod> iizor2_methods();

// Makes IIZor and IIZor2 known to the COM layer (proxies for co_create_instance, stubs for a
// served class). Idempotent. unregister_interfaces takes this module's tables back again.
bool register_interfaces();
void unregister_interfaces();

// Including this header arranges both for the module it is built into: the tables are
// registered when the module is loaded (before main, or at the library's load) and taken back
// when it is unloaded, so a plug-in library leaves no table behind that points into its
// unloaded code.
class InterfaceRegistration {
  public:
    InterfaceRegistration() : registered_(register_interfaces()) {}
    ~InterfaceRegistration() { unregister_interfaces(); }
    InterfaceRegistration(const InterfaceRegistration&) = delete;
    InterfaceRegistration& operator=(const InterfaceRegistration&) = delete;
    explicit operator bool() const { return registered_; }

  private:
    bool registered_;
};
inline const InterfaceRegistration interfaces_registered;

// Serves the factory of IZor on the session bus under com.hox.Zorrun (multiple use), whatever
// the registry says. E_ALREADY_EXISTS when another process owns the name.
HRESULT register_class_object(platform::com::IClassFactory* factory, std::uint32_t* cookie);

// "-RegServer" / "-UnregServer": the class keys of IZor with `program_path` as LocalServer32.
HRESULT register_server(const std::string& program_path);
HRESULT unregister_server();

}  // namespace izor
