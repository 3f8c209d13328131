#include "platform/forms/message_form.h"

#include <algorithm>

#include "platform/forms/backend.h"
#include "platform/forms/string_list.h"

namespace platform::forms {

namespace {
// Layout in pixels at the default font.
constexpr int margin = 8;
constexpr int icon_size = 32;
constexpr int button_width = 75;
constexpr int button_height = 25;
constexpr int button_gap = 8;
}  // namespace

const char* button_name(DialogButton button) {
    switch (button) {
        case DialogButton::yes:
            return "Yes";
        case DialogButton::no:
            return "No";
        case DialogButton::ok:
            return "OK";
        case DialogButton::cancel:
            return "Cancel";
        case DialogButton::abort:
            return "Abort";
        case DialogButton::retry:
            return "Retry";
        case DialogButton::ignore:
            return "Ignore";
    }
    return "";
}

MessageForm::MessageForm(const MessageBoxRequest& request) : Form("TMessageForm"), type(request.type) {
    Caption = request.caption.empty() ? dialog_caption(request.type) : request.caption;
    BorderStyle = FormBorderStyle::dialog;
    BorderIcons = {true, false, false, false};
    Position = FormPosition::screen_center;
    if (request.stay_on_top) FormStyle = FormStyle::stay_on_top;

    StringList lines;
    lines.set_text(request.text);
    int text_width = 0;
    int text_height = 0;
    for (const std::string& line : lines) {
        const TextExtent extent = backend().text_extent(Font, line);
        text_width = std::max(text_width, extent.width);
        text_height += extent.height;
    }
    const int text_left = request.type == DialogType::custom ? margin : margin + icon_size + margin;
    message = add<StaticText>("Message");
    message->Caption = request.text;
    message->SetBounds(text_left, margin, text_width, std::max(text_height, 13));

    const auto members = request.buttons.members();
    const int count = static_cast<int>(members.size());
    const int row_width = count * button_width + std::max(0, count - 1) * button_gap;
    ClientWidth = std::max(text_left + text_width + margin, row_width + 2 * margin);
    const int row_top =
        margin + std::max(message->Height, request.type == DialogType::custom ? 0 : icon_size) + margin;
    ClientHeight = row_top + button_height + margin;

    int x = (ClientWidth - row_width) / 2;
    for (DialogButton b : members) {
        auto* button = add<Button>(button_name(b));
        button->Caption = button_caption(b);
        button->modal_result = result_of(b);
        button->SetBounds(x, row_top, button_width, button_height);
        button->TabOrder = static_cast<int>(buttons.size());
        button->Cancel = b == DialogButton::cancel;
        x += button_width + button_gap;
        buttons.push_back(button);
    }
    if (!buttons.empty()) {
        buttons.front()->Default = true;
        ActiveControl = buttons.front();
    }
    Width = ClientWidth;
    Height = ClientHeight;
}

FormPtr<MessageForm> build_message_form(const MessageBoxRequest& request) {
    return make_form<MessageForm>(request);
}

}  // namespace platform::forms
