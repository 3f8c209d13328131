#include "plugin/grid_sheet.h"

namespace zorsetup {

bool TGridSheet::is_cell_property(std::int32_t id) {
    return id == cell_type_id || id == back_color_id || id == text_id || id == combo_list_id;
}

void TGridSheet::set_property(std::int32_t id, Value value) {
    if (is_cell_property(id))
        cells_[{number(row_id), number(col_id), id}] = std::move(value);
    else
        own_[id] = std::move(value);
}

TGridSheet::Value TGridSheet::property(std::int32_t id) const {
    const bool text_kind = id == text_id || id == combo_list_id;
    if (is_cell_property(id)) {
        const auto it = cells_.find({number(row_id), number(col_id), id});
        if (it != cells_.end()) return it->second;
    } else if (const auto it = own_.find(id); it != own_.end()) {
        return it->second;
    }
    return text_kind ? Value(std::string()) : Value(std::int32_t{0});
}

std::int32_t TGridSheet::number(std::int32_t id) const {
    const Value v = property(id);
    const auto* n = std::get_if<std::int32_t>(&v);
    return n ? *n : 0;
}

std::string TGridSheet::text(std::int32_t id) const {
    const Value v = property(id);
    const auto* s = std::get_if<std::string>(&v);
    return s ? *s : std::string();
}

void TGridSheet::leave_cell(std::int32_t new_row, std::int32_t new_col) {
    const std::int32_t row = number(row_id), col = number(col_id);
    if (OnLeaveCell) OnLeaveCell(*this, row, col, new_row, new_col);
    own_[row_id] = new_row;
    own_[col_id] = new_col;
}

void TGridSheet::change_cell(std::string text) {
    set_property(text_id, std::move(text));
    if (OnChange) OnChange(*this, number(row_id), number(col_id));
}

}  // namespace zorsetup
