// IIZor and IIZor2 on the bus: the tables, the server's stubs and the client's proxy.
//
// One table per interface, in dispatch-id order; the proxy takes each method's member name and
// signatures from the same row the server exports, so the two sides cannot drift apart.
#include "driver/izor/izor.h"

#include <cstring>

namespace izor {

using namespace platform::com;

namespace {

// ---------------------------------------------------------------------------------------------
// The object that carries a storage's bytes
// ---------------------------------------------------------------------------------------------

class CompoundFileBytes final : public ComObject<ICompoundFileBytes> {
  public:
    explicit CompoundFileBytes(std::span<const std::uint8_t> bytes) : bytes_(bytes.begin(), bytes.end()) {}
    HRESULT GetBytes(const std::uint8_t** data, std::size_t* size) override {
        if (!data || !size) return E_POINTER;
        *data = bytes_.data();
        *size = bytes_.size();
        return S_OK;
    }

  private:
    std::vector<std::uint8_t> bytes_;
};

// ---------------------------------------------------------------------------------------------
// Stubs: read the arguments, call the object, append the out values
// ---------------------------------------------------------------------------------------------

IIZor* zor(IUnknown* i) {
    return static_cast<IIZor*>(i);
}
IIZor2* zor2(IUnknown* i) {
    return static_cast<IIZor2*>(i);
}

// A method of the shape "() -> result".
template <HRESULT (IIZor::*Method)(std::int32_t*)>
HRESULT serve_result(IUnknown* i, BusValues&, BusValues& out) {
    std::int32_t result = 0;
    const HRESULT hr = (zor(i)->*Method)(&result);
    if (succeeded(hr)) out.append(result);
    return hr;
}

// A method of the shape "(long) -> result".
template <HRESULT (IIZor::*Method)(std::int32_t, std::int32_t*)>
HRESULT serve_long_result(IUnknown* i, BusValues& in, BusValues& out) {
    std::int32_t argument = 0;
    in.read(argument);
    if (!in.ok()) return DISP_E_TYPEMISMATCH;
    std::int32_t result = 0;
    const HRESULT hr = (zor(i)->*Method)(argument, &result);
    if (succeeded(hr)) out.append(result);
    return hr;
}

// A method of the shape "() -> string".
template <class I, HRESULT (I::*Method)(BSTR*)>
HRESULT serve_string(IUnknown* i, BusValues&, BusValues& out) {
    Bstr value;
    const HRESULT hr = (static_cast<I*>(i)->*Method)(value.put());
    if (succeeded(hr)) out.append_bstr(value.get());
    return hr;
}

// A method of the shape "()".
template <HRESULT (IIZor2::*Method)()>
HRESULT serve_none(IUnknown* i, BusValues&, BusValues&) {
    return (zor2(i)->*Method)();
}

HRESULT serve_GetStatus(IUnknown* i, BusValues&, BusValues& out) {
    std::int32_t value = 0;
    const HRESULT hr = zor(i)->GetStatus(&value);
    if (succeeded(hr)) out.append(value);
    return hr;
}

HRESULT serve_PrepareForRun(IUnknown* i, BusValues& in, BusValues& out) {
    Bstr raw, meth, list, vial;
    std::int32_t row = 0, start_mode = 0, flags = 0;
    double volume = 0;
    in.read_bstr(raw.put()).read_bstr(meth.put()).read_bstr(list.put());
    in.read(row).read(start_mode).read_bstr(vial.put()).read(volume).read(flags);
    if (!in.ok()) return DISP_E_TYPEMISMATCH;
    std::int32_t result = 0;
    const HRESULT hr = zor(i)->PrepareForRun(raw.get(), meth.get(), list.get(), row, start_mode, vial.get(),
                                             volume, flags, &result);
    if (succeeded(hr)) out.append(result);
    return hr;
}

HRESULT serve_ValidateMethod(IUnknown* i, BusValues& in, BusValues& out) {
    std::vector<std::uint8_t> bytes;
    in.read_bytes(bytes);
    if (!in.ok()) return DISP_E_TYPEMISMATCH;
    ComPtr<IUnknown> storage = make_compound_file_bytes(bytes);
    Bstr reason;
    const HRESULT hr = zor(i)->ValidateMethod(storage.get(), reason.put());
    if (succeeded(hr)) out.append_bstr(reason.get());
    return hr;
}

HRESULT serve_ReadBarCode(IUnknown* i, BusValues& in, BusValues& out) {
    Bstr vial;
    in.read_bstr(vial.put());
    if (!in.ok()) return DISP_E_TYPEMISMATCH;
    Bstr code;
    std::int32_t result = 0;
    const HRESULT hr = zor(i)->ReadBarCode(vial.get(), code.put(), &result);
    if (succeeded(hr)) out.append_bstr(code.get()).append(result);
    return hr;
}

HRESULT serve_SetTrayType(IUnknown* i, BusValues& in, BusValues&) {
    Bstr tray, typ;
    in.read_bstr(tray.put()).read_bstr(typ.put());
    if (!in.ok()) return DISP_E_TYPEMISMATCH;
    return zor2(i)->SetTrayType(tray.get(), typ.get());
}

HRESULT serve_Uploading(IUnknown* i, BusValues&, BusValues& out) {
    std::int32_t result = 0;
    const HRESULT hr = zor2(i)->Uploading(&result);
    if (succeeded(hr)) out.append(result);
    return hr;
}

HRESULT serve_ChangePorts(IUnknown* i, BusValues& in, BusValues&) {
    std::int32_t port = 0;
    in.read(port);
    if (!in.ok()) return DISP_E_TYPEMISMATCH;
    return zor2(i)->ChangePorts(port);
}

HRESULT serve_ChooseVials(IUnknown* i, BusValues& in, BusValues& out) {
    Bstr options, vials;
    in.read_bstr(options.put()).read_bstr(vials.put());
    if (!in.ok()) return DISP_E_TYPEMISMATCH;
    std::int32_t result = 0;
    BSTR inout = vials.detach();
    const HRESULT hr = zor2(i)->ChooseVials(options.get(), &inout, &result);
    vials = Bstr::adopt(inout);
    if (succeeded(hr)) out.append_bstr(vials.get()).append(result);
    return hr;
}

// ---------------------------------------------------------------------------------------------
// The tables
// ---------------------------------------------------------------------------------------------

enum IIZorSlot {
    k_GetStatus,
    k_Initialize,
    k_StartRun,
    k_StopRun,
    k_PrepareForRun,
    k_Lock,
    k_Unlock,
    k_InstrumentHasStopped,
    k_ValidateMethod,
    k_ChangeOperatingMode,
    k_ReadBarCode,
};

// Argument names as the methods declare them, so that introspection documents the interface.
const BusMethod iizor_table[] = {
    // member                  in          out   stub                                              in names,
    // out names
    {"GetStatus", "", "i", serve_GetStatus, "", "Value"},
    {"Initialize", "", "i", serve_result<&IIZor::Initialize>, "", "result"},
    {"StartRun", "", "i", serve_result<&IIZor::StartRun>, "", "result"},
    {"StopRun", "", "i", serve_result<&IIZor::StopRun>, "", "result"},
    {"PrepareForRun", "sssiisdi", "i", serve_PrepareForRun,
     "Rawname Methname Listname RowInd StartMode Vial InjVolume Flags", "result"},
    {"Lock", "", "i", serve_result<&IIZor::Lock>, "", "result"},
    {"Unlock", "", "i", serve_result<&IIZor::Unlock>, "", "result"},
    {"InstrumentHasStopped", "i", "i", serve_long_result<&IIZor::InstrumentHasStopped>, "DeviceType",
     "result"},
    // the storage travels as the bytes of a compound file
    {"ValidateMethod", "ay", "s", serve_ValidateMethod, "StorageUnknown", "Reason"},
    {"ChangeOperatingMode", "i", "i", serve_long_result<&IIZor::ChangeOperatingMode>, "NewMode", "result"},
    {"ReadBarCode", "s", "si", serve_ReadBarCode, "Vial", "BarCode result"},
};

enum IIZor2Slot {
    k_AtomStatus,
    k_Reset,
    k_ReloadConfiguration,
    k_SetTrayType,
    k_ClearStatus,
    k_Uploading,
    k_StartPolling,
    k_ChangePorts,
    k_ChooseVials,
    k_GetSyringe,
};

const BusMethod iizor2_table[] = {
    // member                  in     out   stub                                       in names, out names
    {"AtomStatus", "", "s", serve_string<IIZor2, &IIZor2::AtomStatus>, "", "Value"},
    {"Reset", "", "", serve_none<&IIZor2::Reset>},
    {"ReloadConfiguration", "", "", serve_none<&IIZor2::ReloadConfiguration>},
    {"SetTrayType", "ss", "", serve_SetTrayType, "tray typ", ""},
    {"ClearStatus", "", "", serve_none<&IIZor2::ClearStatus>},
    {"Uploading", "", "i", serve_Uploading, "", "result"},
    {"StartPolling", "", "", serve_none<&IIZor2::StartPolling>},
    {"ChangePorts", "i", "", serve_ChangePorts, "port", ""},
    // vials is in and out: it goes as an argument and comes back before the result
    {"ChooseVials", "ss", "si", serve_ChooseVials, "options vials", "vials result"},
    {"GetSyringe", "", "s", serve_string<IIZor2, &IIZor2::GetSyringe>, "", "Value"},
};

// ---------------------------------------------------------------------------------------------
// The proxy
// ---------------------------------------------------------------------------------------------

class IZorProxy final : public ComObject<IIZor, IIZor2> {
  public:
    explicit IZorProxy(std::shared_ptr<RemoteObject> remote) : remote_(std::move(remote)) {}

    // IIZor
    HRESULT GetStatus(std::int32_t* Value) override { return long_out(k_GetStatus, Value); }
    HRESULT Initialize(std::int32_t* result) override { return long_out(k_Initialize, result); }
    HRESULT StartRun(std::int32_t* result) override { return long_out(k_StartRun, result); }
    HRESULT StopRun(std::int32_t* result) override { return long_out(k_StopRun, result); }
    HRESULT PrepareForRun(BSTR Rawname, BSTR Methname, BSTR Listname, std::int32_t RowInd,
                          std::int32_t StartMode, BSTR Vial, double InjVolume, std::int32_t Flags,
                          std::int32_t* result) override {
        if (!result) return E_POINTER;
        *result = 0;
        return call1(
            k_PrepareForRun,
            [&](BusValues& in) {
                in.append_bstr(Rawname).append_bstr(Methname).append_bstr(Listname);
                in.append(RowInd).append(StartMode).append_bstr(Vial).append(InjVolume).append(Flags);
            },
            [&](BusValues& out) {
                out.read(*result);
                return S_OK;
            });
    }
    HRESULT Lock(std::int32_t* result) override { return long_out(k_Lock, result); }
    HRESULT Unlock(std::int32_t* result) override { return long_out(k_Unlock, result); }
    HRESULT InstrumentHasStopped(std::int32_t DeviceType, std::int32_t* result) override {
        return long_in_long_out(k_InstrumentHasStopped, DeviceType, result);
    }
    HRESULT ValidateMethod(IUnknown* StorageUnknown, BSTR* Reason) override {
        if (!Reason) return E_POINTER;
        *Reason = nullptr;
        std::vector<std::uint8_t> bytes;
        const HRESULT hr = compound_file_bytes_of(StorageUnknown, bytes);
        if (failed(hr)) return hr;
        return call1(
            k_ValidateMethod, [&](BusValues& in) { in.append_bytes(bytes); },
            [&](BusValues& out) {
                out.read_bstr(Reason);
                return S_OK;
            });
    }
    HRESULT ChangeOperatingMode(std::int32_t NewMode, std::int32_t* result) override {
        return long_in_long_out(k_ChangeOperatingMode, NewMode, result);
    }
    HRESULT ReadBarCode(BSTR Vial, BSTR* BarCode, std::int32_t* result) override {
        if (!BarCode || !result) return E_POINTER;
        *BarCode = nullptr;
        *result = 0;
        return call1(
            k_ReadBarCode, [&](BusValues& in) { in.append_bstr(Vial); },
            [&](BusValues& out) {
                out.read_bstr(BarCode).read(*result);
                return S_OK;
            });
    }

    // IIZor2
    HRESULT AtomStatus(BSTR* Value) override { return string_out(k_AtomStatus, Value); }
    HRESULT Reset() override { return call2(k_Reset, {}, {}); }
    HRESULT ReloadConfiguration() override { return call2(k_ReloadConfiguration, {}, {}); }
    HRESULT SetTrayType(BSTR tray, BSTR typ) override {
        return call2(k_SetTrayType, [&](BusValues& in) { in.append_bstr(tray).append_bstr(typ); }, {});
    }
    HRESULT ClearStatus() override { return call2(k_ClearStatus, {}, {}); }
    HRESULT Uploading(std::int32_t* result) override {
        if (!result) return E_POINTER;
        *result = 0;
        return call2(k_Uploading, {}, [&](BusValues& out) {
            out.read(*result);
            return S_OK;
        });
    }
    HRESULT StartPolling() override { return call2(k_StartPolling, {}, {}); }
    HRESULT ChangePorts(std::int32_t port) override {
        return call2(k_ChangePorts, [&](BusValues& in) { in.append(port); }, {});
    }
    HRESULT ChooseVials(BSTR options, BSTR* vials, std::int32_t* result) override {
        if (!vials || !result) return E_POINTER;
        *result = 0;
        BSTR answer = nullptr;
        const HRESULT hr = call2(
            k_ChooseVials, [&](BusValues& in) { in.append_bstr(options).append_bstr(*vials); },
            [&](BusValues& out) {
                out.read_bstr(&answer).read(*result);
                return S_OK;
            });
        // On failure the caller's text stays as it was.
        if (succeeded(hr)) {
            sys_free_string(*vials);
            *vials = answer;
        } else {
            sys_free_string(answer);
        }
        return hr;
    }
    HRESULT GetSyringe(BSTR* Value) override { return string_out(k_GetSyringe, Value); }

  private:
    using Args = std::function<void(BusValues&)>;
    using Results = std::function<HRESULT(BusValues&)>;

    HRESULT call1(int slot, const Args& args, const Results& results) {
        return remote_->call("IIZor", iizor_table[slot], args, results);
    }
    HRESULT call2(int slot, const Args& args, const Results& results) {
        return remote_->call("IIZor2", iizor2_table[slot], args, results);
    }
    HRESULT long_out(int slot, std::int32_t* value) {
        if (!value) return E_POINTER;
        *value = 0;
        return call1(slot, {}, [&](BusValues& out) {
            out.read(*value);
            return S_OK;
        });
    }
    HRESULT long_in_long_out(int slot, std::int32_t argument, std::int32_t* result) {
        if (!result) return E_POINTER;
        *result = 0;
        return call1(
            slot, [&](BusValues& in) { in.append(argument); },
            [&](BusValues& out) {
                out.read(*result);
                return S_OK;
            });
    }
    HRESULT string_out(int slot, BSTR* value) {
        if (!value) return E_POINTER;
        *value = nullptr;
        HRESULT hr = call2(slot, {}, [&](BusValues& out) {
            out.read_bstr(value);
            return S_OK;
        });
        if (failed(hr)) {
            sys_free_string(*value);
            *value = nullptr;
        }
        return hr;
    }

    std::shared_ptr<RemoteObject> remote_;
};

IUnknown* make_proxy(std::shared_ptr<RemoteObject> remote) {
    auto* proxy = new IZorProxy(std::move(remote));
    return proxy->identity();
}

}  // namespace

std::span<const BusMethod> iizor_methods() {
    return iizor_table;
}
std::span<const BusMethod> iizor2_methods() {
    return iizor2_table;
}

ComPtr<IUnknown> make_compound_file_bytes(std::span<const std::uint8_t> bytes) {
    auto* object = new CompoundFileBytes(bytes);
    return ComPtr<IUnknown>::adopt(object->identity());
}

HRESULT compound_file_bytes_of(IUnknown* storage, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    if (!storage) return E_POINTER;
    ComPtr<ICompoundFileBytes> source;
    HRESULT hr = storage->QueryInterface(ICompoundFileBytes::iid, source.put_void());
    if (failed(hr)) return hr;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    hr = source->GetBytes(&data, &size);
    if (succeeded(hr) && data) bytes.assign(data, data + size);
    return hr;
}

bool register_interfaces() {
    register_bus_interface({IID_IIZor, "IIZor", iizor_table, make_proxy});
    register_bus_interface({IID_IIZor2, "IIZor2", iizor2_table, make_proxy});
    return true;
}

void unregister_interfaces() {
    unregister_bus_interface({IID_IIZor, "IIZor", iizor_table, make_proxy});
    unregister_bus_interface({IID_IIZor2, "IIZor2", iizor2_table, make_proxy});
}

HRESULT register_class_object(IClassFactory* factory, std::uint32_t* cookie) {
    register_interfaces();
    LocalRegistration where;
    where.clsid = CLSID_IZor;
    where.bus_name = bus_name;
    where.object_name = object_name;
    return register_local_class_object(where, factory, cookie);
}

HRESULT register_server(const std::string& program_path) {
    LocalRegistration r;
    r.clsid = CLSID_IZor;
    r.prog_id = prog_id;
    r.description = class_description;
    r.program_path = program_path;
    r.bus_name = bus_name;
    r.object_name = object_name;
    return register_local_server(r);
}

HRESULT unregister_server() {
    return unregister_class(CLSID_IZor, prog_id);
}

}  // namespace izor
