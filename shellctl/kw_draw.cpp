#include "shellctl/kw_draw.h"

namespace shellctl {

std::string StripAccelerator(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&') {
                out += '&';
                ++i;
            }
            continue;
        }
        out += text[i];
    }
    return out;
}

int DrawText(platform::forms::Canvas& canvas, const std::string& text, platform::forms::Rect& rect,
             unsigned flags) {
    std::string shown = (flags & DT_NOPREFIX) ? text : StripAccelerator(text);
    const int height = canvas.TextHeight(shown.empty() ? std::string("0") : shown);
    if (flags & DT_CALCRECT) {
        rect.right = rect.left + canvas.TextWidth(shown);
        rect.bottom = rect.top + height;
        return height;
    }
    if (shown.empty()) return height;
    const int room = rect.width();
    if ((flags & DT_END_ELLIPSIS) && canvas.TextWidth(shown) > room) {
        while (!shown.empty() && canvas.TextWidth(shown + "...") > room) shown.pop_back();
        shown += "...";
    }
    const int width = canvas.TextWidth(shown);
    int x = rect.left;
    if (flags & DT_RIGHT) {
        x = rect.right - width;
    } else if (flags & DT_CENTER) {
        x = rect.left + (room - width) / 2;
    }
    int y = rect.top;
    if ((flags & DT_VCENTER) && (flags & DT_SINGLELINE)) y = rect.top + (rect.height() - height) / 2;
    canvas.TextOut(x, y, shown);
    return height;
}

}  // namespace shellctl
