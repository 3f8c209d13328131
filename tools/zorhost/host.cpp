#include "tools/zorhost/host.h"

#include <dlfcn.h>

#include "platform/forms/application.h"
#include "platform/forms/handles.h"
#include "platform/forms/list_controls.h"
#include "platform/print/device_context.h"
#include "platform/storage/method_codec.h"
#include "platform/window/window.h"

namespace zorhost {

namespace com = platform::com;
namespace forms = platform::forms;
namespace stg = platform::storage;
namespace window = platform::window;

com::HRESULT register_plugin(const std::string& library_path) {
    void* handle = dlopen(library_path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return com::CO_E_DLLNOTFOUND;
    using Fn = com::HRESULT (*)();
    auto reg = reinterpret_cast<Fn>(dlsym(handle, "DllRegisterServer"));
    const com::HRESULT hr = reg ? reg() : com::CO_E_ERRORINDLL;
    dlclose(handle);
    return hr;
}

Host::Host(bool with_editor) {
    const com::HRESULT hr =
        com::co_create_instance(zorsetup::CLSID_TZorSetup, nullptr, com::CLSCTX_INPROC_SERVER,
                                zorsetup::Izorsetup::iid, setup_.put_void());
    if (com::failed(hr)) {
        error_ = "the plug-in could not be created: " + com::hresult_text(hr);
        return;
    }
    info_ = setup_.query<zorsetup::ZorAsInfo>();
    as_config_ = setup_.query<zorsetup::AsConfig>();
    host_window_ = window::create_window(
        "TZorHost", 0,
        [](window::Handle, std::uint32_t, window::WParam, window::LParam) -> window::Result { return 0; },
        "zorhost");
    if (!with_editor) return;
    editor_window_ = setup_->CreateVisual(host_window_);
    if (!editor_window_) error_ = "the plug-in made no editor window";
}

Host::~Host() {
    close();
}

void Host::close() {
    info_.reset();
    as_config_.reset();
    setup_.reset();
    if (host_window_) window::destroy_window(host_window_);
    host_window_ = editor_window_ = 0;
    com::co_free_unused_libraries();
}

forms::Form* Host::editor_form() const {
    for (forms::Form* f : forms::forms_state().screen.forms())
        if (f->handle() == editor_window_) return f;
    return nullptr;
}

bool Host::choose_template(const std::string& name) {
    forms::Form* form = editor_form();
    if (!form) return false;
    auto* box = dynamic_cast<forms::ComboBox*>(form->find_component("method_select_box"));
    if (!box) return false;
    const int index = box->Items.index_of(name);
    if (index < 0) return false;
    box->select(index);
    return true;
}

std::vector<std::string> Host::shown_method() const {
    std::vector<std::string> out;
    forms::Form* form = editor_form();
    if (!form) return out;
    auto* templ = dynamic_cast<forms::ComboBox*>(form->find_component("method_select_box"));
    auto* syringe = dynamic_cast<forms::ComboBox*>(form->find_component("syringe_box"));
    auto* steps = dynamic_cast<forms::ListBox*>(form->find_component("current_method"));
    auto text = [](forms::ComboBox* b) {
        return b && b->ItemIndex >= 0 && b->ItemIndex < b->Items.count() ? b->Items[b->ItemIndex]
                                                                         : std::string();
    };
    out.push_back("template: " + text(templ));
    out.push_back("syringe: " + text(syringe));
    if (steps)
        for (const std::string& s : steps->Items) out.push_back(s);
    return out;
}

int Host::step_count() const {
    forms::Form* form = editor_form();
    auto* steps = form ? dynamic_cast<forms::ListBox*>(form->find_component("current_method")) : nullptr;
    return steps ? steps->Items.count() : 0;
}

std::int32_t Host::new_document() {
    return setup_->New();
}

namespace {

// What went wrong with the document, naming it: the storage layer's own words (the file and
// the system's reason), then the code's meaning and the code.
std::string storage_failure(const std::string& path, const stg::StgResult& result, com::HRESULT hr) {
    std::string text = result.message();
    if (text.find("\"" + path + "\"") == std::string::npos) text = "\"" + path + "\": " + text;
    return text + " (" + stg::storage_failure_words(hr) + "; HRESULT " + com::hresult_text(hr) + ")";
}

std::string plugin_failure(const std::string& path, const char* what, std::int32_t hr) {
    const std::string why = hr == 1 ? "the method does not pass its check" : stg::storage_failure_words(hr);
    return "\"" + path + "\": the plug-in's " + what + " answered that " + why + " (HRESULT " +
           com::hresult_text(hr) + ")";
}

}  // namespace

std::int32_t Host::save_document(const std::string& path) {
    document_failure_.clear();
    const auto fail = [&](const stg::StgResult& result) {
        const std::int32_t hr = stg::storage_hresult(result.error());
        document_failure_ = "Save failed: " + storage_failure(path, result, hr);
        return hr;
    };
    auto file = stg::CompoundFile::create(path);
    if (!file) return fail(file.result());
    auto zor = file->root().create_storage(stg::method_storage_name);
    if (!zor) return fail(zor.result());
    auto storage = stg::make_com_storage(*zor);
    const std::int32_t hr = setup_->Save(storage.get());
    if (hr != 0) {
        document_failure_ = "Save failed: " + plugin_failure(path, "Save", hr);
        return hr;
    }
    const auto committed = file->commit();
    return committed.ok() ? 0 : fail(committed);
}

std::int32_t Host::open_document(const std::string& path) {
    document_failure_.clear();
    const auto fail = [&](const stg::StgResult& result, bool is_compound_file) {
        const std::int32_t hr = stg::document_hresult(result.error(), is_compound_file);
        document_failure_ = "Open failed: " + storage_failure(path, result, hr);
        return hr;
    };
    auto file = stg::CompoundFile::open(path, stg::Mode::read_only);
    if (!file) return fail(file.result(), stg::file_has_compound_file_signature(path));
    auto zor = file->root().open_storage(stg::method_storage_name);
    if (!zor) return fail(zor.result(), true);
    auto storage = stg::make_com_storage(*zor);
    const std::int32_t hr = setup_->Open(storage.get());
    if (hr != 0) document_failure_ = "Open failed: " + plugin_failure(path, "Open", hr);
    return hr;
}

std::vector<std::pair<std::string, std::int32_t>> Host::in_place_menu() {
    std::vector<std::pair<std::string, std::int32_t>> items;
    const forms::MenuHandle menu = setup_->GetInPlaceMenu();
    for (int i = 0; i < forms::get_menu_item_count(menu); ++i)
        items.emplace_back(forms::get_menu_item_text(menu, i), forms::get_menu_item_id(menu, i));
    return items;
}

int Host::print_to(platform::print::DeviceContext& dc) {
    const std::uint32_t handle = platform::print::register_device_context(dc);
    const int pages = setup_->PageCount();
    // A margin of 100 units all round: 10 mm on a sheet measured in tenths of a millimetre.
    constexpr int margin = 100;
    const platform::print::Size sheet = dc.page_size();
    const zorsetup::HostRect rect{margin, margin, sheet.cx - margin, sheet.cy - margin};
    for (int p = 1; p <= pages; ++p) {
        dc.start_page();
        setup_->Print(handle, &rect, p);
        dc.end_page();
    }
    dc.end_document();
    platform::print::forget_device_context(handle);
    return pages;
}

std::vector<std::string> Host::print_pages(int* page_count) {
    std::vector<std::string> lines;
    platform::print::RecordingDeviceContext dc;
    const int pages = print_to(dc);
    if (page_count) *page_count = pages;
    for (const auto& call : dc.calls())
        if (call.op == platform::print::DrawOp::text) lines.push_back(call.text);
    return lines;
}

}  // namespace zorhost
