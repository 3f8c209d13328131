// The host side of zorsetup: loads the plug-in through the registry store, holds its classes,
// embeds the editor in a host window, and keeps methods in compound-file documents (storage
// "Zor" with the streams "Text" and "Data"). Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/com/com.h"
#include "platform/forms/form.h"
#include "plugin/host_interfaces.h"

namespace platform::print {
class DeviceContext;
}

namespace zorhost {

class Host {
  public:
    // Finds TZorSetup in the registry and creates it (the library is loaded then); makes the
    // host window and, unless `with_editor` is false, embeds the editor in it. ok() tells
    // whether it worked, error() why not.
    explicit Host(bool with_editor = true);
    ~Host();
    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }

    zorsetup::Izorsetup& setup() { return *setup_.get(); }
    zorsetup::ZorAsInfo& info() { return *info_.get(); }
    zorsetup::AsConfig& as_config() { return *as_config_.get(); }
    platform::window::Handle host_window() const { return host_window_; }
    platform::window::Handle editor_window() const { return editor_window_; }
    // The editor's form, found among the forms by its window.
    platform::forms::Form* editor_form() const;

    // Chooses a template in the editor's template box as a person does; false when the box
    // does not offer it.
    bool choose_template(const std::string& name);
    // The editor's method as shown: template, syringe, then the step list's texts.
    std::vector<std::string> shown_method() const;
    // The steps in the editor's step list.
    int step_count() const;

    // New, Open and Save of a document file. Results as the plug-in answers, or a storage
    // error of the file; after a failure of Open or Save, document_failure() says in words what
    // failed, on which file and why ("Save failed: \"/m/run.zor\": No space left on device
    // (the disk is full; HRESULT 0x80030070)").
    std::int32_t new_document();
    std::int32_t save_document(const std::string& path);
    std::int32_t open_document(const std::string& path);
    const std::string& document_failure() const { return document_failure_; }
    // The in-place menu as the host shows it (GetInPlaceMenu, then the items through the
    // menu's handle): caption and command id of each item.
    std::vector<std::pair<std::string, std::int32_t>> in_place_menu();
    // Prints every page of the method on the context as the host prints a document: a page of
    // the context for each page, in the page less a margin, then the document's end. The page
    // count.
    int print_to(platform::print::DeviceContext& dc);
    // Every page printed on a recording context: one text line per text drawn.
    std::vector<std::string> print_pages(int* page_count);

    // Gives everything back and lets the COM layer unload the library if it says so.
    void close();

  private:
    std::string error_;
    std::string document_failure_;
    platform::com::ComPtr<zorsetup::Izorsetup> setup_;
    platform::com::ComPtr<zorsetup::ZorAsInfo> info_;
    platform::com::ComPtr<zorsetup::AsConfig> as_config_;
    platform::window::Handle host_window_ = 0;
    platform::window::Handle editor_window_ = 0;
};

// Registers the library's classes (its DllRegisterServer); S_OK or the failure.
platform::com::HRESULT register_plugin(const std::string& library_path);

}  // namespace zorhost
