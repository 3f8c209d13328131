// The editor's keyboard as a dialog's (CompPreTranslate): Tab, the arrows, Enter, Escape and
// the "&" letters of captions, on a form of the test's own and on the editor.
#include "plugin/dialog_keys.h"
#include "platform/forms/keys.h"
#include "plugin/tests/editor_fixture.h"

namespace zorsetup_test {
namespace {

using namespace platform::forms;
using zorsetup::HostMessage;

class DialogKeys : public EditorTest {
  protected:
    void SetUp() override {
        EditorTest::SetUp();
        form_ = make_form<Form>("TKeys");
        name_label_ = form_->add<Label>("name_label");
        name_label_->Caption = "&Name";
        name_ = form_->add<Edit>("name");
        go_ = form_->add<Button>("go");
        go_->Caption = "&Go";
        go_->Default = true;
        go_->OnClick = [this](Component&) { ++go_clicks_; };
        stop_ = form_->add<Button>("stop");
        stop_->Caption = "Stop";
        stop_->Cancel = true;
        stop_->OnClick = [this](Component&) { ++stop_clicks_; };
        keep_ = form_->add<CheckBox>("keep");
        keep_->Caption = "&Keep";
        form_->Show();
    }
    std::int32_t send(std::uint32_t message, std::uintptr_t key, bool shift = false) {
        HostMessage m;
        m.window = form_->handle();
        m.message = message;
        m.wparam = key;
        m.shift_down = shift;
        return zorsetup::dialog_message(*form_, m);
    }
    FormPtr<Form> form_;
    Label* name_label_ = nullptr;
    Edit* name_ = nullptr;
    Button* go_ = nullptr;
    Button* stop_ = nullptr;
    CheckBox* keep_ = nullptr;
    int go_clicks_ = 0;
    int stop_clicks_ = 0;
};

TEST_F(DialogKeys, TabAndTheArrowsMoveTheFocusExceptInAControlThatUsesThem) {
    name_->SetFocus();
    EXPECT_EQ(send(keys::key_down_message, keys::tab), 1);
    EXPECT_EQ(form_->ActiveControl, go_);
    EXPECT_EQ(send(keys::key_down_message, keys::tab, true), 1);
    EXPECT_EQ(form_->ActiveControl, name_);
    EXPECT_EQ(send(keys::key_down_message, keys::right), 1) << "the edit takes the arrow";
    EXPECT_EQ(form_->ActiveControl, name_);
    go_->SetFocus();
    EXPECT_EQ(send(keys::key_down_message, keys::down), 1);
    EXPECT_EQ(form_->ActiveControl, stop_);
    EXPECT_EQ(send(keys::key_down_message, keys::up), 1);
    EXPECT_EQ(form_->ActiveControl, go_);
}

TEST_F(DialogKeys, EnterClicksTheFocusedOrTheDefaultButtonAndEscapeTheCancelButton) {
    name_->SetFocus();
    EXPECT_EQ(send(keys::key_down_message, keys::enter), 1);
    EXPECT_EQ(go_clicks_, 1);
    stop_->SetFocus();
    EXPECT_EQ(send(keys::key_down_message, keys::enter), 1);
    EXPECT_EQ(stop_clicks_, 1);
    EXPECT_EQ(send(keys::key_down_message, keys::escape), 1);
    EXPECT_EQ(stop_clicks_, 2);
    stop_->Cancel = false;
    EXPECT_EQ(send(keys::key_down_message, keys::escape), 0) << "no cancel button: the host's";
}

TEST_F(DialogKeys, MarkedLettersClickTheirButtonOrFocusTheControlOfTheirLabel) {
    EXPECT_EQ(send(keys::sys_char_message, 'g'), 1);
    EXPECT_EQ(go_clicks_, 1);
    EXPECT_EQ(send(keys::sys_char_message, 'K'), 1);
    EXPECT_TRUE(keep_->Checked);
    EXPECT_EQ(send(keys::sys_char_message, 'n'), 1);
    EXPECT_EQ(form_->ActiveControl, name_);
    EXPECT_EQ(send(keys::char_message, 'g'), 0) << "typing in the edit";
    EXPECT_EQ(go_clicks_, 1);
    EXPECT_EQ(send(keys::sys_char_message, 'x'), 0);
}

TEST_F(DialogKeys, MessagesOfOtherWindowsAreTheHosts) {
    HostMessage m;
    m.window = 0;
    m.message = keys::key_down_message;
    m.wparam = keys::tab;
    EXPECT_EQ(zorsetup::dialog_message(*form_, m), 0);
}

TEST_F(DialogKeys, AltWithALetterInTheEditorClicksDefaultAll) {
    write_demo_template();
    zorsetup::Tmethod_editor& editor = open_editor();
    choose_template("Demo");
    click_step(2);
    editor.param_edit(0)->Text = "5:00";
    HostMessage m;
    m.window = editor.handle();
    m.message = keys::sys_char_message;
    m.wparam = 'a';
    EXPECT_EQ(zorsetup::dialog_message(editor, m), 1);
    EXPECT_EQ(editor.param_edit(0)->Text, "1:30");
}

}  // namespace
}  // namespace zorsetup_test
