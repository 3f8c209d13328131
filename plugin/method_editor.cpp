// The editor's window, its components, the step list and the form's events.
#include "plugin/method_editor.h"

#include "core/command_text.h"
#include "core/config_text.h"
#include "core/line_files.h"
#include "core/macro_library.h"
#include "core/run_variables.h"
#include "core/zor_lib_form.h"
#include "utilities/form_helpers.h"
#include "utilities/log.h"
#include "utilities/session.h"
#include "utilities/settings.h"
#include "utilities/text.h"

namespace zorsetup {

using namespace platform::forms;
using putils::same_text;

MethodEditorState& method_editor_state() {
    static MethodEditorState state;
    return state;
}

namespace {

Tmethod_editor*& editor_slot() {
    return method_editor_state().editor;
}
Tmethod_editor*& hint_owner() {
    return method_editor_state().hint_owner;
}

// These macros are run from their files by the driver and never become steps.
constexpr std::string_view reserved_macros[] = {"ERROR ENTRY", "ERROR EXIT", "METHOD ENTRY",
                                                "METHOD EXIT", "SL ENTRY",   "SL EXIT"};

// The combos of these rows accept typed text; the others are drop-down lists.
bool typed_combo(int number) {
    return (number >= 13 && number <= 15) || number >= 28;
}

}  // namespace

std::string step_number_text(int n) {
    return (n > 9 ? std::to_string(n) : "0" + std::to_string(n)) + " ";
}

FormPtr<Tmethod_editor> make_editor(platform::window::Handle host_window) {
    auto editor = make_form<Tmethod_editor>(host_window);
    editor_slot() = editor.get();
    return editor;
}

Tmethod_editor* current_editor() {
    return editor_slot();
}

Tmethod_editor::Tmethod_editor(platform::window::Handle host_window) : Form("TMethod_Editor", host_window) {
    BorderStyle = FormBorderStyle::none;
    BorderIcons = {.system_menu = true, .minimize = false, .maximize = false, .help = true};
    ClientWidth = Width = designed_editor_width;
    ClientHeight = Height = designed_editor_height;
    Font.Name = "MS Sans Serif";
    Font.Height = -11;

    GroupBox1 = add<GroupBox>("GroupBox1");
    GroupBox1->Caption = "Choose Method Template";
    GroupBox1->SetBounds(8, 0, 217, 49);
    method_select_box = add<ComboBox>("method_select_box", GroupBox1);
    method_select_box->Style = ComboStyle::drop_down_list;
    method_select_box->Sorted = true;
    method_select_box->SetBounds(8, 18, 201, 21);
    method_select_box->OnChange = [this](Component&) { method_select_boxChange(); };
    method_select_box->OnDropDown = [this](Component&) { refill_template_list(); };

    GroupBox8 = add<GroupBox>("GroupBox8");
    GroupBox8->Caption = "Method Description";
    GroupBox8->SetBounds(8, 52, 217, 89);
    method_descrip_box = add<Memo>("method_descrip_box", GroupBox8);
    method_descrip_box->Color = clWhite;
    method_descrip_box->SetBounds(8, 16, 201, 65);
    method_descrip_box->OnKeyDown = [](Component&, int&, ShiftState) {};

    GroupBox2 = add<GroupBox>("GroupBox2");
    GroupBox2->Caption = "Method Syringe";
    GroupBox2->SetBounds(8, 144, 217, 49);
    syringe_box = add<ComboBox>("syringe_box", GroupBox2);
    syringe_box->Style = ComboStyle::drop_down_list;
    syringe_box->SetBounds(8, 18, 201, 21);
    syringe_box->OnChange = [this](Component&) { syringe_boxChange(); };

    GroupBox4 = add<GroupBox>("GroupBox4");
    GroupBox4->Caption = "Method Steps";
    GroupBox4->SetBounds(8, 196, 217, 194);
    method_box = add<ListBox>("method_box", GroupBox4);
    method_box->ShowHint = true;
    method_box->TabStop = false;
    method_box->SetBounds(8, 16, 201, 162);
    method_box->OnClick = [this](Component&) { method_boxClick(); };
    method_box->OnMouseMove = [this](Component&, ShiftState, int x, int y) { method_boxMouseMove(x, y); };

    auto hidden_button = [this](const char* name, const char* caption, int left) {
        BitBtn* button = add<BitBtn>(name, GroupBox4);
        button->Caption = caption;
        button->Visible = false;
        button->SetBounds(left, 160, 40, 25);
        return button;
    };
    add_macro_button = hidden_button("add_macro_button", "&Insert", 8);
    replace_macro_button = hidden_button("replace_macro_button", "&Replace", 48);
    delete_macro_button = hidden_button("delete_macro_button", "&Delete", 88);
    run_method_button = hidden_button("run_method_button", "Ru&n", 128);
    step_button = hidden_button("step_button", "&Step", 168);
    add_macro_button->OnClick = [](Component&) {};
    replace_macro_button->OnClick = [](Component&) {};
    delete_macro_button->OnClick = [this](Component&) { delete_macro_buttonClick(); };
    run_method_button->OnClick = [](Component&) {};
    step_button->OnClick = [](Component&) {};

    method_group_box = add<GroupBox>("method_group_box");
    method_group_box->SetBounds(232, 0, 393, 390);
    macros_of_method = add<ComboBox>("macros_of_method", method_group_box);
    macros_of_method->Style = ComboStyle::drop_down_list;
    macros_of_method->Sorted = true;
    macros_of_method->Visible = false;
    macros_of_method->Hint = "I'm a Macro!";
    macros_of_method->SetBounds(8, 14, 180, 21);
    macros_of_method->OnChange = [this](Component&) { macros_of_methodChange(); };
    // The scroll box fills the panel; the step's header sits above its first row.
    param_group_box = add<ScrollBox>("param_group_box", method_group_box);
    param_group_box->BorderStyle = BorderStyle::none;
    param_group_box->SetBounds(8, 4, 377, 384);

    macro_param_popup = add<platform::forms::PopupMenu>("macro_param_popup");
    macro_param_popup->AutoHotkeys = false;
    macro_param_popup->OnPopup = [this](Component&) { macro_param_popupPopup(); };
    macro_deflt = macro_param_popup->add_item("macro_deflt");
    macro_deflt->OnClick = [this](Component&) { macro_defltClick(); };
    for (int i = 0; i < 12; ++i) {
        MenuItem* item = macro_param_popup->add_item();
        item->OnClick = [this](Component& sender) { macro_popupClick(static_cast<MenuItem&>(sender)); };
    }

    for (int r = 0; r < parameter_rows; ++r) {
        const std::string n = std::to_string(r + 1);
        const int y = 36 + 24 * r;
        auto* caption = add<StaticText>("StaticText" + n, param_group_box);
        caption->SetBounds(5, y + 4, 195, 17);
        caption->Visible = false;
        auto* edit = add<Edit>("Edit" + n, param_group_box);
        edit->SetBounds(205, y, 137, 21);
        edit->Visible = false;
        edit->TabOrder = 2 * r;
        edit->OnExit = [this](Component&) { macro_edit_exit(); };
        auto* combo = add<ComboBox>("ComboBox" + n, param_group_box);
        combo->SetBounds(206, y, 137, 21);
        combo->Visible = false;
        combo->TabOrder = 2 * r + 1;
        combo->Style = typed_combo(r + 1) ? ComboStyle::drop_down : ComboStyle::drop_down_list;
        combo->OnExit = [this](Component&) { macro_edit_exit(); };
    }
    param_label = add<StaticText>("param_label", param_group_box);
    param_label->SetBounds(5, 12, 195, 17);
    set_macro_defaults_button = add<BitBtn>("set_macro_defaults_button", param_group_box);
    set_macro_defaults_button->Caption = "Default &All";
    set_macro_defaults_button->SetBounds(254, 6, 89, 25);
    set_macro_defaults_button->TabOrder = 2 * parameter_rows;
    set_macro_defaults_button->OnClick = [this](Component&) { set_macro_defaults_buttonClick(); };

    auto work_list = [this](const char* name) {
        ListBox* box = add<ListBox>(name);
        box->Visible = false;
        return box;
    };
    current_method = work_list("current_method");
    amalgamated_method = work_list("amalgamated_method");
    last_opened_method = work_list("last_opened_method");
    macro_temp_box = work_list("macro_temp_box");
    test_box = work_list("test_box");

    status_bar = add<StatusBar>("status_bar");
    status_bar->SimplePanel = true;
    status_bar->SetBounds(0, designed_editor_height - 19, designed_editor_width, 19);
    PrintDialog1 = add<PrintDialog>("PrintDialog1");

    OnCreate = [this](Component&) { FormCreate(); };
    OnActivate = [this](Component&) { FormActivate(); };
    OnResize = [this](Component&) { FormCanResize(); };
    OnKeyDown = [](Component&, int&, ShiftState) {};
    on_message(zor_status_message, [this](FormMessage& m) { finish_config(m); });
    on_message(WM_HELP, [this](FormMessage& m) { show_help_file(m); });
}

Tmethod_editor::~Tmethod_editor() {
    if (editor_slot() == this) editor_slot() = nullptr;
    if (hint_owner() == this) {
        application().OnShowHint = nullptr;
        hint_owner() = nullptr;
    }
}

void Tmethod_editor::FormCreate() {
    putils::reg_read_string("Status Box", "True", status_box_setting_);
    first_init_pending_ = true;
    selected_step_ = -1;
    core::run_variables().sample_volume = 1.0;
    core::run_variables().sample_tray = "ABC";
    template_clean_ = false;
    application().HintHidePause = 9000;
}

void Tmethod_editor::FormActivate() {
    application().OnShowHint = [this](HintInfo& info) { DoShowHint(info); };
    hint_owner() = this;
    test_box->Items.clear();
    for (Control* control : param_group_box->children())
        if (control->parent() && control->TabStop)
            test_box->Items.add(control->Name + " --> " + std::to_string(control->TabOrder));
}

void Tmethod_editor::init_editor() {
    if (!first_init_pending_) return;
    first_init_pending_ = false;
    current_method->Items.clear();
    refill_template_list();
    refill_macro_list();
    build_parameter_panel();
    fill_object_box(*syringe_box, "SYRINGE");
    if (putils::session().method_folder.empty()) {
        new_method("");
        refill_macro_list();
        refill_template_list();
        macros_of_method->ItemIndex = -1;
    }
    // The editor starts with no template; the host's New or Open gives it its content.
    select_template("");
}

void Tmethod_editor::refill_macro_list() {
    putils::refill_combo_with_files(putils::method_folder_file("*.pma"), *macros_of_method);
    for (std::string_view name : reserved_macros) putils::combo_delete_item(name, *macros_of_method);
}

void Tmethod_editor::new_method(std::string_view template_name) {
    method_box->Items.clear();
    current_method->Items.clear();
    method_descrip_box->Lines.clear();
    selected_step_ = -1;
    select_template(template_name);
    current_template_ = std::string(template_name);
    // An empty new method is no loaded template: nothing to offer for saving.
    template_clean_ = false;
    // No step is selected, so no step's rows may stay on show.
    macros_of_method->ItemIndex = -1;
    param_label->Caption.clear();
    build_parameter_panel();
}

void Tmethod_editor::refresh_step_list() {
    const StringList& steps = current_method->Items;
    StringList& shown = method_box->Items;
    for (int i = 0; i < steps.count(); ++i) {
        const std::string line = step_number_text(i + 1) + core::command_name(steps[i]);
        if (i >= shown.count())
            shown.add(line);
        else if (!same_text(shown[i], line))
            shown.set(i, line);
    }
    while (shown.count() > steps.count()) shown.erase(shown.count() - 1);
}

void Tmethod_editor::split_step(std::string_view line, std::string& macro, std::vector<std::string>& values) {
    macro = core::command_name(line);
    values.clear();
    const auto open = line.find('(');
    if (open == std::string_view::npos) return;
    std::string_view args = line.substr(open + 1);
    const auto close = args.rfind(')');
    if (close != std::string_view::npos) args = args.substr(0, close);
    if (args.empty()) return;
    std::size_t start = 0;
    while (true) {
        const auto comma = args.find(',', start);
        values.emplace_back(args.substr(start, comma == std::string_view::npos ? args.npos : comma - start));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
}

void Tmethod_editor::show_step() {
    if (method_box->Items.empty()) return;
    const int index = method_box->ItemIndex;
    if (index < 0 || index >= current_method->Items.count()) return;
    selected_step_ = index;
    std::string macro;
    std::vector<std::string> values;
    split_step(current_method->Items[index], macro, values);
    param_label->Caption = step_number_text(index + 1) + macro;
    // A step whose macro is not in the library shows no rows: the rows of another macro
    // would be written into it at the next commit.
    const int item = macros_of_method->Items.index_of(macro);
    macros_of_method->ItemIndex = item;
    build_parameter_panel();
    for (int k = 0; k < static_cast<int>(values.size()) && k < parameter_rows; ++k) {
        Edit* edit = param_edit(k);
        if (edit->Visible) {
            edit->Text = value_display_text(values[k], k);
        } else {
            ComboBox* combo = param_combo(k);
            const int found = combo->Items.index_of(values[k]);
            if (found >= 0) combo->ItemIndex = found;
        }
    }
}

void Tmethod_editor::method_boxClick() {
    const int remembered = selected_step_;
    const int clicked = method_box->ItemIndex;
    // The highlight stays on the edited step while its rows are checked: a refusal shows
    // beside the step the person is kept on.
    if (remembered >= 0 && remembered < method_box->Items.count()) method_box->ItemIndex = remembered;
    if (commit_step()) {
        method_box->ItemIndex = clicked;
        show_step();
    } else if (remembered >= 0) {
        selected_step_ = remembered;
        method_box->ItemIndex = remembered;
    }
}

void Tmethod_editor::delete_macro_buttonClick() {
    const int index = method_box->ItemIndex;
    if (index < 0 || index >= current_method->Items.count()) return;
    current_method->Items.erase(index);
    refresh_step_list();
    const int remaining = current_method->Items.count();
    if (remaining > 0) {
        method_box->ItemIndex = std::min(index, remaining - 1);
        show_step();
    } else {
        selected_step_ = -1;
    }
}

void Tmethod_editor::macros_of_methodChange() {
    selected_step_ = -1;
    build_parameter_panel();
}

void Tmethod_editor::macro_edit_exit() {
    // Leaving the rows for the step list: the list's click checks the step and says what is
    // wrong, once; here the step is taken only when it is right.
    commit_step(ActiveControl != method_box);
}

void Tmethod_editor::syringe_boxChange() {
    check_method();
}

void Tmethod_editor::method_boxMouseMove(int x, int y) {
    application().HintHidePause = 100000;
    hint_line_ = y;
    const int index = method_box->ItemAtPos({x, y}, true);
    if (index < 0) {
        method_box->Hint.clear();
        return;
    }
    // The macro's name follows the step number and its blank ("100 Inject" as well as "01 Inject").
    const std::string& shown = method_box->Items[index];
    const auto blank = shown.find(' ');
    const std::string macro = blank == std::string::npos ? shown : shown.substr(blank + 1);
    if (!core::macro_file_exists(macro)) return;
    std::string hint;
    bool first = true;
    for (const std::string& line : core::load_macro_file(macro)) {
        if (!core::is_comment_line(line)) continue;
        if (!first) hint += line_break;
        hint += line.substr(2);
        first = false;
    }
    method_box->Hint = hint;
}

void Tmethod_editor::DoShowHint(HintInfo& info) {
    if (info.control == method_box) {
        info.cursor_rect = {0, hint_line_ - 8, method_box->Width, hint_line_ + 8};
    } else {
        info.hide_timeout = info.control == macros_of_method ? 100000 : 9000;
    }
}

Point Tmethod_editor::min_track_size() const {
    return {designed_editor_width, designed_editor_height};
}

void Tmethod_editor::FormCanResize() {
    GroupBox4->Height = status_bar->Top - param_group_box->Top - GroupBox4->Top;
    method_box->Height = GroupBox4->Height - 2 * method_box->Top;
    method_group_box->Height = status_bar->Top - param_group_box->Top;
    param_group_box->Height = status_bar->Top - 2 * param_group_box->Top - 2;
    method_group_box->Width = Width - GroupBox4->Width - 3 * GroupBox4->Left;
    param_group_box->Width = method_group_box->Width - 2 * param_group_box->Left;
}

void Tmethod_editor::report_status(std::string_view text) {
    status_bar->SimpleText = std::string(text);
    putils::append_log(text);
}

void Tmethod_editor::finish_config(FormMessage& message) {
    if (static_cast<std::int32_t>(message.wparam) != putils::session().instance_number) return;
    if (core::file_exists(core::config_file_path())) core::load_latest_configuration();
    refresh_object_choices();
}

std::string Tmethod_editor::selected_template() const {
    return putils::combo_text(*method_select_box);
}

}  // namespace zorsetup
