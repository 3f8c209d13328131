#include "platform/forms_qt/drag_drop.h"

#include <QApplication>
#include <QDrag>
#include <QDropEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <optional>
#include <utility>

#include "platform/forms/controls.h"
#include "platform/forms_qt/keys.h"
#include "platform/forms_qt/mime_transfer.h"

namespace platform::forms_qt {

using namespace platform::forms;

namespace {

// How often DragOver repeats while the pointer rests over a target.
constexpr int kRestRepeatMs = 75;
constexpr std::uint32_t kDropEffects =
    shell::DROPEFFECT_COPY | shell::DROPEFFECT_MOVE | shell::DROPEFFECT_LINK;

// The drag this process runs: the view it started from, and what our own target's Drop gave.
struct OurDrag {
    QPointer<QWidget> from;
    bool running = false;
    std::optional<std::uint32_t> dropped;
};

OurDrag& our_drag() {
    static OurDrag drag;
    return drag;
}

// The viewport's events of one tree or list view: presses that turn into drags, and drags.
class ViewDragDrop final : public QObject {
  public:
    ViewDragDrop(Impl& impl, QTreeWidget& view) : QObject(&view), impl_(impl), view_(view) {
        view.setAcceptDrops(true);
        view.viewport()->setAcceptDrops(true);
        view.viewport()->installEventFilter(this);
        rest_.setInterval(kRestRepeatMs);
        QObject::connect(&rest_, &QTimer::timeout, this, [this] { drag_over(); });
    }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress: {
                auto* e = static_cast<QMouseEvent*>(event);
                pressed_ = e->button() == Qt::LeftButton && view_.itemAt(e->position().toPoint());
                press_at_ = e->position().toPoint();
                return false;
            }
            case QEvent::MouseMove: {
                auto* e = static_cast<QMouseEvent*>(event);
                if (!pressed_ || !(e->buttons() & Qt::LeftButton)) {
                    pressed_ = false;
                    return false;
                }
                // Moving with the button down drags; it never moves the selection along.
                if ((e->position().toPoint() - press_at_).manhattanLength() >=
                    QApplication::startDragDistance()) {
                    pressed_ = false;
                    start_drag(e->modifiers());
                }
                return true;
            }
            case QEvent::MouseButtonRelease:
                pressed_ = false;
                return false;
            // Every drag event stops here: the item view's own drop would insert another
            // program's rows, rows without a node or item of the control.
            case QEvent::DragEnter:
                drag_enter(*static_cast<QDragEnterEvent*>(event));
                return true;
            case QEvent::DragMove:
                drag_move(*static_cast<QDragMoveEvent*>(event));
                return true;
            case QEvent::DragLeave:
                leave();
                return true;
            case QEvent::Drop:
                drop(*static_cast<QDropEvent*>(event));
                return true;
            default:
                return false;
        }
    }

  private:
    Control* control() const {
        const auto it = impl_.controls.find(&view_);
        return it == impl_.controls.end() ? nullptr : it->second;
    }

    void start_drag(Qt::KeyboardModifiers modifiers) {
        QTreeWidgetItem* item = view_.itemAt(press_at_);
        if (!item) return;
        our_drag().from = &view_;
        if (dynamic_cast<TreeView*>(control())) {
            TreeNode* node = node_of(item);
            impl_.person<TreeView>(&view_, [node](TreeView& t) { t.begin_drag(node, false); });
        } else {
            const int index = view_.indexOfTopLevelItem(item);
            const ShiftState shift = shift_state(modifiers);
            impl_.person<ListView>(&view_, [index, shift](ListView& l) {
                // The item pressed on is dragged with the selection, as a press selects it.
                if (index >= 0 && index < static_cast<int>(l.Items.size()) &&
                    !l.Items[static_cast<std::size_t>(index)].Selected)
                    l.click_item(index, shift);
                l.drag_selection(0);
            });
        }
        our_drag().from = nullptr;
        impl_.backend.sync();
    }

    // Where the control lays out the item under `at` (a viewport point), in the form's screen.
    shell::POINTL drop_point(QPoint at) const {
        Control* c = control();
        if (!c) return {};
        const LayoutScale scale = layout_scale(c->form() ? c->form()->Font : Font{});
        Rect laid{};
        QTreeWidgetItem* item = view_.itemAt(at);
        if (auto* tree = dynamic_cast<TreeView*>(c); tree && item) laid = tree->node_rect(node_of(item));
        if (auto* list = dynamic_cast<ListView*>(c); list && item)
            laid = list->item_rect(view_.indexOfTopLevelItem(item));
        Point client;
        if (laid.height() > 0 && laid.width() > 0) {
            // The same fraction of the item's row, so the control finds the same item.
            const QRect shown = view_.visualItemRect(item);
            const double down = shown.height() > 0 ? double(at.y() - shown.top()) / shown.height() : 0;
            client.y =
                std::clamp(laid.top + static_cast<int>(down * laid.height()), laid.top, laid.bottom - 1);
            client.x = std::clamp(static_cast<int>(at.x() / scale.x), laid.left, laid.right - 1);
        } else {
            const QPoint in_view = view_.viewport()->mapTo(&view_, at);
            client = {static_cast<int>(in_view.x() / scale.x), static_cast<int>(in_view.y() / scale.y)};
        }
        const Point screen = c->client_to_screen(client);
        return {screen.x, screen.y};
    }

    void drag_enter(QDragEnterEvent& e) {
        leave();
        Control* c = control();
        target_ = c ? shell::drop_target_of(c->drop_window()) : com::ComPtr<shell::IDropTarget>{};
        if (!target_) return e.ignore();
        data_ = data_object_of(e.mimeData());
        follow(e);
        std::uint32_t effect = allowed_;
        if (com::failed(target_->DragEnter(data_.get(), keys_, point_, &effect)))
            effect = shell::DROPEFFECT_NONE;
        // Taken even with no effect here: the moves that follow may find a target.
        e.setDropAction(action_of(effect & allowed_, e.proposedAction()));
        e.accept();
        rest_.start();
        shown_after_target();
    }

    void drag_move(QDragMoveEvent& e) {
        if (!target_) return e.ignore();
        follow(e);
        answer(e, drag_over());
    }

    void drop(QDropEvent& e) {
        if (!target_) return e.ignore();
        rest_.stop();
        follow(e);
        const auto target = std::move(target_);
        const auto data = std::move(data_);
        std::uint32_t effect = allowed_;
        if (com::failed(target->Drop(data.get(), keys_, point_, &effect))) effect = shell::DROPEFFECT_NONE;
        if (our_drag().running) our_drag().dropped = effect;
        answer(e, effect);
        shown_after_target();
    }

    void leave() {
        rest_.stop();
        if (const auto target = std::move(target_)) {
            target->DragLeave();
            shown_after_target();
        }
        data_.reset();
    }

    void follow(const QDropEvent& e) {
        keys_ = key_state_of(e.buttons(), e.modifiers());
        point_ = drop_point(e.position().toPoint());
        allowed_ = effects_of(e.possibleActions());
        proposed_ = e.proposedAction();
    }

    // The target's answer at the last point (the event's, or the same again while resting).
    std::uint32_t drag_over() {
        if (!target_) return shell::DROPEFFECT_NONE;
        std::uint32_t effect = allowed_;
        if (com::failed(target_->DragOver(keys_, point_, &effect))) effect = shell::DROPEFFECT_NONE;
        shown_after_target();
        return effect;
    }

    void answer(QDropEvent& e, std::uint32_t effect) {
        const Qt::DropAction action = action_of(effect & allowed_ & kDropEffects, proposed_);
        if (action == Qt::IgnoreAction) return e.ignore();
        e.setDropAction(action);
        e.accept();
    }

    // The target may have scrolled the control or opened a node: the widget shows it now, as
    // Qt's own drag loop does not wait in ours.
    void shown_after_target() {
        impl_.backend.sync();
        const Control* c = control();
        const auto* tree = dynamic_cast<const TreeView*>(c);
        const auto* list = dynamic_cast<const ListView*>(c);
        const int top = tree ? tree->top_row() : list ? list->top_row() : 0;
        if (view_.verticalScrollBar()->value() != top) view_.verticalScrollBar()->setValue(top);
    }

    Impl& impl_;
    QTreeWidget& view_;
    bool pressed_ = false;
    QPoint press_at_;
    QTimer rest_;
    com::ComPtr<shell::IDropTarget> target_;
    com::ComPtr<shell::IDataObject> data_;
    std::uint32_t keys_ = 0;
    shell::POINTL point_;
    std::uint32_t allowed_ = shell::DROPEFFECT_NONE;
    Qt::DropAction proposed_ = Qt::IgnoreAction;
};

com::HRESULT run_drag(shell::IDataObject* data, shell::IDropSource* source, std::uint32_t allowed,
                      std::uint32_t* effect) {
    if (effect) *effect = shell::DROPEFFECT_NONE;
    // The view the drag started from: a widget that goes during the drag would take it along.
    QObject* from = std::exchange(our_drag().from, nullptr);
    if (!from) from = QApplication::activeWindow();
    if (!from) return shell::DRAGDROP_S_CANCEL;
    // Qt frees the drag itself: another program may still ask for its data after the drop.
    auto* drag = new QDrag(from);
    drag->setMimeData(mime_data_of(data));
    const auto source_ref = com::ComPtr<shell::IDropSource>::share(source);
    QObject::connect(drag, &QDrag::actionChanged, drag,
                     [source_ref](Qt::DropAction action) { source_ref->GiveFeedback(effects_of(action)); });
    our_drag().running = true;
    our_drag().dropped.reset();
    const Qt::DropAction done = drag->exec(actions_of(allowed));
    our_drag().running = false;
    // A drop our own target took ends as a drop with the target's effect, even one that did
    // nothing (Qt reports that as no action): the source refreshes what the target changed.
    if (const auto dropped = std::exchange(our_drag().dropped, std::nullopt)) {
        if (effect) *effect = *dropped & allowed;
        return shell::DRAGDROP_S_DROP;
    }
    if (done == Qt::IgnoreAction) return shell::DRAGDROP_S_CANCEL;
    if (effect) *effect = effects_of(done) & allowed;
    return shell::DRAGDROP_S_DROP;
}

}  // namespace

void take_drags_and_drops(Impl& impl, QTreeWidget& view) {
    new ViewDragDrop(impl, view);
}

shell::DragRunner qt_drag_runner() {
    return run_drag;
}

}  // namespace platform::forms_qt
