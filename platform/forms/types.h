// Small value types and event signatures shared by the forms and controls.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace platform::forms {

class Component;

// Colours: blue in the high byte, red in the low byte (0x0000FF is red).
using Color = std::uint32_t;
inline constexpr Color clBlack = 0x000000;
inline constexpr Color clMaroon = 0x000080;
inline constexpr Color clGreen = 0x008000;
inline constexpr Color clNavy = 0x800000;
inline constexpr Color clGray = 0x808080;
inline constexpr Color clSilver = 0xC0C0C0;
inline constexpr Color clRed = 0x0000FF;
inline constexpr Color clLime = 0x00FF00;
inline constexpr Color clYellow = 0x00FFFF;
inline constexpr Color clBlue = 0xFF0000;
inline constexpr Color clFuchsia = 0xFF00FF;
inline constexpr Color clAqua = 0xFFFF00;
inline constexpr Color clWhite = 0xFFFFFF;
inline constexpr Color clNone = 0x1FFFFFFF;
inline constexpr Color clBtnFace = 0x8000000F;  // the system's button face colour
inline constexpr Color clWindow = 0x80000005;

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
    bool operator==(const Rect&) const = default;
};

enum class Alignment { left, right, center };
// The side of its parent's client area a control keeps to when the parent is resized.
enum class Align { none, top, bottom, left, right, client };
enum class MouseButton { left, right, middle };

// Modifier keys and mouse buttons held during an event.
struct ShiftState {
    bool shift = false;
    bool alt = false;
    bool ctrl = false;
    bool left = false;
    bool right = false;
    bool middle = false;
};

// Misuse of the framework that a developer must see at once: a wrong component name or type,
// a duplicate name, clicking a hidden or disabled control, showing a modal form twice.
struct FormError : std::logic_error {
    explicit FormError(const std::string& what) : std::logic_error(what) {}
};

// A font as the forms describe it; Height is in pixels, negative for the character height.
struct Font {
    std::string Name = "MS Sans Serif";
    int Height = -11;
    int Size = 8;
    forms::Color Color = clBlack;
    bool bold = false;
    bool italic = false;
    bool operator==(const Font&) const = default;
};

// Event signatures. The sender is the component that fired the event.
using NotifyEvent = std::function<void(Component& sender)>;
using MouseEvent = std::function<void(Component& sender, MouseButton, ShiftState, int x, int y)>;
using MouseMoveEvent = std::function<void(Component& sender, ShiftState, int x, int y)>;
using KeyEvent = std::function<void(Component& sender, int& key, ShiftState)>;

}  // namespace platform::forms
