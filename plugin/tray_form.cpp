#include "plugin/tray_form.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <unordered_map>

#include "core/barcode.h"
#include "core/config_model.h"
#include "core/uilib.h"
#include "plugin/bridge.h"
#include "plugin/editing.h"
#include "plugin/vial_arithmetic.h"
#include "utilities/form_helpers.h"
#include "utilities/log.h"
#include "utilities/message_boxes.h"
#include "utilities/session.h"
#include "utilities/settings.h"
#include "utilities/text.h"

namespace zorsetup {

using namespace platform::forms;

namespace {
// A tray of more vials than this has no grid: the dialog says so rather than showing part of
// it, so no vial a person picks is lost on the way to the host.
constexpr std::int64_t grid_limit = 1000000;
constexpr int popup_items = 16;

// A range box's number: an integer of up to 64 bits; false for any other text.
bool read_range_number(const std::string& text, std::int64_t& value) {
    if (!putils::is_integer(text)) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}
}  // namespace

TrayDialogState& tray_dialog_state() {
    static TrayDialogState s;
    return s;
}

TrayGrid TrayGrid::of(std::string_view tray) {
    TrayGrid g;
    if (!is_tray(tray)) return g;
    const std::string type = core::get_tray_type(tray);
    g.columns = static_cast<int>(tray_type_count(tray, "Spl Per Col"));
    g.rows = static_cast<int>(tray_type_count(tray, "Spl Per Row"));
    g.turned = core::get_number_attribute(type, "Row Length X") > 0;
    g.mirrored = core::get_number_attribute(type, "Col Length Y") < 0;
    if (g.turned) std::swap(g.columns, g.rows);
    return g;
}

int TrayGrid::vial_number(int a, int b) const {
    if (!turned) {
        if (mirrored) a = columns - 1 - a;
        return a * rows + b + 1;
    }
    if (mirrored) b = rows - 1 - b;
    return b * columns + a + 1;
}

Ttray_form::Ttray_form(platform::window::Handle parent) : Form("Ttray_form", parent) {
    Caption = "Trays";
    BorderStyle = FormBorderStyle::dialog;
    FormStyle = platform::forms::FormStyle::stay_on_top;
    SetBounds(0, 0, 640, 470);
    auto label = [this](const char* name, const char* caption, int x, int y) {
        Label* l = add<Label>(name);
        l->Caption = caption;
        l->SetBounds(x, y, 90, 13);
        return l;
    };
    holder_label = label("holder_label", "Tray Holder:", 8, 8);
    tray_holder_box = add<ComboBox>("tray_holder_box");
    tray_holder_box->Style = ComboStyle::drop_down_list;
    tray_holder_box->SetBounds(8, 24, 145, 21);
    tray_holder_box->OnChange = [this](Component&) { tray_holder_boxChange(); };
    StaticText2 = label("StaticText2", "Trays:", 8, 52);
    trays_from_holder_box = add<ComboBox>("trays_from_holder_box");
    trays_from_holder_box->Style = ComboStyle::drop_down_list;
    trays_from_holder_box->SetBounds(8, 68, 145, 21);
    trays_from_holder_box->OnChange = [this](Component&) { trays_from_holder_boxChange(); };
    add_vial_label = label("add_vial_label", "Add Vial type:", 8, 96);
    vial_type_box = add<ComboBox>("vial_type_box");
    vial_type_box->Style = ComboStyle::drop_down_list;
    vial_type_box->SetBounds(8, 112, 145, 21);
    vial_type_box->OnChange = [this](Component&) {
        tray_dialog_state().current_type = vial_type_box->ItemIndex;
    };
    add_vials_button = add<Button>("add_vials_button");
    add_vials_button->Caption = "Add Vials from";
    add_vials_button->SetBounds(8, 144, 90, 25);
    add_vials_button->OnClick = [this](Component&) { add_vials_buttonClick(); };
    from_box = add<Edit>("from_box");
    from_box->SetBounds(104, 146, 49, 21);
    StaticText4 = label("StaticText4", "To", 8, 176);
    to_box = add<Edit>("to_box");
    to_box->SetBounds(104, 174, 49, 21);
    StaticText5 = label("StaticText5", "Increment", 8, 204);
    increment_box = add<Edit>("increment_box");
    increment_box->SetBounds(104, 202, 49, 21);
    tray_holder_picture = add<PaintBox>("tray_holder_picture");
    tray_holder_picture->SetBounds(8, 232, 145, 150);
    tray_holder_picture->OnPaint = [this](Component&) { draw_holder(false); };
    tray_holder_picture->OnMouseUp = [this](Component&, MouseButton button, ShiftState, int x, int y) {
        tray_holder_pictureMouseUp(button, x, y);
    };
    tray_label = add<Label>("tray_label");
    tray_label->Alignment = Alignment::center;
    tray_label->AutoSize = false;
    tray_label->SetBounds(170, 8, 400, 13);
    tray_picture = add<PaintBox>("tray_picture");
    tray_picture->SetBounds(170, 24, 400, 300);  // the area the tray is drawn in
    tray_picture->ShowHint = true;
    tray_picture->OnPaint = [this](Component&) {
        show_tray();
        // A band that is being dragged is part of the picture until the button comes up.
        if (band_shown_) invert_band();
    };
    tray_picture->OnMouseDown = [this](Component&, MouseButton, ShiftState, int x, int y) {
        tray_pictureMouseDown(x, y);
    };
    tray_picture->OnMouseUp = [this](Component&, MouseButton, ShiftState, int x, int y) {
        tray_pictureMouseUp(x, y);
    };
    tray_picture->OnMouseMove = [this](Component&, ShiftState, int x, int y) { tray_pictureMouseMove(x, y); };
    show_box = add<GroupBox>("show_box");
    show_box->SetBounds(170, 336, 180, 60);
    show_numbers_button = add<RadioButton>("show_numbers_button", show_box);
    show_numbers_button->Caption = "Show Vial Numbers";
    show_numbers_button->SetBounds(8, 16, 165, 17);
    show_numbers_button->OnClick = [this](Component&) {
        tray_dialog_state().show_types = false;
        show_tray();
    };
    show_types_button = add<RadioButton>("show_types_button", show_box);
    show_types_button->Caption = "ShowVialTypes";
    show_types_button->SetBounds(8, 36, 165, 17);
    show_types_button->OnClick = [this](Component&) {
        tray_dialog_state().show_types = true;
        show_tray();
    };
    add_button = add<Button>("add_button");
    add_button->Caption = "Add vials";
    add_button->SetBounds(370, 340, 80, 25);
    add_button->OnClick = [this](Component&) { add_buttonClick(); };
    insert_button = add<Button>("insert_button");
    insert_button->Caption = "Insert vials";
    insert_button->SetBounds(550, 340, 80, 25);
    insert_button->Visible = false;
    insert_button->OnClick = [this](Component&) { insert_buttonClick(); };
    close_button = add<Button>("close_button");
    close_button->Caption = "&Cancel";
    close_button->SetBounds(460, 340, 80, 25);
    close_button->Cancel = true;
    close_button->OnClick = [this](Component&) {
        tray_dialog_state().cancelled = true;
        Close();
    };
    select_all_button = add<Button>("select_all_button");
    select_all_button->Caption = "&Select All";
    select_all_button->SetBounds(370, 372, 80, 25);
    select_all_button->OnClick = [this](Component&) { set_all(tray_dialog_state().current_type); };
    deselect_button = add<Button>("deselect_button");
    deselect_button->Caption = "&Deselect All";
    deselect_button->SetBounds(460, 372, 80, 25);
    deselect_button->OnClick = [this](Component&) { set_all(-1); };
    default_sheet = add<TGridSheet>("default_sheet");
    default_sheet->SetBounds(8, 404, 616, 36);
    default_sheet->Visible = false;
    default_sheet->OnLeaveCell = [this](TGridSheet&, std::int32_t row, std::int32_t col, std::int32_t new_row,
                                        std::int32_t new_col) {
        default_sheetLeaveCell(row, col, new_row, new_col);
    };
    default_sheet->OnChange = [this](TGridSheet&, std::int32_t row, std::int32_t col) {
        default_sheetChange(row, col);
    };
    default_sheet->OnMouseDown = [this](Component&, MouseButton, ShiftState, int, int) {
        default_sheetMouseDown();
    };
    method_helper = add<ListBox>("method_helper");
    method_helper->SetBounds(8, 404, 120, 36);
    method_helper->Visible = false;
    tray_type_popup = add<platform::forms::PopupMenu>("tray_type_popup");
    tray_type_popup->AutoHotkeys = false;
    for (int i = 0; i < popup_items; ++i) {
        MenuItem* item = tray_type_popup->add_item("tray_type" + std::to_string(i));
        item->OnClick = [this, item](Component&) { tray_type_popupClick(*item); };
    }
    OnCreate = [this](Component&) { FormCreate(); };
    OnActivate = [this](Component&) { FormActivate(); };
    OnClose = [this](Component&, CloseAction&) { FormClose(); };
}

// The hint handler goes with the dialog: the one it replaced comes back, so the application
// never calls into a dialog that is gone.
Ttray_form::~Ttray_form() {
    auto& handler = application().OnShowHint;
    if (const auto* ours = handler.target<TrayHintHandler>(); ours && ours->form == this)
        handler = std::move(hint_before_);
}

void Ttray_form::TrayHint(HintInfo& info) {
    if (info.control != tray_picture) return;
    info.cursor_rect = {mouse_x_ - radius_, mouse_y_ - radius_, mouse_x_ + radius_, mouse_y_ + radius_};
    application().HintHidePause = 3000;
    info.hide_timeout = 3000;
}

int Ttray_form::vial_state(int column, int row) const {
    if (column < 0 || row < 0 || column >= shown_columns_ || row >= shown_rows_) return -1;
    return cells_[cell(column, row)];
}

int Ttray_form::selected_count() const {
    return static_cast<int>(std::count_if(cells_.begin(), cells_.end(), [](int c) { return c >= 0; }));
}

void Ttray_form::clear_grid() {
    std::fill(cells_.begin(), cells_.end(), -1);
}

void Ttray_form::select_tray(std::string_view tray) {
    tray_dialog_state().current_tray = std::string(tray);
    putils::write_registry_string(putils::driver_startup_key(), "Tray", tray);
}

void Ttray_form::fill_trays_box() {
    trays_from_holder_box->Items.clear();
    const std::string holder = putils::combo_text(*tray_holder_box);
    for (int k = 0; k < tray_count(); ++k) {
        const std::string tray = nth_tray_name(k);
        if (tray_on_holder(tray, holder)) trays_from_holder_box->Items.add(tray);
    }
}

void Ttray_form::FormCreate() {
    TrayDialogState& st = tray_dialog_state();
    auto& ses = putils::session();
    if (ses.tray_form_first_create) {
        ses.tray_form_first_create = false;
        if (ses.tray_insert_mode) {
            tray_holder_picture->Height = tray_holder_picture->Height - default_sheet->Height;
            tray_picture->Height = tray_picture->Height - default_sheet->Height;
        }
        st.area = tray_picture->BoundsRect();
        st.show_types = false;
        st.current_type = 0;
        putils::center_form(*this);
        st.form_left = Left;
        st.form_top = Top;
        st.placed = true;
    } else if (st.placed) {
        // Later openings come where the first one was centred.
        Left = st.form_left;
        Top = st.form_top;
    }
    if (st.area.right > st.area.left)
        tray_picture->SetBounds(st.area.left, st.area.top, st.area.right - st.area.left,
                                st.area.bottom - st.area.top);
    for (int i = 0; i < ses.sample_type_count; ++i) vial_type_box->Items.add(ses.sample_types[i].name);
    insert_button->Visible = ses.tray_insert_mode;
    default_sheet->Visible = ses.tray_insert_mode;
}

void Ttray_form::FormActivate() {
    TrayDialogState& st = tray_dialog_state();
    auto& handler = application().OnShowHint;
    if (const auto* ours = handler.target<TrayHintHandler>(); !ours || ours->form != this) {
        hint_before_ = std::move(handler);
        handler = TrayHintHandler{this};
    }
    fill_holder_box(*tray_holder_box);
    show_numbers_button->Checked = !st.show_types;
    show_types_button->Checked = st.show_types;
    const std::string requested = putils::session().requested_tray;
    if (requested.empty() || !is_tray(requested)) {
        if (tray_holder_box->ItemIndex < 0 && tray_holder_box->Items.count() > 0)
            tray_holder_box->ItemIndex = 0;
        fill_trays_box();
        st.current_tray =
            trays_from_holder_box->Items.count() > 0 ? trays_from_holder_box->Items[0] : std::string();
    } else {
        select_tray(requested);
        const std::string holder = core::get_text_attribute(requested, "Tray Holder");
        // The holder list leaves the bar-code holder out, yet the host may ask for a tray on
        // it: that holder is offered then, or the tray could be neither shown nor chosen again.
        if (!holder.empty() && tray_holder_box->Items.index_of(holder) < 0)
            tray_holder_box->Items.add(holder);
        putils::select_combo_item(*tray_holder_box, holder);
        fill_trays_box();
    }
    putils::select_combo_item(*trays_from_holder_box, st.current_tray);
    draw_holder(false);
    layout_tray();
    show_tray();
    st.input.clear();
    if (st.current_type < vial_type_box->Items.count()) vial_type_box->ItemIndex = st.current_type;
    const bool types = putils::session().sample_type_count > 0;
    for (Control* c : std::initializer_list<Control*>{show_types_button, show_numbers_button, add_vial_label,
                                                      vial_type_box, show_box})
        c->Visible = types;
    uilib::on_tray_dialog_activated();
}

void Ttray_form::FormClose() {
    uilib::on_tray_dialog_closed();
}

void Ttray_form::tray_holder_boxChange() {
    fill_trays_box();
    if (trays_from_holder_box->Items.count() > 0) {
        trays_from_holder_box->ItemIndex = 0;
        select_tray(trays_from_holder_box->Items[0]);
    }
    draw_holder(true);
    layout_tray();
    show_tray();
}

void Ttray_form::trays_from_holder_boxChange() {
    select_tray(putils::combo_text(*trays_from_holder_box));
    draw_holder(false);
    layout_tray();
    show_tray();
}

void Ttray_form::layout_tray() {
    const TrayDialogState& st = tray_dialog_state();
    const std::string& tray = st.current_tray;
    grid_ = TrayGrid::of(tray);
    too_many_ = static_cast<std::int64_t>(grid_.columns) * grid_.rows > grid_limit;
    shown_columns_ = too_many_ ? 0 : grid_.columns;
    shown_rows_ = too_many_ ? 0 : grid_.rows;
    cells_.assign(static_cast<std::size_t>(shown_columns_) * static_cast<std::size_t>(shown_rows_), -1);
    picture_width_ = picture_height_ = 0;
    half_width_ = half_height_ = 0;
    radius_ = 0;
    const Rect area = st.area.right > st.area.left ? st.area : tray_picture->BoundsRect();
    const auto place_picture = [&] {
        int left = area.left, top = area.top;
        if (picture_width_ < area.right - area.left) left += (area.right - area.left - picture_width_) / 2;
        if (picture_height_ < area.bottom - area.top) top += (area.bottom - area.top - picture_height_) / 2;
        if (picture_width_ == 0 && picture_height_ == 0) left = area.left, top = area.top;
        tray_picture->SetBounds(left, top, picture_width_, picture_height_);
        tray_label->SetBounds(area.left, top - tray_label->Height, area.right - area.left,
                              tray_label->Height);
    };
    if (shown_columns_ == 0 || shown_rows_ == 0) {
        place_picture();
        return;
    }
    const std::string type = core::get_tray_type(tray);
    double w = std::abs(core::get_number_attribute(type, "Row Length X") +
                        core::get_number_attribute(type, "Col Length X"));
    double h = std::abs(core::get_number_attribute(type, "Row Length Y") +
                        core::get_number_attribute(type, "Col Length Y"));
    if (grid_.columns > 1) w = w * grid_.columns / (grid_.columns - 1);
    if (grid_.rows > 1) h = h * grid_.rows / (grid_.rows - 1);
    const double W = area.right - area.left, H = area.bottom - area.top;
    if (W * h > H * w) {
        picture_height_ = static_cast<int>(H);
        picture_width_ = static_cast<int>(std::lround(H * w / h));
    } else if (W * h < H * w) {
        picture_width_ = static_cast<int>(W);
        picture_height_ = static_cast<int>(std::lround(W * h / w));
    } else {
        place_picture();
        return;
    }
    // Taller than wide: centred across the area at its top; wider: centred down its left.
    place_picture();
    if (W * h > H * w)
        tray_picture->Top = area.top;
    else
        tray_picture->Left = area.left;
    tray_label->Top = tray_picture->Top - tray_label->Height;
    half_width_ = static_cast<double>(picture_width_) / (2.0 * shown_columns_);
    half_height_ = static_cast<double>(picture_height_) / (2.0 * shown_rows_);
    radius_ = std::max(0, static_cast<int>(0.9 * std::min(half_width_, half_height_)) - 1);
}

std::pair<int, int> Ttray_form::vial_centre(int column, int row) const {
    return {static_cast<int>(std::lround((2 * column + 1) * half_width_)),
            static_cast<int>(std::lround((2 * row + 1) * half_height_))};
}

std::pair<int, int> Ttray_form::vial_at(int x, int y) const {
    for (int a = 0; a < shown_columns_; ++a)
        for (int b = 0; b < shown_rows_; ++b) {
            const auto [cx, cy] = vial_centre(a, b);
            const long dx = x - cx, dy = y - cy;
            if (dx * dx + dy * dy <= static_cast<long>(radius_) * radius_) return {a, b};
        }
    return {-1, -1};
}

void Ttray_form::draw_vial(int column, int row) {
    Canvas& c = tray_picture->Canvas;
    const int state = vial_state(column, row);
    const auto [x, y] = vial_centre(column, row);
    c.Pen.Color = c.Brush.Color = state < 0 ? clBlack : clRed;
    c.Ellipse(x - radius_, y - radius_, x + radius_, y + radius_);
    const TrayDialogState& st = tray_dialog_state();
    std::string text = std::to_string(grid_.vial_number(column, row));
    if (st.show_types && state >= 0 && state < putils::session().sample_type_count)
        text = putils::session().sample_types[state].code;
    const int d = static_cast<int>(
        std::hypot(c.TextWidth(std::to_string(grid_.columns * grid_.rows)), c.TextHeight("0")));
    if (radius_ >= (d + 1) / 2) {
        c.Font.Color = clWhite;
        c.TextOut(x - c.TextWidth(text) / 2 - 1, y - c.TextHeight(text) / 2 - 1, text);
    }
}

void Ttray_form::show_tray() {
    const TrayDialogState& st = tray_dialog_state();
    if (st.current_tray.empty()) {
        tray_label->Caption.clear();
        return;
    }
    Canvas& c = tray_picture->Canvas;
    c.Brush.Color = clAqua;
    c.FillRect({0, 0, picture_width_, picture_height_});
    tray_label->Caption = st.current_tray + ":" + core::get_tray_type(st.current_tray);
    if (too_many_)
        tray_label->Caption += " - " + std::to_string(num_vials(st.current_tray)) + " vials, more than the " +
                               std::to_string(grid_limit) + " this dialog can show";
    if (!st.input.empty()) {
        // The first entry of each number counts.
        std::unordered_map<int, int> types;
        for (const TrayVial& v : st.input) types.emplace(v.number, v.type);
        for (int a = 0; a < shown_columns_; ++a)
            for (int b = 0; b < shown_rows_; ++b) {
                const auto it = types.find(grid_.vial_number(a, b));
                cells_[cell(a, b)] = it == types.end() ? -1 : it->second;
            }
    }
    for (int a = 0; a < shown_columns_; ++a)
        for (int b = 0; b < shown_rows_; ++b) draw_vial(a, b);
}

void Ttray_form::set_all(int value) {
    std::fill(cells_.begin(), cells_.end(), value);
    show_tray();
}

void Ttray_form::tray_pictureMouseDown(int x, int y) {
    band_x_ = band_end_x_ = std::clamp(x, 0, picture_width_);
    band_y_ = band_end_y_ = std::clamp(y, 0, picture_height_);
    dragging_ = true;
    band_shown_ = false;
}

void Ttray_form::invert_band() {
    Canvas& c = tray_picture->Canvas;
    const Pen pen = c.Pen;
    const Brush brush = c.Brush;
    c.Pen.Mode = PenMode::invert;
    c.Pen.Color = clBlack;
    c.Pen.Width = 1;
    c.Brush.Style = BrushStyle::clear;
    c.Rectangle(std::min(band_x_, band_end_x_), std::min(band_y_, band_end_y_),
                std::max(band_x_, band_end_x_), std::max(band_y_, band_end_y_));
    c.Pen = pen;
    c.Brush = brush;
}

void Ttray_form::tray_pictureMouseMove(int x, int y) {
    mouse_x_ = x;
    mouse_y_ = y;
    if (dragging_) {
        if (band_shown_) invert_band();
        band_end_x_ = std::clamp(x, 0, picture_width_);
        band_end_y_ = std::clamp(y, 0, picture_height_);
        invert_band();
        band_shown_ = true;
    }
    const auto [a, b] = vial_at(x, y);
    tray_picture->Hint = a < 0 ? std::string() : std::to_string(grid_.vial_number(a, b));
}

void Ttray_form::tray_pictureMouseUp(int x, int y) {
    if (band_shown_) invert_band();
    dragging_ = band_shown_ = false;
    x = std::clamp(x, 0, picture_width_);
    y = std::clamp(y, 0, picture_height_);
    const int left = std::min(x, band_x_), right = std::max(x, band_x_);
    const int top = std::min(y, band_y_), bottom = std::max(y, band_y_);
    const int type = tray_dialog_state().current_type;
    if (right - left < radius_ / 2 && bottom - top < radius_ / 2) {
        const auto [a, b] = vial_at(band_x_, band_y_);
        if (a < 0) return;
        int& state = cells_[cell(a, b)];
        state = state < 0 ? type : -1;
        draw_vial(a, b);
        return;
    }
    for (int a = 0; a < shown_columns_; ++a)
        for (int b = 0; b < shown_rows_; ++b) {
            const auto [cx, cy] = vial_centre(a, b);
            if (cx >= left && cx <= right && cy >= top && cy <= bottom) {
                cells_[cell(a, b)] = type;
                draw_vial(a, b);
            }
        }
}

void Ttray_form::add_vials_buttonClick() {
    std::int64_t from = 1, to = 1000000, step = 1;
    struct Box {
        Edit* edit;
        std::int64_t* value;
        const char* message;
    };
    for (const Box& box :
         {Box{from_box, &from, "From vial is invalid: "}, Box{to_box, &to, "To vial is invalid: "},
          Box{increment_box, &step, "Increment is invalid :"}}) {
        if (box.edit->Text.empty()) continue;
        if (!read_range_number(box.edit->Text, *box.value)) {
            putils::info_box(box.message + box.edit->Text);
            return;
        }
    }
    if (step <= 0) step = 1;
    const int type = tray_dialog_state().current_type;
    for (int a = 0; a < shown_columns_; ++a)
        for (int b = 0; b < shown_rows_; ++b) {
            const std::int64_t n = grid_.vial_number(a, b);
            if (n >= from && n <= to && (n - from) % step == 0) {
                cells_[cell(a, b)] = type;
                draw_vial(a, b);
            }
        }
}

void Ttray_form::store_selection() {
    std::vector<TrayVial>& result = tray_dialog_state().result;
    result.clear();
    for (int a = 0; a < shown_columns_; ++a)
        for (int b = 0; b < shown_rows_; ++b)
            if (const int type = vial_state(a, b); type >= 0)
                result.push_back({grid_.vial_number(a, b), type});
    std::sort(result.begin(), result.end(),
              [](const TrayVial& x, const TrayVial& y) { return x.number < y.number; });
    uilib::on_vial_selection_stored();
    clear_grid();
    show_tray();
}

void Ttray_form::add_buttonClick() {
    TrayDialogState& st = tray_dialog_state();
    if (selected_count() == 0) {
        st.cancelled = true;
        putils::info_box("No vials are selected!");
    } else {
        st.cancelled = false;
        store_selection();
    }
    if (!putils::session().tray_insert_mode) Close();
}

void Ttray_form::insert_buttonClick() {
    if (selected_count() == 0)
        putils::info_box("No vials are selected!");
    else
        store_selection();
}

void Ttray_form::default_sheetLeaveCell(std::int32_t row, std::int32_t col, std::int32_t new_row,
                                        std::int32_t new_col) {
    if (!putils::session().tray_insert_mode || new_row <= 0 || new_col <= 0) return;
    TGridSheet& sheet = *default_sheet;
    sheet.set_property(TGridSheet::col_id, col);
    sheet.set_property(TGridSheet::row_id, row);
    sheet.set_property(TGridSheet::back_color_id, static_cast<std::int32_t>(clWhite));
    sheet.set_property(TGridSheet::col_id, new_col);
    sheet.set_property(TGridSheet::row_id, new_row);
    sheet.set_property(TGridSheet::back_color_id, static_cast<std::int32_t>(clAqua));
    sheet.set_property(1, 0);
}

void Ttray_form::default_sheetChange(std::int32_t row, std::int32_t col) {
    if (!putils::session().tray_insert_mode) return;
    TGridSheet& sheet = *default_sheet;
    sheet.set_property(TGridSheet::col_id, col);
    sheet.set_property(TGridSheet::row_id, row);
    if (sheet.number(TGridSheet::cell_type_id) == 8 && sheet.text(TGridSheet::text_id) == "None")
        sheet.set_property(TGridSheet::text_id, std::string());
}

void Ttray_form::default_sheetMouseDown() {
    if (!putils::session().tray_insert_mode) return;
    putils::fill_list_with_files(template_file_path("*"), *method_helper);
    std::string list;
    for (const std::string& name : method_helper->Items.strings()) list += name + "\t";
    TGridSheet& sheet = *default_sheet;
    sheet.set_property(TGridSheet::col_id, 1);
    sheet.set_property(TGridSheet::row_id, 1);
    sheet.set_property(TGridSheet::combo_list_id, list);
}

void Ttray_form::open_tray_type_popup(std::string_view tray, int x, int y) {
    popup_tray_ = std::string(tray);
    const std::string group = core::get_text_attribute(tray, "TrayTypeGroup");
    const core::Tconfig_model& model = core::config_model();
    int used = 0;
    for (int i = 0; i < model.object_count && used < popup_items; ++i) {
        if (!putils::same_text(object_class_name(i), "TRAY_TYPE")) continue;
        const std::string name = model.objects[i].name.str();
        const std::string own = core::get_text_attribute(name, "TrayTypeGroup");
        if (!own.empty() && group.find(own[0]) == std::string::npos) continue;
        MenuItem* item = tray_type_popup->item(used++);
        item->Caption = name;
        item->Visible = true;
    }
    for (int i = used; i < popup_items; ++i) tray_type_popup->item(i)->Visible = false;
    tray_type_popup->popup(tray_holder_picture, x, y);
}

void Ttray_form::tray_type_popupClick(MenuItem& item) {
    const std::string type = item.Caption;
    if (core::set_tray_type(popup_tray_, type) < 0) return;
    // The instrument keeps its own type: when Zorrun refused it (the bridge said why), the
    // dialog does not show the tray as changed.
    if (platform::com::failed(driver_set_tray_type(popup_tray_, type))) return;
    select_tray(popup_tray_);
    putils::select_combo_item(*trays_from_holder_box, popup_tray_);
    layout_tray();
    show_tray();
}

void Ttray_form::draw_holder(bool clear) {
    Canvas& c = tray_holder_picture->Canvas;
    const int width = tray_holder_picture->Width;
    const int height = tray_holder_picture->Height;
    c.Pen.Color = clBtnFace;
    if (clear) {
        c.Brush.Color = clBtnFace;
        c.FillRect({0, 0, width, height});
    }
    drawn_trays_.clear();
    const double usable = width - 6;
    struct Placed {
        std::string name;
        double x0, y0, z, x1, y1;
    };
    std::vector<Placed> trays;
    const std::string holder = putils::combo_text(*tray_holder_box);
    for (int k = 0; k < tray_count(); ++k) {
        const std::string tray = nth_tray_name(k);
        if (!tray_on_holder(tray, holder)) continue;
        const std::string type = core::get_tray_type(tray);
        Placed p{tray,
                 core::get_number_attribute(tray, "Offset x"),
                 core::get_number_attribute(tray, "Offset y"),
                 core::get_number_attribute(tray, "Path Offset z"),
                 0,
                 0};
        p.x1 = p.x0 + std::abs(core::get_number_attribute(type, "Row Length X") +
                               core::get_number_attribute(type, "Col Length X"));
        p.y1 = p.y0 + std::abs(core::get_number_attribute(type, "Row Length Y") +
                               core::get_number_attribute(type, "Col Length Y"));
        trays.push_back(p);
    }
    if (trays.empty()) return;
    std::stable_sort(trays.begin(), trays.end(), [](const Placed& a, const Placed& b) {
        if (a.z != b.z) return a.z < b.z;
        if (a.y0 != b.y0) return a.y0 < b.y0;
        return a.x0 < b.x0;
    });
    double min_x = trays[0].x0, min_y = trays[0].y0, max_x = trays[0].x1, max_y = trays[0].y1;
    std::vector<double> levels;
    for (const Placed& p : trays) {
        min_x = std::min(min_x, p.x0);
        min_y = std::min(min_y, p.y0);
        max_x = std::max(max_x, p.x1);
        max_y = std::max(max_y, p.y1);
        if (levels.empty() || levels.back() != p.z) levels.push_back(p.z);
    }
    const double band = std::min((height - 3.0) / static_cast<double>(levels.size()) - 3.0, height / 5.0);
    if (band <= 0) return;
    const double scale_x = max_x > min_x ? (usable - 6) / (max_x - min_x) : usable - 6;
    const double scale_y = max_y > min_y ? (band - 6) / (max_y - min_y) : band - 6;
    const double slant = usable / 5;
    const std::string& current = tray_dialog_state().current_tray;
    for (std::size_t k = 0; k < levels.size(); ++k) {
        const double top = (band + 3) * static_cast<double>(k) + 3;
        const double left = 3;
        auto shift = [&](double y) { return slant * (top + band - y) / band; };
        auto corner = [](double x, double y) {
            return Point{static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y))};
        };
        c.Brush.Color = clWhite;
        c.Pen.Color = clBlack;
        c.Polygon({corner(left + slant, top), corner(left + usable, top),
                   corner(left + usable - slant, top + band), corner(left, top + band)});
        std::vector<const Placed*> level;
        for (const Placed& p : trays)
            if (p.z == levels[k]) level.push_back(&p);
        bool overlap = false;
        for (std::size_t i = 0; i < level.size(); ++i)
            for (std::size_t j = i + 1; j < level.size(); ++j)
                overlap = overlap || (level[i]->x0 < level[j]->x1 && level[j]->x0 < level[i]->x1 &&
                                      level[i]->y0 < level[j]->y1 && level[j]->y0 < level[i]->y1);
        for (std::size_t i = 0; i < level.size(); ++i) {
            const Placed& p = *level[i];
            DrawnTray d{p.name, 0, 0, 0, 0, slant, top, band};
            if (overlap) {
                const double strip = (band - 6) / static_cast<double>(level.size());
                d.top = top + 3 + strip * static_cast<double>(i);
                d.bottom = d.top + strip;
                d.left = left + 3;
                d.right = left + usable - slant - 3;
            } else {
                d.top = top + 3 + (p.y0 - min_y) * scale_y;
                d.bottom = top + 3 + (p.y1 - min_y) * scale_y;
                d.left = left + 3 + (p.x0 - min_x) * scale_x * (usable - slant) / usable;
                d.right = left + 3 + (p.x1 - min_x) * scale_x * (usable - slant) / usable;
            }
            c.Brush.Color = putils::same_text(p.name, current) ? clAqua : 0xC0C060;
            c.Pen.Color = clBlack;
            c.Polygon({corner(d.left + shift(d.top), d.top), corner(d.right + shift(d.top), d.top),
                       corner(d.right + shift(d.bottom), d.bottom),
                       corner(d.left + shift(d.bottom), d.bottom)});
            const std::string label = p.name + ":" + core::get_tray_type(p.name);
            const double mid = (d.top + d.bottom) / 2;
            c.TextOut(static_cast<int>((d.left + d.right) / 2 + shift(mid) - c.TextWidth(label) / 2.0),
                      static_cast<int>(mid - c.TextHeight(label) / 2.0), label);
            drawn_trays_.push_back(d);
        }
    }
}

std::string Ttray_form::tray_at_holder_point(int x, int y) const {
    for (const DrawnTray& d : drawn_trays_) {
        if (y < d.top || y > d.bottom) continue;
        const double back = x - d.slant * (d.band_top + d.band_height - y) / d.band_height;
        if (back >= d.left && back <= d.right) return d.name;
    }
    return {};
}

void Ttray_form::tray_holder_pictureMouseUp(MouseButton button, int x, int y) {
    const std::string tray = tray_at_holder_point(x, y);
    if (tray.empty()) return;
    select_tray(tray);
    putils::select_combo_item(*trays_from_holder_box, tray);
    draw_holder(false);
    if (button == MouseButton::left) {
        layout_tray();
        show_tray();
    } else if (button == MouseButton::right) {
        open_tray_type_popup(tray, x, y);
    }
}

bool pick_vials(platform::window::Handle parent, std::string_view requested, std::vector<TrayVial> input) {
    TrayDialogState& st = tray_dialog_state();
    st.input = std::move(input);
    putils::session().requested_tray = std::string(requested);
    st.cancelled = true;
    st.result.clear();
    {
        auto form = platform::forms::make_form<Ttray_form>(parent);
        form->ShowModal();
    }
    return !st.cancelled;
}

}  // namespace zorsetup
