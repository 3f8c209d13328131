#include "platform/forms/align.h"

#include <algorithm>

namespace platform::forms {

void align_controls(Control& parent, Rect client) {
    constexpr Align order[] = {Align::top, Align::bottom, Align::left, Align::right, Align::client};
    for (const Align side : order) {
        for (Control* c : parent.children()) {
            if (c->Align != side || !c->Visible) continue;
            const int width = std::max(client.width(), 0);
            const int height = std::max(client.height(), 0);
            switch (side) {
                case Align::top:
                    c->SetBounds(client.left, client.top, width, c->Height);
                    client.top += c->Height;
                    break;
                case Align::bottom:
                    c->SetBounds(client.left, client.bottom - c->Height, width, c->Height);
                    client.bottom -= c->Height;
                    break;
                case Align::left:
                    c->SetBounds(client.left, client.top, c->Width, height);
                    client.left += c->Width;
                    break;
                case Align::right:
                    c->SetBounds(client.right - c->Width, client.top, c->Width, height);
                    client.right -= c->Width;
                    break;
                case Align::client:
                    c->SetBounds(client.left, client.top, width, height);
                    break;
                case Align::none:
                    break;
            }
        }
    }
}

}  // namespace platform::forms
