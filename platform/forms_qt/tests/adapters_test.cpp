// Each control kind is drawn by its own adapter, found by the control's exact type: a kind
// derived from another is never drawn as its base when it has an adapter of its own, a kind a
// subsystem derives takes its nearest drawn base, and a kind nobody draws is reported.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>

#include "platform/forms/controls.h"
#include "platform/forms_qt/testing/form_snapshots.h"

namespace platform::forms_qt {
namespace {

using namespace platform::forms;

class FolderTree : public TreeView {
  public:
    FORMS_CLASS_NAME("TFolderTree")
};

class Gauge : public Control {
  public:
    FORMS_CLASS_NAME("TGauge")
};

class Kinds : public Form {
  public:
    Kinds() : Form("Tkinds") {
        ClientWidth = 200;
        ClientHeight = 200;
        speed = add<SpeedButton>("speed");
        speed->SetBounds(8, 8, 25, 25);
        bit = add<BitBtn>("bit");
        bit->SetBounds(40, 8, 75, 25);
        bit->Kind = BitBtnKind::ok;
        tree = add<FolderTree>("tree");
        tree->SetBounds(8, 40, 100, 100);
        gauge = add<Gauge>("gauge");
        gauge->SetBounds(120, 40, 50, 20);
    }
    SpeedButton* speed;
    BitBtn* bit;
    FolderTree* tree;
    Gauge* gauge;
};

TEST(QtAdapters, each_kind_is_drawn_by_its_own_adapter_and_a_kind_nobody_draws_is_reported) {
    auto& qt = testing::qt_session();
    {
        auto form = make_form<Kinds>();
        ::testing::internal::CaptureStderr();
        qt.backend().sync_form(*form, false);
        const std::string told = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(qobject_cast<QToolButton*>(qt.backend().widget_of(*form->speed)), nullptr);
        EXPECT_NE(qobject_cast<QPushButton*>(qt.backend().widget_of(*form->bit)), nullptr);
        EXPECT_FALSE(static_cast<QPushButton*>(qt.backend().widget_of(*form->bit))->icon().isNull());
        EXPECT_NE(qobject_cast<QTreeWidget*>(qt.backend().widget_of(*form->tree)), nullptr);
        EXPECT_NE(told.find("no adapter draws TGauge"), std::string::npos) << told;
        EXPECT_EQ(told.find("TFolderTree"), std::string::npos) << told;
    }
    reset_forms_state_for_tests();
}

}  // namespace
}  // namespace platform::forms_qt
