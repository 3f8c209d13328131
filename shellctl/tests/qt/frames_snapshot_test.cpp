// The shell controls' frames, group panels and splitter as a person sees them: a framed label
// in each of the eleven frame styles, a group panel with a child, a disabled one, a splitter
// with its panes; and the splitter's bar dragged with the mouse.
#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>
#include <string>
#include <utility>

#include "platform/forms/controls.h"
#include "platform/forms_qt/testing/form_snapshots.h"
#include "shellctl/kw_frame.h"
#include "shellctl/kw_splitter.h"

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
            {S::kwfsNone, "None"},          {S::kwfsGroup, "Group"},        {S::kwfsLowered, "Lowered"},
            {S::kwfsRaised, "Raised"},      {S::kwfsDint, "Dint"},          {S::kwfsBump, "Bump"},
            {S::kwfsSingle, "Single"},      {S::kwfsHorzLine, "Horz line"}, {S::kwfsHorzEdge, "Horz edge"},
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

// A splitter with its two panes, each holding a control, and the bar between them.
class Split : public forms::Form {
  public:
    Split() : Form("TSplit") {
        Caption = "Splitter";
        BorderStyle = forms::FormBorderStyle::dialog;
        ClientWidth = 300;
        ClientHeight = 140;
        splitter = add<TKwSplitter>("splitter");
        splitter->SetBounds(0, 0, 300, 140);
        splitter->CreatePanes();
        splitter->SetPosition(120);
        auto* left = add<forms::Label>("left", splitter->Pane(0));
        left->Caption = "Folders";
        left->SetBounds(8, 8, 90, 13);
        auto* right = add<forms::Label>("right", splitter->Pane(1));
        right->Caption = "Files";
        right->SetBounds(8, 8, 90, 13);
    }
    TKwSplitter* splitter = nullptr;
};

TEST(ShellControlsSnapshot, a_splitter_with_two_panes) {
    SetDragFullWindows(true);
    platform::forms_qt::testing::qt_session();
    {
        auto form = forms::make_form<Split>();
        EXPECT_FORM_SNAPSHOT(*form, "splitter");
    }
    forms::reset_forms_state_for_tests();
}

TEST(ShellControlsOnQt, a_person_drags_the_splitters_bar_with_the_mouse) {
    SetDragFullWindows(true);
    auto& qt = platform::forms_qt::testing::qt_session();
    {
        auto form = forms::make_form<Split>();
        form->Show();
        qt.backend().sync();
        QWidget* bar = qt.backend().widget_of(*form->splitter);
        ASSERT_NE(bar, nullptr);
        const platform::forms_qt::LayoutScale scale = platform::forms_qt::layout_scale(form->Font);
        const int y = scale.map_y(70);
        QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(scale.map_x(121), y));
        QTest::mouseMove(bar, QPoint(scale.map_x(161), y));
        QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(scale.map_x(161), y));
        EXPECT_NEAR(form->splitter->Position(), 160, 2);
        EXPECT_FALSE(form->splitter->Dragging());
        form->Hide();
    }
    forms::reset_forms_state_for_tests();
}

}  // namespace
}  // namespace shellctl
