// Drawing helpers of the controls on the forms canvas: the system colours they name, and text
// in a rectangle with alignment, vertical centring, end ellipsis and "&" accelerator marks.
#pragma once

#include <cstdint>
#include <string>

#include "platform/forms/canvas.h"
#include "platform/forms/types.h"

namespace shellctl {

using platform::forms::Color;
// System colours, resolved by the drawing backend (the high bit marks a system colour).
inline constexpr Color clScrollBar = 0x80000000;
inline constexpr Color clMenu = 0x80000004;
inline constexpr Color clWindowFrame = 0x80000006;
inline constexpr Color clMenuText = 0x80000007;
inline constexpr Color clHighlight = 0x8000000D;
inline constexpr Color clHighlightText = 0x8000000E;
inline constexpr Color clBtnShadow = 0x80000010;
inline constexpr Color clBtnText = 0x80000012;
inline constexpr Color clBtnHighlight = 0x80000014;
inline constexpr Color cl3DDkShadow = 0x80000015;
inline constexpr Color clBtnFace = platform::forms::clBtnFace;
inline constexpr Color clNone = platform::forms::clNone;

// The colour as plain RGB for a record that carries one (system colours pass as they are
// until the backend resolves them).
inline std::uint32_t ColorToRGB(Color c) {
    return c;
}

inline constexpr unsigned DT_LEFT = 0x0000;
inline constexpr unsigned DT_CENTER = 0x0001;
inline constexpr unsigned DT_RIGHT = 0x0002;
inline constexpr unsigned DT_VCENTER = 0x0004;
inline constexpr unsigned DT_SINGLELINE = 0x0020;
inline constexpr unsigned DT_CALCRECT = 0x0400;
inline constexpr unsigned DT_NOPREFIX = 0x0800;
inline constexpr unsigned DT_END_ELLIPSIS = 0x8000;

// The text a person sees: "&x" shows x (the accelerator), "&&" shows "&", a lone trailing "&"
// shows nothing.
std::string StripAccelerator(const std::string& text);

// Single-line text in `rect`; with DT_CALCRECT only measures (rect.right and rect.bottom
// become the text's extent) and draws nothing. Returns the text height. Nothing is drawn for
// a text that shows no glyph.
int DrawText(platform::forms::Canvas& canvas, const std::string& text, platform::forms::Rect& rect,
             unsigned flags);

}  // namespace shellctl
