#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/forms/tests/test_support.h"

namespace platform::forms {
namespace {

using Components = testing::FormsTest;

class EditorForm : public Form {
  public:
    EditorForm() : Form("Ttest_editor") {
        auto* group = add<GroupBox>("GroupBox2");
        group->Caption = "Method Syringe";
        syringe_box = add<ComboBox>("syringe_box", group);
        rows = add<ScrollBox>("param_group_box");
        for (int i = 1; i <= 3; ++i) add<Edit>("Edit" + std::to_string(i), rows);
        hidden_panel = add<Panel>("hidden_panel");
        hidden_panel->Visible = false;
        inner_button = add<Button>("inner_button", hidden_panel);
    }
    ComboBox* syringe_box;
    ScrollBox* rows;
    Panel* hidden_panel;
    Button* inner_button;
};

TEST_F(Components, FindByNameAndTypeFailsLoudlyOnAWrongNameOrType) {
    auto form = make_form<EditorForm>();
    EXPECT_EQ(&form->find<ComboBox>("syringe_box"), form->syringe_box);
    EXPECT_EQ(&form->find<Control>("syringe_box"), form->syringe_box);  // a base type is fine

    try {
        form->find<ComboBox>("syringe_bx");
        FAIL() << "a misspelt name was found";
    } catch (const FormError& e) {
        EXPECT_NE(std::string(e.what()).find("syringe_bx"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("Ttest_editor"), std::string::npos) << e.what();
    }
    try {
        form->find<ListBox>("syringe_box");
        FAIL() << "a combo box was taken for a list box";
    } catch (const FormError& e) {
        EXPECT_NE(std::string(e.what()).find("TComboBox"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("TListBox"), std::string::npos) << e.what();
    }
    EXPECT_THROW(form->find<ComboBox>("Syringe_Box"), FormError);  // letter case counts
    EXPECT_EQ(form->find_or_null<ComboBox>("nothing"), nullptr);
    EXPECT_THROW(form->find_or_null<Edit>("syringe_box"), FormError);
}

TEST_F(Components, TheFormOwnsEverythingWhileParentsShowIt) {
    auto form = make_form<EditorForm>();
    auto& group = form->find<GroupBox>("GroupBox2");
    EXPECT_EQ(form->syringe_box->owner(), form.get());
    EXPECT_EQ(form->syringe_box->parent(), &group);
    EXPECT_EQ(form->syringe_box->form(), form.get());
    EXPECT_EQ(group.parent(), form.get());
    ASSERT_EQ(group.children().size(), 1u);

    // Direct children by exact name, as the editor finds its parameter rows.
    EXPECT_NE(form->rows->find_child<Edit>("Edit2"), nullptr);
    EXPECT_EQ(form->rows->find_child<Edit>("edit2"), nullptr);
    EXPECT_EQ(form->rows->find_child<Edit>("syringe_box"), nullptr);  // not a child of the box
    EXPECT_THROW(form->rows->find_child<ComboBox>("Edit1"), FormError);

    // Moving a control to another parent.
    auto* edit = form->rows->find_child<Edit>("Edit3");
    edit->set_parent(&group);
    EXPECT_EQ(form->rows->children().size(), 2u);
    EXPECT_EQ(group.children().back(), edit);
    EXPECT_THROW(group.set_parent(form->syringe_box), FormError);  // no cycles
}

TEST_F(Components, NamesAreUniquePerOwnerAndUnnamedComponentsAreAllowed) {
    auto form = make_form<Form>("Ttest_names");
    form->add<Edit>("edit");
    EXPECT_THROW(form->add<Label>("edit"), FormError);
    form->add<Label>("");
    form->add<Label>("");
    EXPECT_EQ(form->component_count(), 3);
    auto* label = form->add<Label>("gone");
    form->remove(label);
    EXPECT_EQ(form->find_component("gone"), nullptr);
}

TEST_F(Components, ClickingAControlAPersonCannotReachThrows) {
    auto form = make_form<EditorForm>();
    int clicks = 0;
    form->inner_button->OnClick = [&](Component&) { ++clicks; };
    EXPECT_THROW(form->inner_button->click(), FormError);  // its panel is hidden
    form->hidden_panel->Visible = true;
    form->inner_button->Enabled = false;
    EXPECT_THROW(form->inner_button->click(), FormError);
    form->inner_button->Enabled = true;
    form->inner_button->click();
    EXPECT_EQ(clicks, 1);
}

TEST_F(Components, FocusChangeFiresExitOfThePreviousControlThenEnter) {
    auto form = make_form<EditorForm>();
    std::vector<std::string> events;
    auto* edit1 = form->rows->find_child<Edit>("Edit1");
    auto* edit2 = form->rows->find_child<Edit>("Edit2");
    edit1->OnEnter = [&](Component& c) { events.push_back("enter " + c.Name); };
    edit1->OnExit = [&](Component& c) { events.push_back("exit " + c.Name); };
    edit2->OnEnter = [&](Component& c) { events.push_back("enter " + c.Name); };

    edit1->SetFocus();
    form->set_focus(edit2);
    form->set_focus(edit2);  // no change, no events
    EXPECT_EQ(events, (std::vector<std::string>{"enter Edit1", "exit Edit1", "enter Edit2"}));
    EXPECT_TRUE(edit2->Focused());
    EXPECT_EQ(form->ActiveControl, edit2);

    EXPECT_THROW(form->inner_button->SetFocus(), FormError);  // hidden panel
    EXPECT_EQ(form->ActiveControl, edit2);
}

TEST_F(Components, AnExitHandlerMayTakeTheFocusBack) {
    auto form = make_form<EditorForm>();
    auto* edit1 = form->rows->find_child<Edit>("Edit1");
    auto* edit2 = form->rows->find_child<Edit>("Edit2");
    int entered2 = 0;
    edit2->OnEnter = [&](Component&) { ++entered2; };
    edit1->OnExit = [&](Component&) {
        if (edit1->Text.empty()) form->set_focus(edit1);  // refuse to leave an empty field
    };
    edit1->SetFocus();
    edit2->SetFocus();
    EXPECT_EQ(form->ActiveControl, edit1);
    EXPECT_EQ(entered2, 0);
}

TEST_F(Components, FormsAreListedWhileTheyExist) {
    {
        auto a = make_form<Form>("Ta");
        auto b = make_form<Form>("Tb");
        EXPECT_EQ(screen().forms(), (std::vector<Form*>{a.get(), b.get()}));
    }
    EXPECT_TRUE(screen().forms().empty());

    Form& main = application().create_form<Form>("Tmain");
    Form& second = application().create_form<Form>("Tsecond");
    EXPECT_EQ(application().MainForm, &main);
    EXPECT_EQ(application().forms(), (std::vector<Form*>{&main, &second}));
}

TEST_F(Components, CreateAndDestroyEventsRunOnceWithTheWholeFormAlive) {
    std::vector<std::string> events;
    class Tracked : public Form {
      public:
        explicit Tracked(std::vector<std::string>& events) : Form("Ttracked"), label(add<Label>("label")) {
            label->Caption = "alive";
            OnCreate = [this, &events](Component&) { events.push_back("create " + label->Caption); };
            OnDestroy = [this, &events](Component&) { events.push_back("destroy " + label->Caption); };
        }
        Label* label;
    };
    auto form = make_form<Tracked>(events);
    form->Show();  // OnCreate does not run again
    form.reset();
    EXPECT_EQ(events, (std::vector<std::string>{"create alive", "destroy alive"}));
}

}  // namespace
}  // namespace platform::forms
