// Drags on the offscreen display: drops on views that take none, and what another program's
// MIME data becomes and what ours carries out.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>

#include "platform/forms/controls.h"
#include "platform/forms_qt/mime_transfer.h"
#include "platform/forms_qt/testing/form_snapshots.h"

namespace platform::forms_qt {
namespace {

using namespace platform::forms;

class Views : public Form {
  public:
    Views() : Form("Tviews") {
        ClientWidth = 290;
        ClientHeight = 200;
        tree = add<TreeView>("tree");
        tree->SetBounds(8, 8, 130, 180);
        tree->add(nullptr, "methods");
        list = add<ListView>("list");
        list->SetBounds(145, 8, 130, 180);
        list->Items.push_back({.Caption = "a.txt"});
    }
    TreeView* tree;
    ListView* list;
};

class QtDragDrop : public ::testing::Test {
  protected:
    void SetUp() override {
        qt = &testing::qt_session();
        form = make_form<Views>();
        form->Show();
        qt->backend().sync();
        QApplication::setActiveWindow(qt->backend().widget_of(*form));
    }
    void TearDown() override {
        form.reset();
        reset_forms_state_for_tests();
    }
    QTreeWidget* view_of(Control& c) { return qobject_cast<QTreeWidget*>(qt->backend().widget_of(c)); }

    // Another Qt program drags one of its rows (its own item-view data) onto `view`, below its rows.
    static bool dropped_from_another_program(QTreeWidget& view, QTreeWidget& other) {
        std::unique_ptr<QMimeData> mime(other.model()->mimeData({other.model()->index(0, 0)}));
        QWidget* viewport = view.viewport();
        const QPoint below(20, viewport->height() - 5);
        const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(below, actions, mime.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &enter);
        QDragMoveEvent move(below, actions, mime.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
        QDropEvent drop(below, actions, mime.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &drop);
        return enter.isAccepted() || move.isAccepted() || drop.isAccepted();
    }

    QtSession* qt = nullptr;
    FormPtr<Views> form;
};

TEST_F(QtDragDrop, views_without_a_drop_target_refuse_drops_and_take_in_no_rows) {
    QTreeWidget* tree = view_of(*form->tree);
    QTreeWidget* list = view_of(*form->list);
    ASSERT_NE(tree, nullptr);
    ASSERT_NE(list, nullptr);
    QTreeWidget other;
    other.addTopLevelItem(new QTreeWidgetItem(QStringList{QStringLiteral("stray")}));
    other.topLevelItem(0)->setData(0, Qt::UserRole, QVariant::fromValue<quintptr>(0x10));

    EXPECT_FALSE(dropped_from_another_program(*tree, other));
    EXPECT_FALSE(dropped_from_another_program(*list, other));
    EXPECT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItemCount(), 1);
    qt->backend().sync();

    // A row the views did not make (one without its node or item) is drawn plainly, not read.
    new QTreeWidgetItem(tree, QStringList{QStringLiteral("stray")});
    new QTreeWidgetItem(list, QStringList{QStringLiteral("stray")});
    form->list->Items[0].Cut = true;
    qt->backend().sync();
    EXPECT_EQ(form->tree->roots().size(), 1u);
    EXPECT_EQ(form->list->Items.size(), 1u);
}

// ---- what crosses to and from other programs ----

std::vector<std::string> paths_of(const QMimeData& mime) {
    const auto data = data_object_of(&mime);
    return shell::paths_of_data_object(data.get());
}

std::unique_ptr<QMimeData> uri_list(const QByteArray& lines) {
    auto mime = std::make_unique<QMimeData>();
    mime->setData(QStringLiteral("text/uri-list"), lines);
    return mime;
}

TEST(QtMimeTransfer, file_names_cross_as_their_own_bytes_both_ways) {
    const std::string name = "/d/a b%#?\n\xff.txt";
    const QByteArray encoded = "file:///d/a%20b%25%23%3F%0A%FF.txt";
    const auto data = shell::make_block_data_object({{shell::CF_HDROP, shell::make_hdrop({name})}});
    std::unique_ptr<QMimeData> out(mime_data_of(data.get()));
    ASSERT_EQ(out->urls().size(), 1);
    EXPECT_EQ(out->urls()[0].toEncoded(), encoded);
    EXPECT_EQ(paths_of(*uri_list(encoded + "\r\n")), std::vector<std::string>{name});
}

TEST(QtMimeTransfer, only_absolute_paths_of_this_machine_come_in_as_files) {
    EXPECT_EQ(paths_of(*uri_list("file:///d/a%00b\r\nfile:rel.txt\r\nfile://otherhost/x\r\n"
                                 "file://localhost/d/kept\r\nfile:///d/also\r\n")),
              (std::vector<std::string>{"/d/kept", "/d/also"}));
    // Nothing usable left: no files at all, so no target takes the drop as files.
    const auto data = data_object_of(uri_list("file:///d/a%00b\r\nfile://otherhost/x\r\n").get());
    const auto formats = shell::formats_of_data_object(data.get());
    EXPECT_EQ(std::count(formats.begin(), formats.end(), shell::CF_HDROP), 0);
}

TEST(QtMimeTransfer, another_programs_formats_come_in_only_under_names_this_program_uses) {
    const std::uint16_t ours = shell::register_clipboard_format("Zor Mime Test Format");
    QMimeData mime;
    mime.setData(QStringLiteral("application/x-zor-clipboard;format=zor%20mime%20test%20format"), "ours");
    mime.setData(QStringLiteral("application/x-zor-clipboard;format=nobody%27s%20format"), "theirs");
    const auto data = data_object_of(&mime);
    EXPECT_EQ(shell::formats_of_data_object(data.get()), std::vector<std::uint16_t>{ours});
}

}  // namespace
}  // namespace platform::forms_qt
