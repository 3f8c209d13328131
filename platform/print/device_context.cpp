#include "platform/print/device_context.h"

#include <algorithm>

#include "platform/kernel/handle_table.h"

namespace platform::print {

namespace {

const Pen& stock() {
    static const Pen pen{};
    return pen;
}

// The handle table of device contexts; main thread only, as the contexts are.
kernel::HandleTable<DeviceContext>& handles() {
    static kernel::HandleTable<DeviceContext> table;
    return table;
}

}  // namespace

DeviceContext::~DeviceContext() = default;

void DeviceContext::ensure_page() {
    if (!page_open_) start_page();
}

void DeviceContext::text_out(int x, int y, std::string_view text) {
    ensure_page();
    draw_text({x, y}, text);
}

PenHandle DeviceContext::create_pen(PenStyle style, int width, Color color) {
    const PenHandle handle = next_pen_++;
    pens_[handle] = Pen{style, std::max(width, 1), color};
    return handle;
}

PenHandle DeviceContext::select_pen(PenHandle pen, bool* ok) {
    const bool known = pen == stock_pen || pens_.count(pen) != 0;
    if (ok) *ok = known;
    if (!known) return stock_pen;
    const PenHandle before = selected_;
    selected_ = pen;
    return before;
}

bool DeviceContext::delete_pen(PenHandle pen) {
    if (pen == stock_pen || pen == selected_) return false;
    return pens_.erase(pen) != 0;
}

const Pen& DeviceContext::selected_pen() const {
    if (selected_ == stock_pen) return stock();
    return pens_.at(selected_);
}

void DeviceContext::line_to(int x, int y) {
    ensure_page();
    draw_line(position_, {x, y}, selected_pen());
    position_ = {x, y};
}

void DeviceContext::start_page() {
    if (page_open_) end_page();
    page_open_ = true;
    ++pages_;
    begin_page_output();
}

void DeviceContext::end_page() {
    if (!page_open_) return;
    page_open_ = false;
    end_page_output();
}

void DeviceContext::end_document() {
    end_page();
    end_document_output();
}

std::vector<DrawCall> RecordingDeviceContext::calls_of(DrawOp op) const {
    std::vector<DrawCall> out;
    for (const auto& call : calls_)
        if (call.op == op) out.push_back(call);
    return out;
}

void RecordingDeviceContext::draw_text(Point at, std::string_view text) {
    calls_.push_back({DrawOp::text, {at}, std::string(text), {}});
}

void RecordingDeviceContext::draw_line(Point from, Point to, const Pen& pen) {
    calls_.push_back({DrawOp::line, {from, to}, {}, pen});
}

Size RecordingDeviceContext::measure(std::string_view text) const {
    return {char_width_ * static_cast<int>(text.size()), char_height_};
}

void RecordingDeviceContext::begin_page_output() {
    calls_.push_back({DrawOp::start_page, {}, {}, {}});
}
void RecordingDeviceContext::end_page_output() {
    calls_.push_back({DrawOp::end_page, {}, {}, {}});
}
void RecordingDeviceContext::end_document_output() {
    calls_.push_back({DrawOp::end_document, {}, {}, {}});
}

std::uint32_t register_device_context(DeviceContext& dc) {
    return handles().add(&dc);
}

void forget_device_context(std::uint32_t handle) {
    handles().forget(handle);
}

DeviceContext* find_device_context(std::uint32_t handle) {
    return handles().find(handle);
}

}  // namespace platform::print
