// The printed form of a method: 50 lines a page, the syringe and every step's header
// underlined in red.
#include "core/command_text.h"
#include "platform/print/device_context.h"
#include "plugin/method_editor.h"
#include "utilities/form_helpers.h"
#include "utilities/text.h"

namespace zorsetup {

namespace {

constexpr int lines_per_page = 50;
constexpr std::size_t value_column = 36;

}  // namespace

std::vector<Tmethod_editor::PrintLine> Tmethod_editor::print_lines() {
    std::vector<PrintLine> lines;
    for (const std::string& line : method_descrip_box->Lines) lines.push_back({line, false});
    lines.push_back({"", false});
    lines.push_back({"Syringe: " + putils::combo_text(*syringe_box), true});
    const platform::forms::StringList& steps = current_method->Items;
    for (int i = 0; i < steps.count(); ++i) {
        std::string macro;
        std::vector<std::string> values;
        split_step(steps[i], macro, values);
        lines.push_back({"", false});
        lines.push_back({(i + 1 < 10 ? "0" : "") + std::to_string(i + 1) + " " + macro, true});
        const int n = load_macro_declarations(macro);
        for (std::size_t k = 0; k < values.size(); ++k) {
            // A value the macro does not declare (its file changed) prints without a name.
            const core::MacroParam none;
            const core::MacroParam& param = static_cast<int>(k) < n ? declaration(static_cast<int>(k)) : none;
            std::string text = "    " + param.name;
            if (!param.unit.empty())
                text += "  (" + (putils::same_text(param.unit, "s") ? std::string("m:ss") : param.unit) + ")";
            if (text.size() < value_column) text.resize(value_column, ' ');
            lines.push_back({text + putils::display_value(values[k], param.unit), false});
        }
    }
    return lines;
}

const std::vector<Tmethod_editor::PrintLine>& Tmethod_editor::current_print_lines() {
    // Comparing the texts in place costs a fraction of building the lines (which reads every
    // step's macro file and formats each value), and copies nothing while they match.
    const std::vector<std::string>& description = method_descrip_box->Lines.strings();
    const std::string syringe = putils::combo_text(*syringe_box);
    const std::vector<std::string>& steps = current_method->Items.strings();
    if (!print_lines_built_ || print_source_.description != description || print_source_.syringe != syringe ||
        print_source_.steps != steps) {
        printed_lines_ = print_lines();
        print_source_ = {description, syringe, steps};
        print_lines_built_ = true;
    }
    return printed_lines_;
}

int Tmethod_editor::page_count() {
    const int count = static_cast<int>(current_print_lines().size());
    return (count - 1) / lines_per_page + 1;
}

bool Tmethod_editor::print_page(platform::print::DeviceContext& dc, PrintRect rect, int page) {
    const std::vector<PrintLine>& lines = current_print_lines();
    const int pages = (static_cast<int>(lines.size()) - 1) / lines_per_page + 1;
    if (page < 1 || page > pages) return false;
    if (rect.bottom <= rect.top || rect.right <= rect.left) return false;
    const platform::print::Size digit = dc.text_extent("9");
    // In a rectangle too low for 50 lines the lines still do not overlap.
    const int line_height = std::max((rect.bottom - rect.top) / lines_per_page, digit.cy);
    const std::size_t first = static_cast<std::size_t>(page - 1) * lines_per_page;
    for (int n = 0; n < lines_per_page && first + static_cast<std::size_t>(n) < lines.size(); ++n) {
        const PrintLine& line = lines[first + static_cast<std::size_t>(n)];
        const int y = rect.top + n * line_height;
        dc.text_out(rect.left, y, line.text);
        if (!line.underlined) continue;
        const std::size_t start = line.text.find_first_not_of(' ');
        if (start == std::string::npos) continue;
        const std::string_view shown = std::string_view(line.text).substr(start);
        const platform::print::Size extent = dc.text_extent(line.text);
        const platform::print::PenHandle pen =
            dc.create_pen(platform::print::PenStyle::solid, 3, platform::print::red);
        const platform::print::PenHandle old = dc.select_pen(pen);
        const int x = rect.left + static_cast<int>(start) * digit.cx;
        dc.move_to(x, y + extent.cy);
        dc.line_to(x + dc.text_extent(shown).cx, y + extent.cy);
        dc.select_pen(old);
        dc.delete_pen(pen);
    }
    return true;
}

}  // namespace zorsetup
