// The plug-in's other forms as a person sees them: the tray dialog with vials chosen, the
// configuration dialog, and what the utility form carries (the in-place menu as the host shows
// it, and the instrument's button image).
#include <gtest/gtest.h>

#include <memory>

#include "platform/forms_qt/snapshot.h"
#include "platform/forms_qt/testing/form_snapshots.h"
#include "plugin/config_form.h"
#include "plugin/sample_types.h"
#include "plugin/tests/editor_fixture.h"
#include "plugin/tests/pty_ports.h"
#include "plugin/tray_form.h"
#include "plugin/util_form.h"
#include "utilities/session.h"
#include "utilities/settings.h"

namespace zorsetup_test {
namespace {

namespace forms = platform::forms;

class ZorsetupSnapshots : public EditorTest {
  protected:
    void SetUp() override {
        EditorTest::SetUp();
        platform::forms_qt::testing::qt_session();
    }
};

TEST_F(ZorsetupSnapshots, the_tray_dialog_with_vials_of_two_types) {
    zorsetup::tray_dialog_state() = {};
    putils::set_sample_types(zorsetup::sample_type_list);
    putils::session().tray_form_first_create = true;
    putils::session().requested_tray = "Tray1";
    auto form = forms::make_form<zorsetup::Ttray_form>();
    form->Show();
    // The first opening: at the screen's centre, the sample types and the radio group shown.
    const forms::Screen& screen = forms::screen();
    EXPECT_EQ(form->Left, (screen.Width - form->Width) / 2);
    EXPECT_EQ(form->Top, (screen.Height - form->Height) / 2);
    ASSERT_EQ(form->vial_type_box->Items.count(), 9);
    EXPECT_TRUE(form->show_box->reachable());
    EXPECT_TRUE(form->vial_type_box->reachable());
    form->show_types_button->click();
    form->from_box->Text = "1";
    form->to_box->Text = "24";
    form->increment_box->Text = "1";
    form->add_vials_button->click();  // vials 1 to 24 as samples
    form->vial_type_box->select(1);
    const auto [x, y] = form->vial_centre(3, 4);
    form->tray_picture->mouse_down(forms::MouseButton::left, x, y);
    form->tray_picture->mouse_up(forms::MouseButton::left, x, y);  // one standard
    ASSERT_EQ(form->selected_count(), 25);
    EXPECT_FORM_SNAPSHOT(*form, "tray_dialog");
    form->Hide();
}

// A person dragging a band across the tray: the band shows until the button comes up.
TEST_F(ZorsetupSnapshots, the_tray_dialog_while_a_band_is_dragged) {
    zorsetup::tray_dialog_state() = {};
    putils::session().tray_form_first_create = true;
    putils::session().requested_tray = "Tray1";
    auto form = forms::make_form<zorsetup::Ttray_form>();
    form->Show();
    const auto [x0, y0] = form->vial_centre(1, 2);
    const auto [x1, y1] = form->vial_centre(4, 6);
    form->tray_picture->mouse_down(forms::MouseButton::left, x0 - 4, y0 - 4);
    form->tray_picture->mouse_move(x1 + 4, y1 + 4);
    EXPECT_FORM_SNAPSHOT(*form, "tray_dialog_band");
    form->Hide();
}

// As the host asks for Tray2 when it stands on the bar-code holder (zorsim's configuration).
TEST_F(ZorsetupSnapshots, the_tray_dialog_on_a_tray_of_the_barcode_holder) {
    Lines config;
    ASSERT_TRUE(core::load_lines(path("latest_zor.pol"), config));
    for (auto& line : config)
        if (line.rfind("TRAY;Tray2;", 0) == 0) line = "TRAY;Tray2;VT96BC;TH-9070;80000;0;0;Off;A";
    ASSERT_TRUE(core::read_configuration(config));
    zorsetup::tray_dialog_state() = {};
    putils::set_sample_types(zorsetup::sample_type_list);
    putils::session().tray_form_first_create = true;
    putils::session().requested_tray = "Tray2";
    auto form = forms::make_form<zorsetup::Ttray_form>();
    form->Show();
    ASSERT_EQ(form->tray_holder_box->text(), "TH-9070");
    ASSERT_EQ(form->trays_from_holder_box->text(), "Tray2");
    EXPECT_FORM_SNAPSHOT(*form, "tray_dialog_barcode_holder");
    form->Hide();
}

// The ports COM1 and COM3 exist (pseudo-terminals), no other; the folder list is fixed.
class ConfigDialogSnapshot : public ZorsetupSnapshots {
  protected:
    void SetUp() override {
        ZorsetupSnapshots::SetUp();
        ports_ = std::make_unique<PtyPorts>(std::initializer_list<int>{1, 3}, true);
        putils::write_port_setting(3);
        putils::write_folder_list({"/home/lab/zor/methods", "/srv/zor/methods"});
        putils::session().method_folder = "/home/lab/zor/methods";
    }
    void TearDown() override {
        ports_.reset();
        ZorsetupSnapshots::TearDown();
    }
    std::unique_ptr<PtyPorts> ports_;
};

FORM_SNAPSHOT(ConfigDialogSnapshot, zorsetup::Tconfig_form, config_dialog)

TEST_F(ZorsetupSnapshots, the_utility_forms_menu_and_button_image) {
    auto form = forms::make_form<zorsetup::Tutil_form>();
    form->set_command_ids();
    auto& backend = platform::forms_qt::testing::qt_session().backend();
    EXPECT_IMAGE_SNAPSHOT(platform::forms_qt::render_menu(backend, *form->PopupMenu1), "util_form_menu");
    ASSERT_EQ(form->ImageList1->count(), 1);
    EXPECT_IMAGE_SNAPSHOT(platform::forms_qt::to_qimage(form->ImageList1->image(0)), "util_form_button");
}

}  // namespace
}  // namespace zorsetup_test
