// libzorsetup.so: the in-process server the host data system loads. The classes TTSetup
// (document component: editor view, document streams, printing, in-place menu, vial and tray
// questions) and TTConfig (configuration component), the four exports, and the library's
// state: the core form, the utility state, the editor and the bridge.
//
// No exception crosses into the host: every method catches, logs "zorsetup : exception in
// <method>: <what>" and returns its failure (E_FAIL, or 0 where the slot returns a value).
// Methods that need the editor answer E_UNEXPECTED (or 0) before any CreateVisual and after
// the host destroyed the editor's window, instead of reaching a form that is not there.
//
// The platform (windows, forms, registry, COM, storage, printing) is the host's: this library
// does not link it, so the host's window handles and device contexts are the library's too.
#include <cstdio>
#include <exception>
#include <limits>
#include <memory>
#include <string>
#include <utility>

#include "core/config_model.h"
#include "core/session_state.h"
#include "core/zor_lib_form.h"
#include "platform/com/com.h"
#include "platform/forms/application.h"
#include "platform/forms/interaction.h"
#include "platform/print/device_context.h"
#include "platform/storage/com_storage.h"
#include "platform/window/window.h"
#include "plugin/bridge.h"
#include "plugin/config_form.h"
#include "plugin/dialog_keys.h"
#include "plugin/editing.h"
#include "plugin/host_document.h"
#include "plugin/host_interfaces.h"
#include "plugin/method_editor.h"
#include "plugin/sample_types.h"
#include "plugin/task_weaver.h"
#include "plugin/tray_form.h"
#include "plugin/unattended.h"
#include "plugin/util_form.h"
#include "plugin/vial_arithmetic.h"
#include "utilities/log.h"
#include "utilities/session.h"
#include "utilities/text.h"

namespace zorsetup {
namespace {

namespace com = platform::com;
namespace forms = platform::forms;
namespace window = platform::window;
using com::HRESULT;

// ---- library state ---------------------------------------------------------------------------

struct LibraryState {
    bool forms_created = false;
    forms::FormPtr<core::Tzor_lib> core_form;
    forms::FormPtr<Tutil_form> util_form;
    std::vector<forms::FormPtr<Tmethod_editor>> editors;  // every editor made, newest last
    std::u16string menu_text;
    std::u16string last_text;
};

// Made at the first call, given back when the library says it can be unloaded: the teardown
// runs there, while the host's platform is certainly still whole (at process exit it may not
// be, so nothing is freed then).
LibraryState* library_state = nullptr;
LibraryState& state() {
    if (!library_state) library_state = new LibraryState;
    return *library_state;
}

// Live objects (classes and factories) and factory locks of this library.
long live_objects = 0;
long server_locks = 0;

void log_setup(std::string_view text) {
    putils::append_log("zorsetup : " + std::string(text));
}

// Boxes of a library used without a person at a screen: logged and answered with the
// button that changes nothing; a modal form is closed as cancelled.
class UnattendedAnswers final : public forms::InteractionProvider {
  public:
    forms::ModalResult answer_box(const forms::MessageBoxRequest& request) override {
        log_setup("box: " + request.text);
        std::fprintf(stderr, "zorsetup: %s\n", request.text.c_str());
        return zorsetup::unattended_answer(request);
    }
    void modal_form_shown(forms::Form& form) override { form.modal_result = forms::mr_cancel; }
};
UnattendedAnswers unattended;

void ensure_forms() {
    LibraryState& s = state();
    if (s.forms_created) return;
    if (!forms::interaction_provider()) forms::set_interaction_provider(&unattended);
    s.core_form = forms::make_form<core::Tzor_lib>();
    s.util_form = forms::make_form<Tutil_form>();
    release_driver();
    s.forms_created = true;
}

// The current editor when its window still exists; null otherwise.
Tmethod_editor* editor() {
    Tmethod_editor* e = current_editor();
    if (!e || !window::is_window(e->handle())) return nullptr;
    return e;
}

// Frees editors whose window the host destroyed.
void drop_destroyed_editors() {
    auto& list = state().editors;
    std::erase_if(list, [](const auto& e) { return !window::is_window(e->handle()); });
}

std::string wide_to_string(const char16_t* text) {
    std::string out;
    if (!text) return out;
    for (; *text; ++text) out.push_back(static_cast<char>(*text & 0xFF));
    return out;
}

// An [out] string: what it holds on entry is not the host's to give (COM lets it be unset),
// so it is overwritten, never freed.
void set_bstr_out(BSTR* out, std::string_view text) {
    if (!out) return;
    *out = com::bstr_from_text(text);
    state().last_text = com::utf16_from_cp1252(text);
}

// An [in, out] string: the host's string is freed before the new one takes its place.
void set_bstr_in_out(BSTR* in_out, std::string_view text) {
    if (!in_out) return;
    com::sys_free_string(*in_out);
    set_bstr_out(in_out, text);
}

// A refusal and its reason, in the log, for the host's author.
HRESULT refuse(std::string_view method, HRESULT result, std::string_view reason) {
    log_setup(std::string(method) + " - " + std::string(reason));
    return result;
}

// A count the host takes as a 32-bit integer.
constexpr HRESULT result_overflow = com::make_hresult(0x8002000Au);

std::string raw_value(const void* p) {
    return std::to_string(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p)));
}

template <class F>
auto guarded(std::string_view method, auto failure, F&& body) -> decltype(failure) {
    try {
        return body();
    } catch (const std::exception& e) {
        log_setup("exception in " + std::string(method) + ": " + e.what());
    } catch (...) {
        log_setup("exception in " + std::string(method));
    }
    return failure;
}

// ---- TTSetup ---------------------------------------------------------------------------------

class TTSetup final : public com::ComObject<AsConfig, ZorAsInfo, Izorsetup> {
  public:
    TTSetup() { ++live_objects; }
    ~TTSetup() override { --live_objects; }

    // -- zorsetup --
    HostHandle CreateVisual(HostHandle parent) override {
        return guarded("createvisual", HostHandle{0}, [&] {
            log_setup("createvisual");
            ensure_forms();
            drop_destroyed_editors();
            auto made = make_editor(window::is_window(parent) ? parent : 0);
            made->Show();
            made->init_editor();
            const HostHandle handle = made->handle();
            state().editors.push_back(std::move(made));
            return handle;
        });
    }
    HostHandle GetButtonImage() override {
        log_setup("getbuttonimage");
        return guarded("getbuttonimage", HostHandle{0}, [] {
            ensure_forms();
            return HostHandle{state().util_form->ImageList1->handle()};
        });
    }
    HostHandle GetInPlaceMenu() override {
        log_setup("getinplacemenu");
        return guarded("getinplacemenu", HostHandle{0}, [] {
            ensure_forms();
            state().util_form->set_command_ids();
            return HostHandle{state().util_form->PopupMenu1->handle()};
        });
    }
    const char16_t* GetMenuString(std::int32_t) override {
        log_setup("getmenustring");
        return guarded("getmenustring", static_cast<const char16_t*>(u""), [] {
            ensure_forms();
            state().menu_text = u"ZOR";
            return static_cast<const char16_t*>(state().menu_text.c_str());
        });
    }
    std::int32_t GetMenuFlags(std::int32_t) override {
        log_setup("getmenuflags");
        return guarded("getmenuflags", std::int32_t{0}, [] {
            ensure_forms();
            return std::int32_t{0};
        });
    }
    void ExecuteCommand(std::int32_t id) override {
        log_setup("executecommand");
        guarded("executecommand", 0, [id] {
            ensure_forms();
            if (id == command_reset) driver_reset();
            if (id == command_reload) driver_reload_configuration();
            if (id == command_task_weaver) bring_up_task_weaver();
            return 0;
        });
    }
    HRESULT New() override {
        log_setup("new");
        return guarded("new", com::E_FAIL, [] {
            ensure_forms();
            Tmethod_editor* e = editor();
            if (!e) return refuse("new", com::E_UNEXPECTED, "no editor (CreateVisual first)");
            e->new_method("");
            // The new, empty method is what the host holds now: untouched, it has nothing to save.
            e->snapshot_method();
            return com::S_OK;
        });
    }
    HRESULT Open(IUnknown* storage) override {
        log_setup("open");
        return guarded("open", com::E_FAIL,
                       [storage] { return with_document("open", storage, open_method_document); });
    }
    HRESULT Save(IUnknown* storage) override {
        log_setup("save");
        return guarded("save", com::E_FAIL,
                       [storage] { return with_document("save", storage, save_method_document); });
    }
    std::int32_t IsModified() override {
        log_setup("ismodified");
        return guarded("ismodified", std::int32_t{0}, [] {
            ensure_forms();
            Tmethod_editor* e = editor();
            return std::int32_t{e && e->is_method_modified() ? 1 : 0};
        });
    }
    std::int32_t CanBeSaved() override {
        log_setup("canbesaved");
        return guarded("canbesaved", std::int32_t{0}, [] {
            ensure_forms();
            return std::int32_t{1};
        });
    }
    // The dialog-message test of the message against the editor; nonzero when it was taken.
    std::int32_t CompPreTranslate(const HostMessage* msg) override {
        return guarded("comppretranslate", std::int32_t{0}, [msg] {
            Tmethod_editor* e = editor();
            if (!msg || !e) return std::int32_t{0};
            return dialog_message(*e, *msg);
        });
    }
    void Print(HostHandle dc, const HostRect* rect, std::int32_t page) override {
        log_setup("print");
        guarded("print", 0, [&] {
            ensure_forms();
            Tmethod_editor* e = editor();
            platform::print::DeviceContext* context = platform::print::find_device_context(dc);
            if (e && context && rect)
                e->print_page(*context, {rect->left, rect->top, rect->right, rect->bottom}, page);
            return 0;
        });
    }
    std::int32_t PageCount() override {
        log_setup("pagecount");
        return guarded("pagecount", std::int32_t{0}, [] {
            ensure_forms();
            Tmethod_editor* e = editor();
            return std::int32_t{e ? e->page_count() : 0};
        });
    }
    std::int32_t CanBePrinted() override {
        log_setup("canbeprinted");
        return guarded("canbeprinted", std::int32_t{0}, [] {
            ensure_forms();
            return std::int32_t{1};
        });
    }

    // -- ZorAsInfo --
    HRESULT ValidateVial(const char16_t* vial, const char16_t* tray_name, std::int32_t acquisition) override {
        return guarded("validatevial", com::E_FAIL, [&] {
            ensure_forms();
            const std::string text = wide_to_string(vial);
            const std::string tray = vial_tray_part(text);
            const std::int64_t n = vial_position(text);
            HRESULT result;
            std::string second;
            if (is_tray(tray)) {
                result = (n <= 0 || n > num_vials(tray)) ? 1 : 0;
            } else if (acquisition == 0) {
                result = result_unknown_tray;
            } else {
                second = tray;
                result = 1;
            }
            log_setup("validatevial - (Vial := " + raw_value(vial) + "[" + text + "] *** TrayName := " +
                      raw_value(tray_name) + "[" + tray + "]" + " *** tray_from_tray_and_vial := " + second +
                      " *** vial_from_tray_and_vial := " + std::to_string(n) + " *** Acquisition := " +
                      std::to_string(acquisition) + " *** Result := " + std::to_string(result));
            return result;
        });
    }
    HRESULT GetNextVial(BSTR* next, const char16_t* current, const char16_t* tray_name) override {
        return guarded("getnextvial", com::E_FAIL, [&] {
            ensure_forms();
            if (!next) return refuse("getnextvial", com::E_POINTER, "NextVial is no pointer");
            const std::string cur = wide_to_string(current);
            const std::string tray = wide_to_string(tray_name);
            if (!is_tray(tray)) return refuse("getnextvial", result_unknown_tray, "no tray " + tray);
            std::string out;
            if (cur.empty()) {
                out = tray + ":1";
            } else {
                const std::int64_t m = std::int64_t{vial_position(cur)} + 1;
                if (m > 0 && m <= num_vials(tray)) out = tray + ":" + std::to_string(m);
            }
            set_bstr_out(next, out);
            log_setup("getnextvial - (CurrentVial := " + raw_value(current) + "(" + cur +
                      ") *** TrayName := " + raw_value(tray_name) + "(" + tray + ") *** NextVial := " + out +
                      "(" + tray + ")");
            return com::S_OK;
        });
    }
    HRESULT GetTrayInformation(SAFEARRAY** names, SAFEARRAY** sizes, std::int16_t* default_tray) override {
        log_setup("gettrayinformation");
        return guarded("gettrayinformation", com::E_FAIL, [&] {
            ensure_forms();
            if (!names || !sizes || !default_tray)
                return refuse("gettrayinformation", com::E_POINTER, "an output is no pointer");
            const int count = tray_count();
            if (count == 0) return refuse("gettrayinformation", 1, "the configuration has no trays");
            // The sizes travel in 16 bits: a larger tray is refused by name, not wrapped round.
            for (int i = 0; i < count; ++i)
                if (const std::int64_t vials = num_vials(nth_tray_name(i)); vials > 0xFFFF)
                    return refuse(
                        "gettrayinformation", result_overflow,
                        nth_tray_name(i) + " has " + std::to_string(vials) + " vials, more than 65535");
            SAFEARRAY* n = com::safe_array_create_vector(com::VT_BSTR, 0, static_cast<std::uint32_t>(count));
            SAFEARRAY* s = com::safe_array_create_vector(com::VT_UI2, 0, static_cast<std::uint32_t>(count));
            if (!n || !s) {
                com::safe_array_destroy(n);
                com::safe_array_destroy(s);
                return com::E_OUTOFMEMORY;
            }
            for (std::int32_t i = 0; i < count; ++i) {
                const std::string tray = nth_tray_name(i);
                com::Bstr b(tray);
                com::safe_array_put_element(n, &i, b.get());
                const auto vials = static_cast<std::uint16_t>(num_vials(tray));  // checked above
                com::safe_array_put_element(s, &i, &vials);
            }
            *names = n;
            *sizes = s;
            *default_tray = 0;
            return com::S_OK;
        });
    }
    HRESULT HasTrayDialog() override {
        log_setup("hastraydialog");
        return guarded("hastraydialog", com::E_FAIL, [] {
            ensure_forms();
            return com::S_OK;
        });
    }
    HRESULT VisualizeList(HostHandle parent, std::int32_t, SAFEARRAY** positions, SAFEARRAY** types,
                          BSTR* tray_name) override {
        log_setup("visualizelist");
        return guarded("visualizelist", com::E_FAIL, [&] {
            ensure_forms();
            if (!positions || !types || !tray_name)
                return refuse("visualizelist", com::E_POINTER, "an argument is no pointer");
            const std::string requested = com::text_from_bstr(*tray_name);
            if (!requested.empty() && !is_tray(requested))
                return refuse("visualizelist", 1, "no tray " + requested);
            TrayDialogState& st = tray_dialog_state();
            st.input.clear();
            if (*positions) {
                // Every element from the lower bound; a type the host did not give counts as 0.
                std::int32_t low = 0, high = -1, type_low = 0, type_high = -1;
                com::safe_array_get_lbound(*positions, 1, &low);
                com::safe_array_get_ubound(*positions, 1, &high);
                if (*types) {
                    com::safe_array_get_lbound(*types, 1, &type_low);
                    com::safe_array_get_ubound(*types, 1, &type_high);
                }
                for (std::int32_t i = low; i <= high; ++i) {
                    com::Bstr text;
                    com::safe_array_get_element(*positions, &i, text.put());
                    std::int32_t type = 0;
                    const std::int32_t k = type_low + (i - low);
                    if (*types && k <= type_high) com::safe_array_get_element(*types, &k, &type);
                    std::u16string units(com::bstr_view(text.get()).substr(0, 32));
                    st.input.push_back({vial_position(com::cp1252_from_utf16(units)), type});
                }
            }
            putils::session().requested_tray = requested;
            st.cancelled = true;
            st.result.clear();
            {
                auto form = forms::make_form<Ttray_form>(window::is_window(parent) ? parent : 0);
                form->ShowModal();
            }
            if (st.cancelled) return HRESULT{1};
            const auto count = static_cast<std::uint32_t>(st.result.size());
            SAFEARRAY* p = com::safe_array_create_vector(com::VT_BSTR, 0, count);
            SAFEARRAY* t = com::safe_array_create_vector(com::VT_I4, 0, count);
            if (!p || !t) {
                com::safe_array_destroy(p);
                com::safe_array_destroy(t);
                return com::E_OUTOFMEMORY;
            }
            for (std::int32_t i = 0; i < static_cast<std::int32_t>(count); ++i) {
                com::Bstr text(st.current_tray + ":" +
                               std::to_string(st.result[static_cast<std::size_t>(i)].number));
                com::safe_array_put_element(p, &i, text.get());
                const std::int32_t type = st.result[static_cast<std::size_t>(i)].type;
                com::safe_array_put_element(t, &i, &type);
            }
            com::safe_array_destroy(*positions);
            com::safe_array_destroy(*types);
            *positions = p;
            *types = t;
            set_bstr_in_out(tray_name, st.current_tray);
            return com::S_OK;
        });
    }
    HRESULT ProvideInjectionVolumeLimits(double* lower, double* higher, std::int16_t* precision,
                                         double* deflt) override {
        log_setup("provideinjectionvolumelimits");
        return guarded("provideinjectionvolumelimits", com::E_FAIL, [&] {
            ensure_forms();
            if (!lower || !higher || !precision || !deflt)
                return refuse("provideinjectionvolumelimits", com::E_POINTER, "an output is no pointer");
            // Zorrun's refusals were shown by the bridge; the syringe it names may still be one
            // this configuration does not know, which has no limits: "no", not 0..0.
            const std::string syringe = driver_get_syringe();
            HRESULT result = 1;
            if (syringe.empty()) {
                log_setup("provideinjectionvolumelimits - no syringe from Zorrun");
            } else if (core::find_object(syringe) >= core::config_model().object_count) {
                log_setup("provideinjectionvolumelimits - the syringe " + syringe +
                          " is not in the configuration");
            } else {
                *lower = core::get_number_attribute(syringe, "Min Volume");
                *higher = core::get_number_attribute(syringe, "Max Volume");
                *precision = 2;
                *deflt = *lower;
                result = 0;
            }
            log_setup("provideinjectionvolumelimits done");
            return result;
        });
    }
    HRESULT GetInjectionVolumeFromMethod(IUnknown*, const double* volume) override {
        return guarded("getinjvolumefrommethod", com::E_FAIL, [&] {
            ensure_forms();
            char value[64] = "nil";
            if (volume) std::snprintf(value, sizeof value, "%g", *volume);
            log_setup(std::string("getinjvolumefrommethod - (Volume := ") + value + ")");
            return HRESULT{1};
        });
    }

    // -- AsConfig --
    HRESULT GetTrayInformation2(BSTR* tray_name, BSTR vial_pos, std::int32_t* x, std::int32_t* y,
                                std::int32_t* shape) override {
        log_setup("gettrayinformation2");
        return guarded("gettrayinformation2", com::E_FAIL, [&] {
            ensure_forms();
            if (!tray_name || !x || !y || !shape)
                return refuse("gettrayinformation2", com::E_POINTER, "an output is no pointer");
            std::string tray;
            int n = 0;
            const std::string position = com::text_from_bstr(vial_pos);
            if (vial_out_of_range(position, tray, n) != 0) {
                *x = *y = *shape = 0;
                set_bstr_out(tray_name, "");
                return refuse("gettrayinformation2", result_unknown_tray, "no vial " + position);
            }
            const std::string type = core::get_tray_type(tray);
            const double rx = core::get_number_attribute(type, "Row Length X");
            const double ry = core::get_number_attribute(type, "Row Length Y");
            const double cx = core::get_number_attribute(type, "Col Length X");
            const double cy = core::get_number_attribute(type, "Col Length Y");
            // At most 32 bits each (tray_type_count), as the host's integers.
            const auto spr = static_cast<std::int32_t>(tray_type_count(tray, "Spl Per Row"));
            const auto spc = static_cast<std::int32_t>(tray_type_count(tray, "Spl Per Col"));
            const bool turned = rx == 0 && (std::abs(ry) < std::abs(cx) || std::abs(rx) < std::abs(cy));
            *x = turned ? spc : spr;
            *y = turned ? spr : spc;
            *shape = 0;
            set_bstr_out(tray_name, tray);
            return com::S_OK;
        });
    }
    HRESULT GetNextTray(const char16_t* current, BSTR* vial_pos, BSTR* tray_name) override {
        log_setup("GetNextTray");
        return guarded("GetNextTray", com::E_FAIL, [&] {
            ensure_forms();
            if (!vial_pos || !tray_name)
                return refuse("GetNextTray", com::E_POINTER, "an output is no pointer");
            const std::string cur = current ? com::cp1252_from_utf16(current) : std::string();
            std::string next;
            if (cur.empty()) {
                next = nth_tray_name(0);
            } else {
                const int k = tray_number(cur);
                if (k != -1 && k < tray_count()) next = nth_tray_name(k);
            }
            set_bstr_out(tray_name, next);
            set_bstr_out(vial_pos, next.empty() ? std::string() : next + ":1");
            return com::S_OK;
        });
    }
    HRESULT ConvertVialPosition(std::int32_t to_index, BSTR* tray_name, BSTR* vial_pos,
                                std::int32_t* tray_index, std::int32_t* vial_index) override {
        log_setup("convertvialposition");
        return guarded("convertvialposition", com::E_FAIL, [&] {
            ensure_forms();
            if (!tray_name || !vial_pos || !tray_index || !vial_index)
                return refuse("convertvialposition", com::E_POINTER, "an argument is no pointer");
            if (to_index != 0) {
                std::string tray;
                int n = 0;
                const std::string position = com::text_from_bstr(*vial_pos);
                if (vial_out_of_range(position, tray, n) != 0)
                    return refuse("convertvialposition", 1, "no vial " + position);
                const std::int64_t index = transposed_vial_index(n, tray);
                if (index > std::numeric_limits<std::int32_t>::max())
                    return refuse(
                        "convertvialposition", result_overflow,
                        "the index of " + position + " is " + std::to_string(index) + ", beyond 32 bits");
                *tray_index = tray_number(tray);
                set_bstr_out(tray_name, tray);
                *vial_index = static_cast<std::int32_t>(index);
                return com::S_OK;
            }
            if (*tray_index > 0 && *tray_index <= tray_count()) {
                // The vials of the trays in front of this one, then its own index.
                std::int64_t total = *vial_index;
                for (int k = 0; k + 1 < *tray_index; ++k) total += num_vials(nth_tray_name(k));
                set_bstr_in_out(vial_pos, std::to_string(total));
                return com::S_OK;
            }
            return refuse("convertvialposition", result_bad_position,
                          "no tray number " + std::to_string(*tray_index));
        });
    }

  private:
    // The editor and the host's storage, or why there are none.
    static HRESULT with_document(std::string_view method, IUnknown* storage,
                                 std::int32_t (*act)(Tmethod_editor&, platform::storage::IStorage&)) {
        ensure_forms();
        Tmethod_editor* e = editor();
        if (!e) return refuse(method, com::E_UNEXPECTED, "no editor (CreateVisual first)");
        com::ComPtr<platform::storage::IStorage> stg;
        if (!storage ||
            com::failed(storage->QueryInterface(platform::storage::IStorage::iid, stg.put_void())))
            return refuse(method, com::E_NOINTERFACE, "pStorage is no storage");
        return act(*e, *stg.get());
    }
};

// ---- TTConfig --------------------------------------------------------------------------------

class TTConfig final : public com::ComObject<Config> {
  public:
    TTConfig() { ++live_objects; }
    ~TTConfig() override { --live_objects; }
    HRESULT LaunchConfigDialog(HostHandle) override {
        return guarded("launchconfigdialog", com::E_FAIL, [] {
            ensure_forms();
            launch_config_dialog();
            return com::S_OK;
        });
    }
    HostHandle GetButtonImage() override {
        return guarded("getbuttonimage", HostHandle{0}, [] {
            ensure_forms();
            return HostHandle{state().util_form->ImageList1->handle()};
        });
    }
};

template <class T>
class Factory final : public com::ComObject<com::IClassFactory> {
  public:
    Factory() { ++live_objects; }
    ~Factory() override { --live_objects; }
    HRESULT CreateInstance(IUnknown* outer, const com::IID& iid, void** object) override {
        if (!object) return com::E_POINTER;
        *object = nullptr;
        if (outer) return com::CLASS_E_NOAGGREGATION;
        try {
            T* made = new T();
            const HRESULT hr = made->QueryInterface(iid, object);
            made->Release();
            return hr;
        } catch (...) {
            return com::E_OUTOFMEMORY;
        }
    }
    HRESULT LockServer(bool lock) override {
        server_locks += lock ? 1 : -1;
        return com::S_OK;
    }
};

// Load: the session start of the library's core.
struct LibraryLoad {
    LibraryLoad() {
        if (putils::session().instance_number == 0) putils::session().instance_number = 1;
        core::init_session(false, false, true, false, true, false, ".PME", "Zorsetup", sample_type_list);
    }
};

// The finalization, in this order, so nothing is used after it is gone.
void release_library() {
    if (!library_state) return;
    log_setup("finalizing");
    release_driver();
    library_state->editors.clear();
    library_state->util_form.reset();
    library_state->core_form.reset();
    if (forms::interaction_provider() == &unattended) forms::set_interaction_provider(nullptr);
    delete std::exchange(library_state, nullptr);
}

LibraryLoad library_load;

// The library's type library: the interfaces the host defined, described by this library.
com::TypeLibRegistration type_library(const std::string& path) {
    com::TypeLibRegistration lib;
    lib.libid = LIBID_zorsetup;
    lib.description = "zorsetup Library";
    lib.library_path = path;
    lib.interfaces = {{Izorsetup::iid, "zorsetup"},
                      {ZorAsInfo::iid, "ZorAsInfo"},
                      {AsConfig::iid, "AsConfig"},
                      {Volume::iid, "Volume"},
                      {Config::iid, "Config"}};
    return lib;
}

HRESULT register_classes(bool add) {
    const std::string path = com::module_path_of(reinterpret_cast<const void*>(&register_classes));
    if (!add) {
        const HRESULT a = com::unregister_class(CLSID_TZorSetup, prog_id_setup);
        const HRESULT b = com::unregister_class(CLSID_TConfig, prog_id_config);
        const HRESULT c = com::unregister_type_library(type_library(path));
        return com::failed(a) ? a : com::failed(b) ? b : c;
    }
    com::InprocRegistration setup{CLSID_TZorSetup, prog_id_setup, "Zor Setup", path, "Apartment"};
    com::InprocRegistration config{CLSID_TConfig, prog_id_config, "Zor Configuration", path, "Apartment"};
    HRESULT hr = com::register_inproc_server(setup);
    if (com::succeeded(hr)) hr = com::register_inproc_server(config);
    if (com::succeeded(hr)) hr = com::register_type_library(type_library(path));
    return hr;
}

}  // namespace

}  // namespace zorsetup

extern "C" {

__attribute__((visibility("default"))) platform::com::HRESULT DllGetClassObject(
    const platform::com::CLSID* clsid, const platform::com::IID* iid, void** object) {
    namespace com = platform::com;
    if (!clsid || !iid || !object) return com::E_POINTER;
    *object = nullptr;
    try {
        com::ComPtr<com::IClassFactory> factory;
        if (*clsid == zorsetup::CLSID_TZorSetup)
            factory = com::ComPtr<com::IClassFactory>::adopt(new zorsetup::Factory<zorsetup::TTSetup>());
        else if (*clsid == zorsetup::CLSID_TConfig)
            factory = com::ComPtr<com::IClassFactory>::adopt(new zorsetup::Factory<zorsetup::TTConfig>());
        else
            return com::CLASS_E_CLASSNOTAVAILABLE;
        return factory->QueryInterface(*iid, object);
    } catch (...) {
        return com::E_OUTOFMEMORY;
    }
}

// S_FALSE while an object, a lock or an editor window of the library exists: the editor's
// code must stay loaded as long as the host shows it.
__attribute__((visibility("default"))) platform::com::HRESULT DllCanUnloadNow() {
    try {
        using namespace zorsetup;
        if (library_state) drop_destroyed_editors();
        const bool busy =
            live_objects > 0 || server_locks > 0 || (library_state && !library_state->editors.empty());
        if (busy) return platform::com::S_FALSE;
        release_library();
        return platform::com::S_OK;
    } catch (...) {
        return platform::com::S_FALSE;
    }
}

__attribute__((visibility("default"))) platform::com::HRESULT DllRegisterServer() {
    try {
        return zorsetup::register_classes(true);
    } catch (...) {
        return platform::com::E_FAIL;
    }
}

__attribute__((visibility("default"))) platform::com::HRESULT DllUnregisterServer() {
    try {
        return zorsetup::register_classes(false);
    } catch (...) {
        return platform::com::E_FAIL;
    }
}
}
