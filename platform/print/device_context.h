// A device context: the surface a method is printed on.
//
// Small on purpose: text with its extent, pens (colour, width), lines, pages and the page
// size. The host hands a context to the plug-in as a 32-bit handle (find_device_context);
// the plug-in draws in the context's own units.
//
// The base class keeps what every output shares (the pen table, the selected pen, the pen
// position, the page state); an output draws through the protected primitives only. Two
// outputs exist: RecordingDeviceContext (below; tests read what was drawn) and a PDF writer
// supplied by the drawing backend.
//
// Texts are the system's 8-bit Windows-1252 strings; an output converts them where it must.
// Main thread only.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace platform::print {

// Colours as the forms have them: red in the low byte (0x0000FF is red).
using Color = std::uint32_t;
inline constexpr Color black = 0x000000;
inline constexpr Color red = 0x0000FF;

struct Size {
    int cx = 0;
    int cy = 0;
    bool operator==(const Size&) const = default;
};

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

enum class PenStyle { solid, dash, dot };

struct Pen {
    PenStyle style = PenStyle::solid;
    int width = 1;
    Color color = black;
    bool operator==(const Pen&) const = default;
};

// A pen made by create_pen; 0 is never a pen made there: it is the context's stock pen
// (solid, 1 wide, black), which is selected at first and can never be deleted.
using PenHandle = std::uint32_t;
inline constexpr PenHandle stock_pen = 0;

class DeviceContext {
  public:
    DeviceContext() = default;
    DeviceContext(const DeviceContext&) = delete;
    DeviceContext& operator=(const DeviceContext&) = delete;
    virtual ~DeviceContext();

    // Text with its top-left corner at (x, y).
    void text_out(int x, int y, std::string_view text);
    // Width and height of the text in the context's font.
    Size text_extent(std::string_view text) const { return measure(text); }

    // A pen width below 1 draws 1 wide.
    PenHandle create_pen(PenStyle style, int width, Color color);
    // Selects a pen and returns the one selected before; an unknown handle selects nothing
    // and returns 0 with ok false.
    PenHandle select_pen(PenHandle pen, bool* ok = nullptr);
    // False for the stock pen, an unknown handle and the selected pen (select another first).
    bool delete_pen(PenHandle pen);
    const Pen& selected_pen() const;
    PenHandle selected_pen_handle() const { return selected_; }
    std::size_t live_pens() const { return pens_.size(); }

    void move_to(int x, int y) { position_ = {x, y}; }
    // A line from the pen position to (x, y) with the selected pen; the position moves there.
    void line_to(int x, int y);
    Point position() const { return position_; }

    // A document of pages: drawing outside a page opens one (an output that needs pages
    // gets them). end_document ends the open page and the document.
    void start_page();
    void end_page();
    void end_document();
    int pages_started() const { return pages_; }
    bool page_open() const { return page_open_; }
    // The printable area in the context's units.
    virtual Size page_size() const = 0;

  protected:
    virtual void draw_text(Point at, std::string_view text) = 0;
    virtual void draw_line(Point from, Point to, const Pen& pen) = 0;
    virtual Size measure(std::string_view text) const = 0;
    virtual void begin_page_output() {}
    virtual void end_page_output() {}
    virtual void end_document_output() {}

  private:
    void ensure_page();

    std::map<PenHandle, Pen> pens_;
    PenHandle next_pen_ = 1;
    PenHandle selected_ = stock_pen;
    Point position_;
    int pages_ = 0;
    bool page_open_ = false;
};

// One call as the recording context saw it.
enum class DrawOp { text, line, start_page, end_page, end_document };

struct DrawCall {
    DrawOp op;
    std::vector<Point> points;  // text: the corner; line: from and to
    std::string text;
    Pen pen;  // line: the pen it was drawn with
};

// Records every call; text metrics are a fixed monospace metric (char_width per character,
// char_height high) so that tests know every coordinate.
class RecordingDeviceContext final : public DeviceContext {
  public:
    explicit RecordingDeviceContext(Size page = {2100, 2970}, int char_width = 8, int char_height = 16)
        : page_(page), char_width_(char_width), char_height_(char_height) {}

    Size page_size() const override { return page_; }
    const std::vector<DrawCall>& calls() const { return calls_; }
    std::vector<DrawCall> calls_of(DrawOp op) const;
    void clear() { calls_.clear(); }

  protected:
    void draw_text(Point at, std::string_view text) override;
    void draw_line(Point from, Point to, const Pen& pen) override;
    Size measure(std::string_view text) const override;
    void begin_page_output() override;
    void end_page_output() override;
    void end_document_output() override;

  private:
    Size page_;
    int char_width_;
    int char_height_;
    std::vector<DrawCall> calls_;
};

// Handles of device contexts, as a host hands them over (its hDC). The context stays
// owned by the caller; forget it before it goes. 0 is never a handle.
std::uint32_t register_device_context(DeviceContext& dc);
void forget_device_context(std::uint32_t handle);
DeviceContext* find_device_context(std::uint32_t handle);

}  // namespace platform::print
