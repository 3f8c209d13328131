#include "plugin/com_classes.h"

#include <cstdio>
#include <exception>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "platform/com/com.h"
#include "platform/print/device_context.h"
#include "platform/window/window.h"
#include "plugin/config_form.h"
#include "plugin/dialog_keys.h"
#include "plugin/editing.h"
#include "plugin/host_document.h"
#include "plugin/injection_volume.h"
#include "plugin/library_state.h"
#include "plugin/method_editor.h"
#include "plugin/tray_form.h"
#include "plugin/util_form.h"
#include "plugin/vial_arithmetic.h"

namespace zorsetup {

namespace com = platform::com;
namespace window = platform::window;

namespace {

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

// The host's list of vials: every element from the lower bound; a type the host did not give
// counts as 0.
std::vector<TrayVial> host_vial_list(SAFEARRAY* positions, SAFEARRAY* types) {
    std::vector<TrayVial> input;
    if (!positions) return input;
    std::int32_t low = 0, high = -1, type_low = 0, type_high = -1;
    com::safe_array_get_lbound(positions, 1, &low);
    com::safe_array_get_ubound(positions, 1, &high);
    if (types) {
        com::safe_array_get_lbound(types, 1, &type_low);
        com::safe_array_get_ubound(types, 1, &type_high);
    }
    for (std::int32_t i = low; i <= high; ++i) {
        com::Bstr text;
        com::safe_array_get_element(positions, &i, text.put());
        std::int32_t type = 0;
        const std::int32_t k = type_low + (i - low);
        if (types && k <= type_high) com::safe_array_get_element(types, &k, &type);
        std::u16string units(com::bstr_view(text.get()).substr(0, 32));
        input.push_back({vial_position(com::cp1252_from_utf16(units)), type});
    }
    return input;
}

}  // namespace

// ---- TTSetup ---------------------------------------------------------------------------------

TTSetup::TTSetup() {
    ++live_objects;
}
TTSetup::~TTSetup() {
    --live_objects;
}

HostHandle TTSetup::CreateVisual(HostHandle parent) {
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

HostHandle TTSetup::GetButtonImage() {
    log_setup("getbuttonimage");
    return guarded("getbuttonimage", HostHandle{0}, [] {
        ensure_forms();
        return HostHandle{state().util_form->ImageList1->handle()};
    });
}

HostHandle TTSetup::GetInPlaceMenu() {
    log_setup("getinplacemenu");
    return guarded("getinplacemenu", HostHandle{0}, [] {
        ensure_forms();
        state().util_form->set_command_ids();
        return HostHandle{state().util_form->PopupMenu1->handle()};
    });
}

const char16_t* TTSetup::GetMenuString(std::int32_t) {
    log_setup("getmenustring");
    return guarded("getmenustring", static_cast<const char16_t*>(u""), [] {
        ensure_forms();
        state().menu_text = u"ZOR";
        return static_cast<const char16_t*>(state().menu_text.c_str());
    });
}

std::int32_t TTSetup::GetMenuFlags(std::int32_t) {
    log_setup("getmenuflags");
    return guarded("getmenuflags", std::int32_t{0}, [] {
        ensure_forms();
        return std::int32_t{0};
    });
}

void TTSetup::ExecuteCommand(std::int32_t id) {
    log_setup("executecommand");
    guarded("executecommand", 0, [id] {
        ensure_forms();
        execute_menu_command(id);
        return 0;
    });
}

HRESULT TTSetup::New() {
    log_setup("new");
    return guarded("new", com::E_FAIL, [] {
        ensure_forms();
        Tmethod_editor* e = editor();
        if (!e) return refuse("new", com::E_UNEXPECTED, "no editor (CreateVisual first)");
        new_method_document(*e);
        return com::S_OK;
    });
}

HRESULT TTSetup::Open(IUnknown* storage) {
    log_setup("open");
    return guarded("open", com::E_FAIL,
                   [storage] { return with_document("open", storage, open_method_document); });
}

HRESULT TTSetup::Save(IUnknown* storage) {
    log_setup("save");
    return guarded("save", com::E_FAIL,
                   [storage] { return with_document("save", storage, save_method_document); });
}

std::int32_t TTSetup::IsModified() {
    log_setup("ismodified");
    return guarded("ismodified", std::int32_t{0}, [] {
        ensure_forms();
        Tmethod_editor* e = editor();
        return std::int32_t{e && e->is_method_modified() ? 1 : 0};
    });
}

std::int32_t TTSetup::CanBeSaved() {
    log_setup("canbesaved");
    return guarded("canbesaved", std::int32_t{0}, [] {
        ensure_forms();
        return std::int32_t{1};
    });
}

std::int32_t TTSetup::CompPreTranslate(const HostMessage* msg) {
    return guarded("comppretranslate", std::int32_t{0}, [msg] {
        Tmethod_editor* e = editor();
        if (!msg || !e) return std::int32_t{0};
        return dialog_message(*e, *msg);
    });
}

void TTSetup::Print(HostHandle dc, const HostRect* rect, std::int32_t page) {
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

std::int32_t TTSetup::PageCount() {
    log_setup("pagecount");
    return guarded("pagecount", std::int32_t{0}, [] {
        ensure_forms();
        Tmethod_editor* e = editor();
        return std::int32_t{e ? e->page_count() : 0};
    });
}

std::int32_t TTSetup::CanBePrinted() {
    log_setup("canbeprinted");
    return guarded("canbeprinted", std::int32_t{0}, [] {
        ensure_forms();
        return std::int32_t{1};
    });
}

HRESULT TTSetup::ValidateVial(const char16_t* vial, const char16_t* tray_name, std::int32_t acquisition) {
    return guarded("validatevial", com::E_FAIL, [&] {
        ensure_forms();
        const std::string text = wide_to_string(vial);
        const std::string tray = vial_tray_part(text);
        const std::int64_t n = vial_position(text);
        std::string second;
        const HRESULT result = check_vial(tray, n, acquisition, second);
        log_setup("validatevial - (Vial := " + raw_value(vial) + "[" + text + "] *** TrayName := " +
                  raw_value(tray_name) + "[" + tray + "]" + " *** tray_from_tray_and_vial := " + second +
                  " *** vial_from_tray_and_vial := " + std::to_string(n) + " *** Acquisition := " +
                  std::to_string(acquisition) + " *** Result := " + std::to_string(result));
        return result;
    });
}

HRESULT TTSetup::GetNextVial(BSTR* next, const char16_t* current, const char16_t* tray_name) {
    return guarded("getnextvial", com::E_FAIL, [&] {
        ensure_forms();
        if (!next) return refuse("getnextvial", com::E_POINTER, "NextVial is no pointer");
        const std::string cur = wide_to_string(current);
        const std::string tray = wide_to_string(tray_name);
        if (!is_tray(tray)) return refuse("getnextvial", result_unknown_tray, "no tray " + tray);
        const std::string out = next_vial(cur, tray);
        set_bstr_out(next, out);
        log_setup("getnextvial - (CurrentVial := " + raw_value(current) + "(" + cur + ") *** TrayName := " +
                  raw_value(tray_name) + "(" + tray + ") *** NextVial := " + out + "(" + tray + ")");
        return com::S_OK;
    });
}

HRESULT TTSetup::GetTrayInformation(SAFEARRAY** names, SAFEARRAY** sizes, std::int16_t* default_tray) {
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
                return refuse("gettrayinformation", result_overflow,
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

HRESULT TTSetup::HasTrayDialog() {
    log_setup("hastraydialog");
    return guarded("hastraydialog", com::E_FAIL, [] {
        ensure_forms();
        return com::S_OK;
    });
}

HRESULT TTSetup::VisualizeList(HostHandle parent, std::int32_t, SAFEARRAY** positions, SAFEARRAY** types,
                               BSTR* tray_name) {
    log_setup("visualizelist");
    return guarded("visualizelist", com::E_FAIL, [&] {
        ensure_forms();
        if (!positions || !types || !tray_name)
            return refuse("visualizelist", com::E_POINTER, "an argument is no pointer");
        const std::string requested = com::text_from_bstr(*tray_name);
        if (!requested.empty() && !is_tray(requested))
            return refuse("visualizelist", 1, "no tray " + requested);
        if (!pick_vials(window::is_window(parent) ? parent : 0, requested,
                        host_vial_list(*positions, *types)))
            return HRESULT{1};
        const TrayDialogState& st = tray_dialog_state();
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

HRESULT TTSetup::ProvideInjectionVolumeLimits(double* lower, double* higher, std::int16_t* precision,
                                              double* deflt) {
    log_setup("provideinjectionvolumelimits");
    return guarded("provideinjectionvolumelimits", com::E_FAIL, [&] {
        ensure_forms();
        if (!lower || !higher || !precision || !deflt)
            return refuse("provideinjectionvolumelimits", com::E_POINTER, "an output is no pointer");
        HRESULT result = 1;
        if (const auto limits = injection_volume_limits()) {
            *lower = limits->lower;
            *higher = limits->higher;
            *precision = limits->precision;
            *deflt = limits->preset;
            result = 0;
        }
        log_setup("provideinjectionvolumelimits done");
        return result;
    });
}

HRESULT TTSetup::GetInjectionVolumeFromMethod(IUnknown*, const double* volume) {
    return guarded("getinjvolumefrommethod", com::E_FAIL, [&] {
        ensure_forms();
        char value[64] = "nil";
        if (volume) std::snprintf(value, sizeof value, "%g", *volume);
        log_setup(std::string("getinjvolumefrommethod - (Volume := ") + value + ")");
        return HRESULT{1};
    });
}

HRESULT TTSetup::GetTrayInformation2(BSTR* tray_name, BSTR vial_pos, std::int32_t* x, std::int32_t* y,
                                     std::int32_t* shape) {
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
        tray_columns_and_rows(tray, *x, *y);
        *shape = 0;
        set_bstr_out(tray_name, tray);
        return com::S_OK;
    });
}

HRESULT TTSetup::GetNextTray(const char16_t* current, BSTR* vial_pos, BSTR* tray_name) {
    log_setup("GetNextTray");
    return guarded("GetNextTray", com::E_FAIL, [&] {
        ensure_forms();
        if (!vial_pos || !tray_name) return refuse("GetNextTray", com::E_POINTER, "an output is no pointer");
        const std::string next = next_tray(current ? com::cp1252_from_utf16(current) : std::string());
        set_bstr_out(tray_name, next);
        set_bstr_out(vial_pos, next.empty() ? std::string() : next + ":1");
        return com::S_OK;
    });
}

HRESULT TTSetup::ConvertVialPosition(std::int32_t to_index, BSTR* tray_name, BSTR* vial_pos,
                                     std::int32_t* tray_index, std::int32_t* vial_index) {
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
            set_bstr_in_out(vial_pos, std::to_string(vial_index_over_trays(*tray_index, *vial_index)));
            return com::S_OK;
        }
        return refuse("convertvialposition", result_bad_position,
                      "no tray number " + std::to_string(*tray_index));
    });
}

HRESULT TTSetup::with_document(std::string_view method, IUnknown* storage,
                               std::int32_t (*act)(Tmethod_editor&, platform::storage::IStorage&)) {
    ensure_forms();
    Tmethod_editor* e = editor();
    if (!e) return refuse(method, com::E_UNEXPECTED, "no editor (CreateVisual first)");
    com::ComPtr<platform::storage::IStorage> stg;
    if (!storage || com::failed(storage->QueryInterface(platform::storage::IStorage::iid, stg.put_void())))
        return refuse(method, com::E_NOINTERFACE, "pStorage is no storage");
    return act(*e, *stg.get());
}

// ---- TTConfig --------------------------------------------------------------------------------

TTConfig::TTConfig() {
    ++live_objects;
}
TTConfig::~TTConfig() {
    --live_objects;
}

HRESULT TTConfig::LaunchConfigDialog(HostHandle) {
    return guarded("launchconfigdialog", com::E_FAIL, [] {
        ensure_forms();
        launch_config_dialog();
        return com::S_OK;
    });
}

HostHandle TTConfig::GetButtonImage() {
    return guarded("getbuttonimage", HostHandle{0}, [] {
        ensure_forms();
        return HostHandle{state().util_form->ImageList1->handle()};
    });
}

}  // namespace zorsetup
