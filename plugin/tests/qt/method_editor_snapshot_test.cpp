// The method editor as a person sees it: the demo method loaded, its sample-load step selected
// with the parameter rows of its macro; at its designed size and enlarged.
#include <gtest/gtest.h>

#include "platform/forms_qt/testing/form_snapshots.h"
#include "plugin/tests/editor_fixture.h"

namespace zorsetup_test {
namespace {

class MethodEditorSnapshot : public EditorTest {
  protected:
    void SetUp() override {
        EditorTest::SetUp();
        platform::forms_qt::testing::qt_session();
    }
};

TEST_F(MethodEditorSnapshot, the_demo_method_with_a_step_selected) {
    write_demo_template();
    auto& editor = open_editor();
    choose_template("Demo");
    click_step(1);
    EXPECT_FORM_SNAPSHOT(editor, "method_editor");

    // A host gives it more room: the step list and the parameter panel take it, the status
    // bar keeps to the bottom.
    editor.resize_by_person(820, 520);
    EXPECT_FORM_SNAPSHOT(editor, "method_editor_enlarged");
}

}  // namespace
}  // namespace zorsetup_test
