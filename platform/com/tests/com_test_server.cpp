// The test server: serves a fake IIZor/IIZor2 under com.hox.Zorrun, as Zorrun would, and a
// few helper modes for the end-to-end tests.
//
//   com_test_server [-Embedding]   serve; with -Embedding end when the last reference goes
//   com_test_server --client       make an IZor, call it, print "ready", then wait to be killed
//   com_test_server --window CLASS  a window of CLASS in a process on the bus: print "ready"; when
//                                   it is made the foreground window print "activated" and end
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "driver/izor/izor.h"
#include "platform/window/window.h"

namespace {

using namespace platform::com;
namespace window = platform::window;
using namespace izor;

struct FakeState {
    std::int32_t status = 0;
    std::string record;  // the last call, as AtomStatus tells it
    bool cleared = false;
    int window_messages = 0;
};
FakeState& fake() {
    static FakeState state;
    return state;
}

std::string number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

class FakeZor final : public ComObject<IIZor2, IIZor> {
  public:
    // IIZor
    HRESULT GetStatus(std::int32_t* Value) override {
        *Value = fake().status;
        return S_OK;
    }
    HRESULT Initialize(std::int32_t* result) override {
        fake().status = 1;
        fake().record = "Initialize";
        *result = 1;
        return S_OK;
    }
    HRESULT StartRun(std::int32_t* result) override {
        fake().status = 6;
        *result = 1;
        return S_OK;
    }
    HRESULT StopRun(std::int32_t* result) override {
        fake().record = "StopRun";
        *result = 1;
        return S_OK;
    }
    HRESULT PrepareForRun(BSTR Rawname, BSTR Methname, BSTR Listname, std::int32_t RowInd,
                          std::int32_t StartMode, BSTR Vial, double InjVolume, std::int32_t Flags,
                          std::int32_t* result) override {
        fake().record = text_from_bstr(Rawname) + "|" + text_from_bstr(Methname) + "|" +
                        text_from_bstr(Listname) + "|" + std::to_string(RowInd) + "|" +
                        std::to_string(StartMode) + "|" + text_from_bstr(Vial) + "|" + number(InjVolume) +
                        "|" + std::to_string(Flags);
        fake().status = 3;
        *result = sys_string_len(Methname) == 0 ? 0 : 1;
        return S_OK;
    }
    HRESULT Lock(std::int32_t* result) override {
        *result = 1;
        return S_OK;
    }
    HRESULT Unlock(std::int32_t* result) override {
        *result = 1;
        return S_OK;
    }
    HRESULT InstrumentHasStopped(std::int32_t DeviceType, std::int32_t* result) override {
        *result = DeviceType == 7 ? 0 : 1;
        return S_OK;
    }
    HRESULT ValidateMethod(IUnknown* StorageUnknown, BSTR* Reason) override {
        std::vector<std::uint8_t> bytes;
        const HRESULT hr = compound_file_bytes_of(StorageUnknown, bytes);
        if (failed(hr)) return hr;
        const bool compound =
            bytes.size() >= 4 && bytes[0] == 0xD0 && bytes[1] == 0xCF && bytes[2] == 0x11 && bytes[3] == 0xE0;
        fake().record = "ValidateMethod " + std::to_string(bytes.size());
        *Reason = bstr_from_text(compound ? "" : "The ZOR Method is not readable");
        return S_OK;
    }
    HRESULT ChangeOperatingMode(std::int32_t NewMode, std::int32_t* result) override {
        fake().record = "ChangeOperatingMode" + std::to_string(NewMode);
        fake().status = 1;
        *result = 1;
        return S_OK;
    }
    HRESULT ReadBarCode(BSTR Vial, BSTR* BarCode, std::int32_t* result) override {
        const bool reader = text_from_bstr(Vial) == "T1:5";
        *BarCode = bstr_from_text(reader ? "ABC\xB5" : "Unreadable");
        *result = reader ? 1 : 2;
        return S_OK;
    }

    // IIZor2
    HRESULT AtomStatus(BSTR* Value) override {
        *Value = bstr_from_text(fake().record);
        return S_OK;
    }
    HRESULT Reset() override {
        fake().record = "Reset";
        return S_OK;
    }
    HRESULT ReloadConfiguration() override {
        fake().record = "ReloadConfiguration";
        return S_OK;
    }
    HRESULT SetTrayType(BSTR tray, BSTR typ) override {
        fake().record = "SetTrayType " + text_from_bstr(tray) + " " + text_from_bstr(typ);
        // "broadcast": status message 1425 to the windows of the class `typ`, as Zorrun does.
        if (text_from_bstr(tray) == "broadcast") window::broadcast_to_class(text_from_bstr(typ), 1425, 1, 0);
        return S_OK;
    }
    HRESULT ClearStatus() override {
        fake().status = 1;
        fake().cleared = true;
        return S_OK;
    }
    HRESULT Uploading(std::int32_t* result) override {
        *result = 0;
        return S_OK;
    }
    HRESULT StartPolling() override {
        fake().record = "StartPolling";
        return S_OK;
    }
    HRESULT ChangePorts(std::int32_t port) override {
        // -9: die in the middle of the call, as a crashed server does.
        if (port == -9) kill(getpid(), SIGKILL);
        fake().record = "ChangePorts " + std::to_string(port);
        return S_OK;
    }
    HRESULT ChooseVials(BSTR options, BSTR* vials, std::int32_t* result) override {
        // "count": how many 1425 messages this process's own status window has had.
        if (text_from_bstr(options) == "count") {
            sys_free_string(*vials);
            *vials = bstr_from_text(std::to_string(fake().window_messages));
            *result = 1;
            return S_OK;
        }
        return E_NOTIMPL;  // Zorrun has no vial dialog
    }
    HRESULT GetSyringe(BSTR* Value) override {
        // Waits in a nested loop, as the wait form does, until a ClearStatus arrives.
        fake().cleared = false;
        if (!window::run_nested_loop_for([] { return fake().cleared; }, 20'000)) return E_ABORT;
        *Value = bstr_from_text("SYR 250 \xB5l");
        return S_OK;
    }
};

int serve(bool embedding) {
    if (failed(join_session_bus())) {
        std::fprintf(stderr, "com_test_server: no session bus: %s\n", last_bus_error().c_str());
        return 2;
    }
    fake().record = embedding ? "embedded" : "direct";
    // As Zorrun does: on a bus that went away nobody can reach us any more.
    set_bus_lost_handler([] { window::post_quit_message(0); });
    // A status window of our own, to show that our own broadcasts do not come back over the bus.
    window::create_window("TZorStatusX", 0,
                          [](window::Handle, std::uint32_t message, window::WParam, window::LParam) {
                              if (message == 1425) ++fake().window_messages;
                              return window::Result{0};
                          });
    ComPtr<IClassFactory> factory = make_class_factory<FakeZor>();
    std::uint32_t cookie = 0;
    const HRESULT hr = izor::register_class_object(factory.get(), &cookie);
    if (failed(hr)) {
        std::fprintf(stderr, "com_test_server: cannot serve: %s %s\n", hresult_text(hr).c_str(),
                     last_bus_error().c_str());
        return 3;
    }
    if (embedding) {
        set_last_reference_handler([cookie] {
            // Give up the name first, so a client arriving now starts a new server.
            co_revoke_class_object(cookie);
            window::post_quit_message(0);
        });
    }
    return window::run_message_loop();
}

int client() {
    ComPtr<IIZor> zor;
    HRESULT hr = co_create_instance(CLSID_IZor, nullptr, CLSCTX_LOCAL_SERVER, IID_IIZor, zor.put_void());
    if (failed(hr)) {
        std::fprintf(stderr, "com_test_server --client: %s %s\n", hresult_text(hr).c_str(),
                     last_bus_error().c_str());
        return 4;
    }
    std::int32_t status = -1;
    hr = zor->GetStatus(&status);
    std::printf("ready %d\n", static_cast<int>(status));
    std::fflush(stdout);
    // Holds the reference until killed; the test guards this wait.
    window::run_nested_loop_for([] { return false; }, 60'000);
    return 0;
}

int window_peer(const char* class_name) {
    if (failed(join_session_bus())) return 2;
    window::create_window(class_name, 0,
                          [](window::Handle, std::uint32_t message, window::WParam wparam, window::LParam) {
                              if (message == window::WM_ACTIVATE && wparam == window::WA_ACTIVE) {
                                  std::printf("activated\n");
                                  std::fflush(stdout);
                                  window::post_quit_message(0);
                              }
                              return window::Result{0};
                          });
    std::printf("ready\n");
    std::fflush(stdout);
    return window::run_message_loop();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--client") return client();
    if (argc > 2 && std::string(argv[1]) == "--window") return window_peer(argv[2]);
    return serve(command_line_switch(argc, argv, "Embedding"));
}
