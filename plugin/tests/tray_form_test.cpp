// The tray dialog on the example configuration: Tray1 is a VT96 (8 columns of 12, numbered down
// each column), Tray3 a VT54R (6 x 9, "Row Length X" 80 so turned, "Col Length Y" -50 so
// mirrored).
#include "plugin/tray_form.h"
#include "plugin/tests/editor_fixture.h"
#include "plugin/vial_arithmetic.h"
#include "utilities/form_helpers.h"
#include "utilities/text.h"

namespace zorsetup_test {
namespace {

using zorsetup::TrayGrid;

class TrayForm : public EditorTest {
  protected:
    void SetUp() override {
        EditorTest::SetUp();
        zorsetup::tray_dialog_state() = {};
        putils::session().requested_tray = "Tray1";
        putils::set_sample_types("Tray1;Sample;SA;Standard;ST");
    }
    platform::forms::FormPtr<zorsetup::Ttray_form> open() {
        auto form = platform::forms::make_form<zorsetup::Ttray_form>();
        form->Show();
        return form;
    }
    std::vector<int> result_numbers() const {
        std::vector<int> n;
        for (const auto& v : zorsetup::tray_dialog_state().result) n.push_back(v.number);
        return n;
    }
};

TEST_F(TrayForm, NumbersVialsInTheTraysOwnOrder) {
    const TrayGrid plain = TrayGrid::of("Tray1");
    EXPECT_EQ(plain.columns, 8);
    EXPECT_EQ(plain.rows, 12);
    EXPECT_EQ(plain.vial_number(0, 0), 1);
    EXPECT_EQ(plain.vial_number(0, 11), 12);
    EXPECT_EQ(plain.vial_number(1, 0), 13);
    const TrayGrid turned = TrayGrid::of("Tray3");
    EXPECT_TRUE(turned.turned);
    EXPECT_TRUE(turned.mirrored);
    EXPECT_EQ(turned.columns, 9);
    EXPECT_EQ(turned.rows, 6);
    EXPECT_EQ(turned.vial_number(0, 5), 1);
    EXPECT_EQ(turned.vial_number(1, 5), 2);
    EXPECT_EQ(turned.vial_number(0, 4), 10);
    EXPECT_EQ(TrayGrid::of("Inj1").columns, 0);
}

TEST_F(TrayForm, ARangeSelectsEveryIncrementAndTheResultIsAscending) {
    auto form = open();
    ASSERT_EQ(zorsetup::tray_dialog_state().current_tray, "Tray1");
    form->from_box->Text = "1";
    form->to_box->Text = "10";
    form->increment_box->Text = "3";
    form->add_vials_button->click();
    EXPECT_EQ(form->selected_count(), 4);
    form->store_selection();
    EXPECT_EQ(result_numbers(), (std::vector<int>{1, 4, 7, 10}));
    EXPECT_EQ(form->selected_count(), 0);
    form->increment_box->Text = "x";
    form->add_vials_button->click();
    EXPECT_EQ(messages(), Lines{"Increment is invalid :x"});
}

TEST_F(TrayForm, AClickTogglesOneVialAndABandSelectsWithoutDeselecting) {
    auto form = open();
    ASSERT_GT(form->radius(), 2);
    const auto [x, y] = form->vial_centre(1, 0);  // vial 13
    form->tray_picture->mouse_down(platform::forms::MouseButton::left, x, y);
    form->tray_picture->mouse_up(platform::forms::MouseButton::left, x, y);
    EXPECT_EQ(form->vial_state(1, 0), 0);
    const auto [x0, y0] = form->vial_centre(0, 0);
    const auto [x1, y1] = form->vial_centre(1, 1);
    form->tray_picture->mouse_down(platform::forms::MouseButton::left, x0, y0);
    form->tray_picture->mouse_up(platform::forms::MouseButton::left, x1, y1);
    EXPECT_EQ(form->selected_count(), 4);
    EXPECT_EQ(form->vial_state(1, 0), 0);
    form->tray_picture->mouse_down(platform::forms::MouseButton::left, x, y);
    form->tray_picture->mouse_up(platform::forms::MouseButton::left, x, y);
    EXPECT_EQ(form->vial_state(1, 0), -1);
}

TEST_F(TrayForm, AddVialsWithoutASelectionEndsCancelled) {
    auto form = open();
    zorsetup::tray_dialog_state().cancelled = false;
    form->add_button->click();
    EXPECT_TRUE(zorsetup::tray_dialog_state().cancelled);
    EXPECT_EQ(messages(), Lines{"No vials are selected!"});
}

TEST_F(TrayForm, TheHostsVialsAreShownOnceAndSelectAllCoversTheTray) {
    zorsetup::tray_dialog_state().input = {{13, 1}, {2, 0}};
    auto form = open();
    EXPECT_EQ(form->vial_state(1, 0), 1);
    EXPECT_EQ(form->vial_state(0, 1), 0);
    EXPECT_TRUE(zorsetup::tray_dialog_state().input.empty());
    form->select_all_button->click();
    EXPECT_EQ(form->selected_count(), 96);
    form->deselect_button->click();
    EXPECT_EQ(form->selected_count(), 0);
}

TEST_F(TrayForm, TheTrayTypeMenuOffersTheTypesOfTheTraysGroup) {
    auto form = open();
    form->open_tray_type_popup("Tray2");  // group "A"
    std::vector<std::string> offered;
    for (auto* item : form->tray_type_popup->visible_items()) offered.push_back(item->Caption);
    EXPECT_EQ(offered, (Lines{"VT96", "VT96BC", "MT96"}));
}

}  // namespace
}  // namespace zorsetup_test

namespace zorsetup_test {
namespace {

// Sets a number attribute of an object of the loaded model.
void set_attribute(const std::string& object, const std::string& attribute, double value) {
    const core::Tobject_rec* rec = core::object_record_by_name(object);
    ASSERT_NE(rec, nullptr);
    const core::Tclass_rec& cls = core::config_model().classes[static_cast<std::size_t>(rec->class_index)];
    for (int k = 0; k < cls.attribute_count; ++k)
        if (putils::same_text(cls.attributes[static_cast<std::size_t>(k)].name, attribute)) {
            core::set_number_value(*rec, k, value);
            return;
        }
    FAIL() << attribute;
}

TEST_F(TrayForm, ATrayTypeWithoutRowsHasNoGridAndNothingIsDividedByZero) {
    set_attribute("VT96", "Spl Per Row", 0);
    auto form = open();
    EXPECT_EQ(form->grid().rows, 0);
    EXPECT_EQ(form->radius(), 0);
    form->select_all_button->click();
    EXPECT_EQ(form->selected_count(), 0);
    EXPECT_EQ(form->vial_at(10, 10), (std::pair<int, int>{-1, -1}));
}

}  // namespace
}  // namespace zorsetup_test

namespace zorsetup_test {
namespace {

TEST_F(TrayForm, TheHolderPictureShowsItsTraysAndAClickChoosesOne) {
    auto form = open();  // Tray1 on TH-1, beside Tray2
    std::vector<std::string> labels;
    for (const auto& call : form->tray_holder_picture->Canvas.calls())
        if (!call.text.empty()) labels.push_back(call.text);
    EXPECT_NE(std::find(labels.begin(), labels.end(), "Tray1:VT96"), labels.end());
    EXPECT_NE(std::find(labels.begin(), labels.end(), "Tray2:VT96BC"), labels.end());
    int hit_x = -1, hit_y = -1;
    for (int y = 0; y < form->tray_holder_picture->Height && hit_x < 0; ++y)
        for (int x = 0; x < form->tray_holder_picture->Width; ++x)
            if (form->tray_at_holder_point(x, y) == "Tray2") {
                hit_x = x;
                hit_y = y;
                break;
            }
    ASSERT_GE(hit_x, 0);
    EXPECT_EQ(form->tray_at_holder_point(0, 0), "");
    form->tray_holder_picture->mouse_up(platform::forms::MouseButton::left, hit_x, hit_y);
    EXPECT_EQ(zorsetup::tray_dialog_state().current_tray, "Tray2");
    EXPECT_EQ(form->trays_from_holder_box->text(), "Tray2");
    form->tray_holder_picture->mouse_up(platform::forms::MouseButton::right, hit_x, hit_y);
    EXPECT_EQ(form->tray_type_popup->visible_items().size(), 3u);
}

}  // namespace
}  // namespace zorsetup_test

namespace zorsetup_test {
namespace {

using platform::forms::CanvasOp;
using platform::forms::MouseButton;
using platform::forms::PenMode;

// The rectangles drawn with the inverting pen, as (left, top, right, bottom).
std::vector<std::vector<int>> inverted_rectangles(const platform::forms::Canvas& canvas) {
    std::vector<std::vector<int>> out;
    for (const auto& call : canvas.calls_of(CanvasOp::rectangle))
        if (call.pen.Mode == PenMode::invert)
            out.push_back({call.points[0].x, call.points[0].y, call.points[1].x, call.points[1].y});
    return out;
}

TEST_F(TrayForm, TheBandIsDrawnInvertedAndEachOneIsErasedByDrawingItAgain) {
    auto form = open();
    auto& canvas = form->tray_picture->Canvas;
    const auto [x0, y0] = form->vial_centre(2, 3);
    const auto [x1, y1] = form->vial_centre(3, 4);
    canvas.clear_record();
    form->tray_picture->mouse_down(MouseButton::left, x1, y1);
    form->tray_picture->mouse_move(x0, y0);
    form->tray_picture->mouse_move(x1, -40);  // limited to the picture
    form->tray_picture->mouse_move(x0, y0);
    form->tray_picture->mouse_up(MouseButton::left, x0, y0);
    using R = std::vector<int>;
    EXPECT_EQ(inverted_rectangles(canvas), (std::vector<R>{{x0, y0, x1, y1},
                                                           {x0, y0, x1, y1},
                                                           {x1, 0, x1, y1},
                                                           {x1, 0, x1, y1},
                                                           {x0, y0, x1, y1},
                                                           {x0, y0, x1, y1}}));
    for (const auto& call : canvas.calls_of(CanvasOp::rectangle)) {
        if (call.pen.Mode == PenMode::invert) {
            EXPECT_EQ(call.brush.Style, platform::forms::BrushStyle::clear);
        }
    }
    EXPECT_EQ(form->selected_count(), 4);
    // A plain click draws no band.
    canvas.clear_record();
    form->tray_picture->mouse_down(MouseButton::left, x0, y0);
    form->tray_picture->mouse_up(MouseButton::left, x0, y0);
    EXPECT_TRUE(inverted_rectangles(canvas).empty());
    // Moving without a button pressed draws nothing either.
    form->tray_picture->mouse_move(x1, y1);
    EXPECT_TRUE(inverted_rectangles(canvas).empty());
}

TEST_F(TrayForm, TheVialHintCoversTheVialAndStaysThreeSeconds) {
    auto& app = platform::forms::application();
    int editor_hints = 0;
    app.OnShowHint = [&](platform::forms::HintInfo&) { ++editor_hints; };
    {
        auto form = open();
        const auto [x, y] = form->vial_centre(1, 0);  // vial 13
        form->tray_picture->mouse_move(x + 1, y + 1);
        const platform::forms::HintInfo info = app.show_hint(*form->tray_picture, {x + 1, y + 1});
        EXPECT_TRUE(info.can_show);
        EXPECT_EQ(info.hint, "13");
        const int r = form->radius();
        EXPECT_EQ(info.cursor_rect, (platform::forms::Rect{x + 1 - r, y + 1 - r, x + 1 + r, y + 1 + r}));
        EXPECT_EQ(info.hide_timeout, 3000);
        EXPECT_EQ(app.HintHidePause, 3000);
        // Other controls keep their own rectangle.
        form->from_box->Hint = "from";
        form->from_box->ShowHint = true;
        EXPECT_EQ(app.show_hint(*form->from_box, {1, 1}).cursor_rect, form->from_box->ClientRect());
        EXPECT_EQ(editor_hints, 0);
    }
    // Gone with the dialog: the handler before it is back.
    platform::forms::HintInfo info;
    ASSERT_TRUE(app.OnShowHint);
    app.OnShowHint(info);
    EXPECT_EQ(editor_hints, 1);
}

}  // namespace
}  // namespace zorsetup_test

namespace zorsetup_test {
namespace {

using platform::forms::MouseButton;

TEST_F(TrayForm, TheFirstOpeningCentresTheDialogAndLaterOnesComeThere) {
    putils::session().tray_form_first_create = true;
    const platform::forms::Screen& screen = platform::forms::screen();
    {
        auto form = open();
        EXPECT_FALSE(putils::session().tray_form_first_create);
        EXPECT_EQ(form->Left, (screen.Width - form->Width) / 2);
        EXPECT_EQ(form->Top, (screen.Height - form->Height) / 2);
    }
    auto again = open();
    EXPECT_EQ(again->Left, (screen.Width - again->Width) / 2);
    EXPECT_EQ(again->Top, (screen.Height - again->Height) / 2);
}

TEST_F(TrayForm, ThePictureIsSizedToTheTrayAndCentredWithItsLabelAbove) {
    putils::session().tray_form_first_create = true;
    auto form = open();
    const auto area = zorsetup::tray_dialog_state().area;
    ASSERT_GT(area.right - area.left, 0);
    const auto* picture = form->tray_picture;
    // Tray1 (VT96) is taller than the area's shape: full height, centred across.
    EXPECT_EQ(picture->Height, area.bottom - area.top);
    EXPECT_LT(picture->Width, area.right - area.left);
    EXPECT_NEAR(picture->Left + picture->Width / 2.0, (area.left + area.right) / 2.0, 1.0);
    EXPECT_EQ(form->tray_label->Top + form->tray_label->Height, picture->Top);
    // Tray3 (VT54R, turned) is wider: full width, down the area's left.
    form->tray_holder_box->select(form->tray_holder_box->Items.index_of("TH-2"));
    ASSERT_EQ(zorsetup::tray_dialog_state().current_tray, "Tray3");
    EXPECT_EQ(picture->Width, area.right - area.left);
    EXPECT_EQ(picture->Left, area.left);
    EXPECT_EQ(form->tray_label->Top + form->tray_label->Height, picture->Top);
}

TEST_F(TrayForm, EscapeCancelsThroughTheCancelButton) {
    auto form = open();
    zorsetup::tray_dialog_state().cancelled = false;
    form->press_escape();
    EXPECT_TRUE(zorsetup::tray_dialog_state().cancelled);
}

TEST_F(TrayForm, TheTrayTypeMenuOpensAtTheMousePointAndTheChangeIsLoggedOnce) {
    putils::session().log_enabled = true;
    auto form = open();
    // Tray2 lies right of Tray1 on TH-1: find a point of the holder picture over it.
    int x = -1, y = -1;
    for (int py = 0; py < form->tray_holder_picture->Height && x < 0; ++py)
        for (int px = 0; px < form->tray_holder_picture->Width && x < 0; ++px)
            if (form->tray_at_holder_point(px, py) == "Tray2") x = px, y = py;
    ASSERT_GE(x, 0);
    form->tray_holder_picture->mouse_down(MouseButton::right, x, y);
    form->tray_holder_picture->mouse_up(MouseButton::right, x, y);
    EXPECT_EQ(form->tray_type_popup->PopupComponent, form->tray_holder_picture);
    EXPECT_EQ(form->tray_type_popup->popup_point.x, x);
    EXPECT_EQ(form->tray_type_popup->popup_point.y, y);
    // Without a Zorrun to reach the change stays in the model; the log has it once.
    boxes_->set_default_box_answer(platform::forms::mr_ok);
    form->tray_type_popup->item(2)->click();
    int logged = 0;
    for (const auto& line : read_file("tsk_weav.log"))
        if (line.find("Tray type of Tray2 set to MT96") != std::string::npos) ++logged;
    EXPECT_EQ(logged, 1);
}

TEST_F(TrayForm, ATrayOnTheBarcodeHolderCanBeShownAndChosenAgain) {
    Lines config;
    ASSERT_TRUE(core::load_lines(path("latest_zor.pol"), config));
    for (auto& line : config)
        if (line.rfind("TRAY;Tray2;", 0) == 0) line = "TRAY;Tray2;VT96BC;TH-9070;80000;0;0;Off;A";
    ASSERT_TRUE(core::read_configuration(config));
    putils::session().requested_tray = "Tray2";
    auto form = open();
    EXPECT_EQ(putils::combo_text(*form->tray_holder_box), "TH-9070");
    EXPECT_GE(form->tray_holder_box->Items.index_of("TH-9070"), 0);
    EXPECT_EQ(form->trays_from_holder_box->Items.strings(), Lines{"Tray2"});
    EXPECT_EQ(putils::combo_text(*form->trays_from_holder_box), "Tray2");
    EXPECT_EQ(zorsetup::tray_dialog_state().current_tray, "Tray2");
}

TEST_F(TrayForm, WithoutARequestedTrayTheHolderAndTheTrayShownAgree) {
    putils::session().requested_tray = "Tray3";
    { auto form = open(); }
    putils::session().requested_tray = "";
    auto form = open();
    const std::string holder = putils::combo_text(*form->tray_holder_box);
    const std::string tray = zorsetup::tray_dialog_state().current_tray;
    ASSERT_FALSE(tray.empty());
    EXPECT_EQ(core::get_text_attribute(tray, "Tray Holder"), holder);
    EXPECT_EQ(putils::combo_text(*form->trays_from_holder_box), tray);
}

TEST_F(TrayForm, EveryVialChosenOnALargeTrayReachesTheResult) {
    set_attribute("VT96", "Spl Per Col", 300);
    set_attribute("VT96", "Spl Per Row", 300);
    auto& st = zorsetup::tray_dialog_state();
    for (int n = 1; n <= 2000; ++n) st.input.push_back({n, 0});
    auto form = open();
    EXPECT_EQ(form->selected_count(), 2000);
    form->add_button->click();
    EXPECT_FALSE(st.cancelled);
    EXPECT_EQ(st.result.size(), 2000u);
    EXPECT_EQ(st.result.back().number, 2000);

    auto again = open();
    again->select_all_button->click();
    again->store_selection();
    EXPECT_EQ(st.result.size(), 90000u);
    EXPECT_EQ(st.result.back().number, 90000);

    again->deselect_button->click();
    again->from_box->Text = "89999";
    again->to_box->Text = "99999999999";
    again->add_vials_button->click();
    EXPECT_EQ(again->selected_count(), 2);
    again->to_box->Text = "99999999999999999999";
    again->add_vials_button->click();
    EXPECT_EQ(messages(), Lines{"To vial is invalid: 99999999999999999999"});
}

TEST_F(TrayForm, ATrayTooLargeToShowSaysSoAndGivesNoPartOfItself) {
    set_attribute("VT96", "Spl Per Col", 100000);
    set_attribute("VT96", "Spl Per Row", 100000);
    EXPECT_EQ(zorsetup::num_vials("Tray1"), 10000000000LL);
    auto form = open();
    EXPECT_TRUE(form->too_many_vials());
    EXPECT_NE(form->tray_label->Caption.find("10000000000 vials"), std::string::npos)
        << form->tray_label->Caption;
    form->select_all_button->click();
    EXPECT_EQ(form->selected_count(), 0);
    form->add_button->click();
    EXPECT_TRUE(zorsetup::tray_dialog_state().cancelled);
}

// Insert mode, which the session never switches on: the dialog stays open, "Insert vials" stores
// the selection each time, and the spreadsheet's stand-in takes the handlers' settings.
TEST_F(TrayForm, InInsertModeInsertVialsStoresTheSelectionAndTheDialogStaysOpen) {
    putils::session().tray_insert_mode = true;
    auto form = open();
    EXPECT_TRUE(form->insert_button->Visible);
    EXPECT_TRUE(form->default_sheet->Visible);
    form->insert_button->click();
    EXPECT_EQ(messages(), Lines{"No vials are selected!"});
    form->from_box->Text = "3";
    form->to_box->Text = "4";
    form->add_vials_button->click();
    form->insert_button->click();
    EXPECT_EQ(result_numbers(), (std::vector<int>{3, 4}));
    EXPECT_EQ(form->selected_count(), 0);
    form->add_vials_button->click();
    form->add_button->click();
    EXPECT_FALSE(zorsetup::tray_dialog_state().cancelled);
    EXPECT_TRUE(form->Visible);
}

TEST_F(TrayForm, TheSpreadsheetStandInTakesTheInsertModeSettings) {
    using zorsetup::TGridSheet;
    auto form = open();
    TGridSheet& sheet = *form->default_sheet;
    EXPECT_FALSE(sheet.Visible);
    EXPECT_FALSE(form->insert_button->Visible);
    EXPECT_FALSE(form->method_helper->Visible);
    // Outside insert mode its handlers do nothing.
    sheet.leave_cell(2, 3);
    EXPECT_EQ(sheet.number(TGridSheet::back_color_id), 0);

    putils::session().tray_insert_mode = true;
    sheet.Visible = true;  // as insert mode shows it
    sheet.set_property(1, 5);
    sheet.leave_cell(4, 1);  // from 2,3 to 4,1
    EXPECT_EQ(sheet.number(TGridSheet::back_color_id), static_cast<std::int32_t>(platform::forms::clAqua));
    EXPECT_EQ(sheet.number(1), 0);
    sheet.set_property(TGridSheet::row_id, 2);
    sheet.set_property(TGridSheet::col_id, 3);
    EXPECT_EQ(sheet.number(TGridSheet::back_color_id), static_cast<std::int32_t>(platform::forms::clWhite));
    sheet.leave_cell(0, 1);  // a heading: no colours move
    sheet.set_property(TGridSheet::row_id, 4);
    sheet.set_property(TGridSheet::col_id, 1);
    EXPECT_EQ(sheet.number(TGridSheet::back_color_id), static_cast<std::int32_t>(platform::forms::clAqua));

    // A combo-box cell (type 8) changed to "None" is emptied; another cell keeps the text.
    sheet.set_property(TGridSheet::cell_type_id, 8);
    sheet.change_cell("None");
    EXPECT_EQ(sheet.text(TGridSheet::text_id), "");
    sheet.set_property(TGridSheet::col_id, 2);
    sheet.change_cell("None");
    EXPECT_EQ(sheet.text(TGridSheet::text_id), "None");

    // A mouse-down offers the method templates in cell 1,1.
    for (const char* name : {"Demo Injection", "Two Injectors"})
        fs::copy_file(fs::path(ZOR_EXAMPLES_DIR) / (std::string(name) + ".PME"),
                      fs::path(folder_) / (std::string(name) + ".PME"));
    sheet.mouse_down(platform::forms::MouseButton::left, 1, 1);
    EXPECT_EQ(form->method_helper->Items.strings(), (Lines{"Demo Injection", "Two Injectors"}));
    sheet.set_property(TGridSheet::row_id, 1);
    sheet.set_property(TGridSheet::col_id, 1);
    EXPECT_EQ(sheet.text(TGridSheet::combo_list_id), "Demo Injection\tTwo Injectors\t");
}

}  // namespace
}  // namespace zorsetup_test
