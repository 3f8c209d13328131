// TGridSheet: what stands in the tray dialog for the outside spreadsheet control of its insert
// mode. The session never switches that mode on, so the sheet only has to be made with the
// form and to take the settings the dialog gives it: properties by their dispatch ids, those
// of a cell on the cell its column and row properties address. It draws as an empty panel.
// Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <variant>

#include "platform/forms/controls.h"

namespace zorsetup {

class TGridSheet : public platform::forms::Panel {
  public:
    FORMS_CLASS_NAME("TGridSheet")
    using Value = std::variant<std::int32_t, std::string>;

    // Dispatch ids of the properties the dialog uses.
    static constexpr std::int32_t col_id = 22;
    static constexpr std::int32_t row_id = 102;
    static constexpr std::int32_t cell_type_id = 18;
    static constexpr std::int32_t back_color_id = -501;
    static constexpr std::int32_t text_id = -517;
    static constexpr std::int32_t combo_list_id = 148;

    // A cell property (back colour, cell type, text, combo-box list) goes to the addressed
    // cell; any other id is the sheet's own.
    void set_property(std::int32_t id, Value value);
    // What was set; 0 for a number never set (the text properties: "").
    Value property(std::int32_t id) const;
    std::int32_t number(std::int32_t id) const;
    std::string text(std::int32_t id) const;

    // The current cell moved from (row, col) to (new_row, new_col).
    std::function<void(TGridSheet&, std::int32_t row, std::int32_t col, std::int32_t new_row,
                       std::int32_t new_col)>
        OnLeaveCell;
    // The cell (row, col) was changed.
    std::function<void(TGridSheet&, std::int32_t row, std::int32_t col)> OnChange;

    // A person moving to another cell, and changing a cell's text.
    void leave_cell(std::int32_t new_row, std::int32_t new_col);
    void change_cell(std::string text);

  private:
    static bool is_cell_property(std::int32_t id);
    std::map<std::int32_t, Value> own_;
    std::map<std::tuple<std::int32_t, std::int32_t, std::int32_t>, Value> cells_;  // row, col, id
};

}  // namespace zorsetup
