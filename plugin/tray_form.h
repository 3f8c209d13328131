// Ttray_form, "Trays": the user picks vials for the host's sample list. The chosen tray is a
// grid of vials numbered in the tray's own order; vials are selected by clicks, rubber bands,
// Select All and ranges, each with the current sample type; "Add vials" gives the selection
// back in ascending vial number. VisualizeList opens it.
//
// Sound limits where the old ones broke: a tray type without columns or rows has no grid
// (no division by zero); a tray of more than a million vials has no grid either, and its label
// says why (a part of it would lose the vials a person picks beyond the part); the host's list
// and the result are not limited to 1000 vials; every opening starts as
// cancelled with an empty result, so closing it by its caption never hands back the previous
// opening's vials. Insert mode, which the session never switches on, has a stand-in for its
// spreadsheet (grid_sheet.h) and the hidden list of template names behind it.
// Main thread only.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/forms/controls.h"
#include "plugin/grid_sheet.h"

namespace zorsetup {

// One vial of the host's list or of the result: its number and sample type.
struct TrayVial {
    int number = 0;
    int type = 0;
};

// The tray's own numbering (vial_number) on its grid.
struct TrayGrid {
    int columns = 0;
    int rows = 0;
    bool turned = false;
    bool mirrored = false;
    // From the tray's type; an unknown tray gives an empty grid.
    static TrayGrid of(std::string_view tray);
    int vial_number(int column, int row) const;
};

// The dialog's state that lasts between openings in one load.
struct TrayDialogState {
    std::string current_tray;
    int current_type = 0;
    bool show_types = false;
    bool cancelled = true;
    std::vector<TrayVial> input;
    std::vector<TrayVial> result;
    // The tray picture's rectangle and the dialog's place, as the first opening laid them out.
    platform::forms::Rect area;
    int form_left = 0;
    int form_top = 0;
    bool placed = false;
};
TrayDialogState& tray_dialog_state();

class Ttray_form : public platform::forms::Form {
  public:
    explicit Ttray_form(platform::window::Handle parent = 0);
    ~Ttray_form() override;

    platform::forms::Label* holder_label;
    platform::forms::ComboBox* tray_holder_box;
    platform::forms::Label* StaticText2;
    platform::forms::ComboBox* trays_from_holder_box;
    platform::forms::Label* add_vial_label;
    platform::forms::ComboBox* vial_type_box;
    platform::forms::Button* add_vials_button;
    platform::forms::Edit* from_box;
    platform::forms::Label* StaticText4;
    platform::forms::Edit* to_box;
    platform::forms::Label* StaticText5;
    platform::forms::Edit* increment_box;
    platform::forms::PaintBox* tray_holder_picture;
    platform::forms::Label* tray_label;
    platform::forms::PaintBox* tray_picture;
    platform::forms::GroupBox* show_box;
    platform::forms::RadioButton* show_numbers_button;
    platform::forms::RadioButton* show_types_button;
    platform::forms::Button* add_button;
    platform::forms::Button* insert_button;
    platform::forms::Button* close_button;
    platform::forms::Button* select_all_button;
    platform::forms::Button* deselect_button;
    TGridSheet* default_sheet;
    platform::forms::ListBox* method_helper;
    platform::forms::PopupMenu* tray_type_popup;

    const TrayGrid& grid() const { return grid_; }
    // -1 not selected, else the sample type; column and row from 0.
    int vial_state(int column, int row) const;
    int selected_count() const;
    // Centre of a vial in the tray picture, and the vial under a point (-1, -1 for none).
    std::pair<int, int> vial_centre(int column, int row) const;
    std::pair<int, int> vial_at(int x, int y) const;
    int radius() const { return radius_; }

    void select_tray(std::string_view tray);
    void layout_tray();
    void show_tray();
    void store_selection();
    // The tray-type menu of the tray, opened at a point of the holder picture.
    void open_tray_type_popup(std::string_view tray, int x = 0, int y = 0);
    // The tray has more vials than the dialog can show: no grid, and the label says so.
    bool too_many_vials() const { return too_many_; }
    // The holder picture: the trays of the selected holder, level by level, as parallelograms.
    void draw_holder(bool clear);
    // The tray drawn under a point of the holder picture; "" for none.
    std::string tray_at_holder_point(int x, int y) const;

  private:
    void FormCreate();
    void FormActivate();
    void tray_holder_boxChange();
    void trays_from_holder_boxChange();
    void add_vials_buttonClick();
    void add_buttonClick();
    void insert_buttonClick();
    void FormClose();
    // The spreadsheet's handlers; they act in insert mode only.
    void default_sheetLeaveCell(std::int32_t row, std::int32_t col, std::int32_t new_row,
                                std::int32_t new_col);
    void default_sheetChange(std::int32_t row, std::int32_t col);
    void default_sheetMouseDown();
    void tray_pictureMouseDown(int x, int y);
    void tray_pictureMouseMove(int x, int y);
    void tray_pictureMouseUp(int x, int y);
    // The rubber band from the start point to (band_end_x_, band_end_y_), with the inverting
    // pen: drawn once it shows, drawn again it is gone.
    void invert_band();
    void TrayHint(platform::forms::HintInfo& info);
    struct TrayHintHandler {
        Ttray_form* form;
        void operator()(platform::forms::HintInfo& info) const { form->TrayHint(info); }
    };
    void tray_type_popupClick(platform::forms::MenuItem& item);
    void set_all(int value);
    void clear_grid();
    void draw_vial(int column, int row);
    void fill_trays_box();

    TrayGrid grid_;
    bool too_many_ = false;
    std::vector<int> cells_;  // columns x rows, column major
    std::size_t cell(int column, int row) const {
        return static_cast<std::size_t>(column) * static_cast<std::size_t>(shown_rows_) +
               static_cast<std::size_t>(row);
    }
    int shown_columns_ = 0;
    int shown_rows_ = 0;
    double half_width_ = 0;
    double half_height_ = 0;
    int radius_ = 0;
    int picture_width_ = 0;
    int picture_height_ = 0;
    int band_x_ = 0;
    int band_y_ = 0;
    int band_end_x_ = 0;
    int band_end_y_ = 0;
    bool dragging_ = false;
    bool band_shown_ = false;
    int mouse_x_ = 0;  // the last mouse point over the tray picture
    int mouse_y_ = 0;
    platform::forms::ShowHintEvent hint_before_;  // the application's hint handler before ours
    std::string popup_tray_;
    struct DrawnTray {
        std::string name;
        double top = 0, bottom = 0, left = 0, right = 0;  // the parallelogram's bottom-edge frame
        double slant = 0, band_top = 0, band_height = 1;  // the shift of the top edge
    };
    std::vector<DrawnTray> drawn_trays_;
    void tray_holder_pictureMouseUp(platform::forms::MouseButton button, int x, int y);
};

// The dialog opened on the host's list: `requested` is the tray to show first ("" for the one
// shown last), `input` the host's vials. The opening starts cancelled with an empty result.
// False when the person closed it without adding vials; else the vials chosen are in
// tray_dialog_state().result, of the tray current_tray.
bool pick_vials(platform::window::Handle parent, std::string_view requested, std::vector<TrayVial> input);

}  // namespace zorsetup
