#include <gtest/gtest.h>

#include "platform/forms/properties.h"
#include "platform/forms/tests/test_support.h"

namespace platform::forms {
namespace {

using Properties = testing::FormsTest;
using testing::Reaper;
using testing::TestDialog;

class ConfigForm : public Form {
  public:
    ConfigForm() : Form("Tconfig_form") {
        Caption = "Zor Configuration";
        port_box = add<ComboBox>("port_box");
        port_box->Style = ComboStyle::drop_down_list;
        for (const char* p : {"COM1", "COM3"}) port_box->Items.add(p);
        port_box->OnChange = [this](Component&) { ++port_changes; };
        log_check = add<CheckBox>("log_check");
        log_check->OnClick = [this](Component&) { ++log_clicks; };
        folder_edit = add<Edit>("folder_edit");
        folder_edit->OnChange = [this](Component&) { ++folder_changes; };
        done_button = add<Button>("done_button");
        done_button->Caption = "OK";
        done_button->modal_result = mr_ok;
    }
    ComboBox* port_box;
    CheckBox* log_check;
    Edit* folder_edit;
    Button* done_button;
    int port_changes = 0;
    int log_clicks = 0;
    int folder_changes = 0;
};

TEST_F(Properties, SettingByNameActsAsAPersonAndFiresTheSameEvents) {
    auto form = make_form<ConfigForm>();
    set_property(*form->folder_edit, "Text", "/data/zor");
    EXPECT_EQ(form->folder_edit->Text, "/data/zor");
    EXPECT_EQ(form->folder_changes, 1);

    set_property(*form->port_box, "Text", "com3");
    EXPECT_EQ(form->port_box->ItemIndex, 1);
    set_property(*form->port_box, "ItemIndex", "0");
    EXPECT_EQ(get_property(*form->port_box, "Text"), "COM1");
    EXPECT_EQ(form->port_changes, 2);
    EXPECT_THROW(set_property(*form->port_box, "Text", "COM9"), FormError);

    set_property(*form->log_check, "Checked", "True");
    set_property(*form->log_check, "Checked", "true");
    EXPECT_EQ(form->log_clicks, 1);
    EXPECT_EQ(get_property(*form->log_check, "Checked"), "True");

    set_property(*form, "Caption", "Zor Configuration ZOR 1");
    EXPECT_EQ(form->Caption, "Zor Configuration ZOR 1");
    set_property(*form->done_button, "Left", "42");
    EXPECT_EQ(form->done_button->Left, 42);
}

TEST_F(Properties, UnknownReadOnlyAndMalformedValuesThrow) {
    auto form = make_form<ConfigForm>();
    EXPECT_THROW(get_property(*form->port_box, "Checked"), FormError);
    EXPECT_THROW(set_property(*form->port_box, "Count", "3"), FormError);
    EXPECT_THROW(set_property(*form->done_button, "Left", "4x"), FormError);
    EXPECT_THROW(set_property(*form->log_check, "Checked", "yes"), FormError);
    EXPECT_EQ(get_property(*form->port_box, "Count"), "2");
    EXPECT_EQ(get_property(*form->port_box, "ClassName"), "TComboBox");
}

TEST_F(Properties, NamesListEveryPropertyOnceFromTheMostSpecificRegistration) {
    auto form = make_form<ConfigForm>();
    const auto names = property_names(*form->done_button);
    for (const char* expected : {"Name", "Tag", "Left", "Visible", "Caption", "ModalResult"}) {
        EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
    }
    EXPECT_EQ(std::count(names.begin(), names.end(), "Visible"), 1);

    // A form's Visible is Show and Hide.
    set_property(*form, "Visible", "True");
    EXPECT_TRUE(form->active());
}

class GridSheet : public Control {
  public:
    FORMS_CLASS_NAME("TGridSheet")
    int MaxRows = 0;
};

TEST_F(Properties, LaterSubsystemsRegisterTheirOwnProperties) {
    register_property<GridSheet>(
        "MaxRows", [](const GridSheet& s) { return std::to_string(s.MaxRows); },
        [](GridSheet& s, std::string_view v) { s.MaxRows = parse_int(v); });
    auto form = make_form<Form>("Ttray_form");
    auto* sheet = form->add<GridSheet>("default_sheet");
    set_property(*sheet, "MaxRows", "12");
    EXPECT_EQ(sheet->MaxRows, 12);
    EXPECT_EQ(get_property(*sheet, "Visible"), "True");
}

TEST_F(Properties, PathsAndActionsDriveADialogWithoutItsType) {
    ScriptedInteraction script;
    Reaper reaper;
    auto form = make_form<ConfigForm>();
    script.on_next_form([](Form&) {
        // What an inspector in another process does: names only.
        Component* port = resolve_component("TCONFIG_FORM.port_box");
        ASSERT_NE(port, nullptr);
        perform_action(*port, "select", "1");
        perform_action(*resolve_component("Tconfig_form.done_button"), "click");
    });
    EXPECT_EQ(form->ShowModal(), mr_ok);
    EXPECT_EQ(form->port_box->text(), "COM3");
    EXPECT_EQ(resolve_component("Tconfig_form"), form.get());
    EXPECT_EQ(resolve_component("Tnothing.port_box"), nullptr);
    EXPECT_EQ(resolve_component("Tconfig_form.nothing"), nullptr);
    EXPECT_THROW(perform_action(*form->port_box, "fly"), FormError);
}

}  // namespace
}  // namespace platform::forms

namespace platform::forms {
namespace {

using PropertyRefinement = testing::FormsTest;

class UpperEdit : public Edit {
  public:
    FORMS_CLASS_NAME("TUpperEdit")
};

TEST_F(PropertyRefinement, ASubclassRegistrationRefinesTheBuiltIn) {
    register_property<UpperEdit>(
        "Text", [](const UpperEdit& e) { return e.Text; },
        [](UpperEdit& e, std::string_view v) {
            std::string upper(v);
            for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
            e.type_text(upper);
        });
    auto form = make_form<Form>("Tupper");
    auto* upper = form->add<UpperEdit>("upper");
    auto* plain = form->add<Edit>("plain");
    set_property(*upper, "Text", "abc");
    set_property(*plain, "Text", "abc");
    EXPECT_EQ(upper->Text, "ABC");
    EXPECT_EQ(plain->Text, "abc");
}

}  // namespace
}  // namespace platform::forms
