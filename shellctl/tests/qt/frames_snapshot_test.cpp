// The shell controls' frames and group panels as a person sees them: a framed label in each of
// the eleven frame styles, a group panel with a child, and a disabled one.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "platform/forms/controls.h"
#include "platform/forms_qt/testing/form_snapshots.h"
#include "shellctl/kw_frame.h"

namespace shellctl {
namespace {

namespace forms = platform::forms;
using S = TKwFrameStyle;

class Frames : public forms::Form {
  public:
    Frames() : Form("TFrames") {
        Caption = "Frames";
        BorderStyle = forms::FormBorderStyle::dialog;
        ClientWidth = 420;
        ClientHeight = 330;
        const std::pair<S, const char*> styles[] = {
            {S::kwfsNone, "None"},         {S::kwfsGroup, "Group"},        {S::kwfsLowered, "Lowered"},
            {S::kwfsRaised, "Raised"},     {S::kwfsDint, "Dint"},          {S::kwfsBump, "Bump"},
            {S::kwfsSingle, "Single"},     {S::kwfsHorzLine, "Horz line"}, {S::kwfsHorzEdge, "Horz edge"},
            {S::kwfsVertLine, "Vert line"}, {S::kwfsVertEdge, "Vert edge"}};
        int i = 0;
        for (const auto& [style, caption] : styles) {
            auto* frame = add<TKwFrame>("frame" + std::to_string(i));
            frame->SetBounds(8 + (i % 3) * 136, 8 + (i / 3) * 44, 128, 36);
            frame->SetFrameStyle(style);
            frame->SetCaption(caption);
            ++i;
        }
        auto* left = add<TKwFrame>("left_aligned");
        left->SetBounds(8 + 2 * 136, 8 + 3 * 44, 128, 36);
        left->SetFrameStyle(S::kwfsLowered);
        left->SetAlignment(forms::Alignment::left);
        left->SetCaption("&Left");

        group = add<TKwGroup>("group");
        group->SetBounds(8, 190, 196, 130);
        group->SetCaption("Files");
        auto* inside = add<forms::Button>("inside", group);
        inside->Caption = "Inside";
        const Rect client = group->ClientArea();
        inside->SetBounds(client.left + 8, client.top + 8, 80, 25);

        disabled = add<TKwGroup>("disabled");
        disabled->SetBounds(216, 190, 196, 130);
        disabled->SetCaption("Disabled");
        auto* off = add<forms::Button>("off", disabled);
        off->Caption = "Off";
        off->SetBounds(disabled->ClientArea().left + 8, disabled->ClientArea().top + 8, 80, 25);
        disabled->SetEnabled(false);
    }
    TKwGroup* group = nullptr;
    TKwGroup* disabled = nullptr;
};

TEST(ShellControlsSnapshot, frames_in_every_style_and_group_panels) {
    platform::forms_qt::testing::qt_session();
    {
        auto form = forms::make_form<Frames>();
        EXPECT_FORM_SNAPSHOT(*form, "frames");
    }
    forms::reset_forms_state_for_tests();
}

}  // namespace
}  // namespace shellctl
