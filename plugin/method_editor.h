// Tmethod_editor: the method editor the host data system embeds in its instrument-setup view.
//
// It edits one method: the template it came from, a free-text description, the syringe it is
// written for and an ordered list of steps, each a call of a library macro held as
// "<macro>(<value>,...,<value>)". The left side holds the template box, the description, the
// syringe box and the step list; the right side shows one row per parameter of the selected
// step's macro (30 rows: a caption and either an edit for a number, an expression or a run
// variable, or a list of configured objects).
//
// The form is borderless and is made as a child of the host's window (its handle is given to
// the constructor; 0 makes a top-level form for a test host). Whoever embeds it (the COM class
// of the host view, a test) creates it with make_editor, which fires FormCreate, and then calls
// init_editor once; current_editor() is the editor created last, the one every host object of
// the library works on. It is nullptr again when that editor is freed, so nothing works on a
// freed form.
//
// The state of the editor (the method's lists, the selected step, the template name, the
// declaration tables) lives in the form: a new editor starts fresh. Main thread only.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/macro_param.h"
#include "platform/forms/controls.h"
#include "plugin/editing.h"

namespace platform::print {
class DeviceContext;
}

namespace zorsetup {

inline constexpr int parameter_rows = 30;
// The form's client size as designed; a host may make it larger.
inline constexpr int designed_editor_width = 634;
inline constexpr int designed_editor_height = 413;
// Status broadcast of the run-time driver: WM_USER + 401, wParam the instance number.
inline constexpr std::uint32_t zor_status_message = 0x0400 + 401;

// Present on the form; the editor never opens it.
class PrintDialog : public platform::forms::Component {
  public:
    FORMS_CLASS_NAME("TPrintDialog")
};

// step_number_text(9) is "09 ", step_number_text(10) is "10 ".
std::string step_number_text(int n);

// A rectangle in a device context's units.
struct PrintRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

class Tmethod_editor : public platform::forms::Form {
  public:
    // The window class is the form's class name as the driver's broadcast addresses it.
    explicit Tmethod_editor(platform::window::Handle host_window = 0);
    ~Tmethod_editor() override;

    // ---- operations for the host objects --------------------------------------------------
    void init_editor();
    void new_method(std::string_view template_name);
    void refresh_step_list();
    void show_step();
    // `report`: a refusal is shown to the person (else the step is just not taken).
    bool commit_step(bool report = true);
    void snapshot_method();
    bool is_method_modified();
    std::string selected_template() const;
    int page_count();
    // Prints page `page` (from 1) into the rectangle; false (nothing printed) for a page that
    // does not exist or a rectangle with no height or width.
    bool print_page(platform::print::DeviceContext& dc, PrintRect rect, int page);

    // ---- templates ---------------------------------------------------------------------------
    void refill_template_list();
    void select_template(std::string_view name);
    bool load_template(std::string_view name);
    void save_template(std::string_view name);
    void offer_template_save();
    bool template_file_differs();
    // The method as a template holds it: description, syringe line, steps, macro sections.
    void compose_method_text(platform::forms::StringList& list);
    std::string current_template() const { return current_template_; }
    bool template_clean() const { return template_clean_; }

    // ---- parameter rows ----------------------------------------------------------------------
    void build_parameter_panel();
    std::string compose_step(bool report = true);
    void check_method();
    void refresh_object_choices();
    std::string resolve_value_text(std::string_view text);
    std::string value_display_text(std::string_view text, int row);
    // The editor's own declaration tables from the macro's library file; returns the number
    // of parameters (at most core::max_macro_params).
    int load_macro_declarations(std::string_view macro);
    const core::MacroParam& declaration(int k) const { return declarations_.at(static_cast<std::size_t>(k)); }
    static std::uint32_t declaration_class_mask(std::string_view line);

    platform::forms::StaticText* param_caption(int row) const;
    platform::forms::Edit* param_edit(int row) const;
    platform::forms::ComboBox* param_combo(int row) const;

    int selected_step() const { return selected_step_; }
    void report_status(std::string_view text);
    void refill_macro_list();
    // The form's layout after a size change: the step list and the parameter panel take what
    // the status bar leaves below and the width leaves on the right; at the designed size it
    // is the designed layout.
    void FormCanResize();
    // The designed size: below it the fixed left column and the parameter rows would not fit.
    platform::forms::Point min_track_size() const override;

    // ---- components --------------------------------------------------------------------------
    platform::forms::GroupBox* GroupBox1;
    platform::forms::ComboBox* method_select_box;
    platform::forms::GroupBox* GroupBox8;
    platform::forms::Memo* method_descrip_box;
    platform::forms::GroupBox* GroupBox2;
    platform::forms::ComboBox* syringe_box;
    platform::forms::GroupBox* GroupBox4;
    platform::forms::ListBox* method_box;
    platform::forms::BitBtn* add_macro_button;
    platform::forms::BitBtn* replace_macro_button;
    platform::forms::BitBtn* delete_macro_button;
    platform::forms::BitBtn* run_method_button;
    platform::forms::BitBtn* step_button;
    platform::forms::GroupBox* method_group_box;
    platform::forms::ScrollBox* param_group_box;
    platform::forms::StaticText* param_label;
    platform::forms::ComboBox* macros_of_method;
    platform::forms::BitBtn* set_macro_defaults_button;
    platform::forms::ListBox* current_method;
    platform::forms::ListBox* amalgamated_method;
    platform::forms::ListBox* last_opened_method;
    platform::forms::ListBox* macro_temp_box;
    platform::forms::ListBox* test_box;
    platform::forms::StatusBar* status_bar;
    platform::forms::PopupMenu* macro_param_popup;
    platform::forms::MenuItem* macro_deflt;
    PrintDialog* PrintDialog1;

  private:
    // Events.
    void FormCreate();
    void FormActivate();
    void DoShowHint(platform::forms::HintInfo& info);
    void method_select_boxChange();
    void syringe_boxChange();
    void method_boxClick();
    void method_boxMouseMove(int x, int y);
    void delete_macro_buttonClick();
    void macros_of_methodChange();
    void macro_edit_exit();
    void set_macro_defaults_buttonClick();
    void macro_param_popupPopup();
    void macro_defltClick();
    void macro_popupClick(platform::forms::MenuItem& item);
    void finish_config(platform::forms::FormMessage& message);
    void show_help_file(platform::forms::FormMessage& message);

    int popup_row() const;
    std::string chosen_macro() const;
    // The macro and value texts of a step line.
    static void split_step(std::string_view line, std::string& macro, std::vector<std::string>& values);

    // Load checks.
    std::string check_object_reference(std::string_view value, std::uint32_t mask, int n);
    std::string check_used_macro_atoms(const std::vector<std::string>& macros);
    std::string check_used_macro_objects(const std::vector<std::string>& macros);
    std::string check_step_objects();
    std::vector<std::string> used_macros() const;

    struct PrintLine {
        std::string text;
        bool underlined = false;
    };
    std::vector<PrintLine> print_lines();
    // The lines last built, with what they were built from: a host prints page after page of
    // the same method, and each page must not build the whole method again.
    const std::vector<PrintLine>& current_print_lines();
    struct PrintSource {
        std::vector<std::string> description;
        std::string syringe;
        std::vector<std::string> steps;
    };
    PrintSource print_source_;
    std::vector<PrintLine> printed_lines_;
    bool print_lines_built_ = false;

    int selected_step_ = -1;
    std::string current_template_;
    bool template_clean_ = false;
    bool first_init_pending_ = false;
    int hint_line_ = 0;
    std::string status_box_setting_;
    // The editor's declaration tables (load_macro_declarations) and the first line of the
    // last macro read that is no valid declaration ("" when all were).
    core::MacroParamTable declarations_{};
    std::string bad_declaration_;
};

// The unit's state: the editor the host's objects work on (the one created last) and the one
// whose DoShowHint the application calls; nullptr when there is none.
struct MethodEditorState {
    Tmethod_editor* editor = nullptr;
    Tmethod_editor* hint_owner = nullptr;
};
MethodEditorState& method_editor_state();

// Makes an editor (FormCreate fires) and makes it the current one.
platform::forms::FormPtr<Tmethod_editor> make_editor(platform::window::Handle host_window = 0);
// The editor created last; nullptr when there is none or it was freed.
Tmethod_editor* current_editor();

// The host's settings: HKEY_LOCAL_MACHINE "\SOFTWARE\Velorand\Chromarq" + subkey, opened
// without creating it; "" when the key or the value is missing.
std::string read_host_registry(std::string_view subkey, std::string_view value);
// Opens the editor's help file with the "Contents" keyword; a file that cannot be opened gives
// a message.
void show_help(platform::window::Handle window);

}  // namespace zorsetup
