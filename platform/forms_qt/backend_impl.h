// Inside the Qt backend: its state, and the adapters that draw each kind of control.
//
// Each control kind has one adapter, registered once by its exact type (adapters_*.cpp, one
// file per family): `make` builds the widget and wires the person's input on it to the
// control's person methods, `update` brings the widget in line with the control's members. A
// control of a type nobody registered (a control a subsystem derived) takes the adapter of its
// nearest registered base; one that reaches no adapter but the bare control's is reported.
#pragma once

#include <QFont>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <typeindex>
#include <unordered_map>
#include <vector>

#include "platform/forms/controls.h"
#include "platform/forms_qt/deferred_deletion.h"
#include "platform/forms_qt/qt_backend.h"
#include "platform/shell/ole.h"

class QAbstractScrollArea;
class QTreeWidgetItem;
class QPainter;

namespace platform::forms_qt {

void complain(const char* what);
// A widget property: the widget turns the right button into its control's mouse or item menu
// itself, so a context-menu request on it is not taken again.
inline constexpr const char* own_right_click = "zor_own_right_click";
// The frame and caption of a window the forms were laid out for: outer size less client size.
inline constexpr int design_frame_width = 8;
inline constexpr int design_frame_height = 27;
// Maps a rectangle of the forms' pixels so that neighbouring edges stay together.
QRect map_rect(const LayoutScale& s, int left, int top, int width, int height);
Qt::Alignment to_alignment(forms::Alignment a);

struct QtBackend::Impl {
    struct Bound {
        QWidget* widget = nullptr;
        QWidget* container = nullptr;       // where the children go
        std::vector<std::string> items;     // what a list widget shows, to rebuild only on change
        std::string signature;              // of a tree
        forms::Control* focused = nullptr;  // a form's ActiveControl when last synced
        bool shown_once = false;
        int top_index = 0;         // a list box's top item when last synced
        QPointer<QWidget> editor;  // the in-place label editor, while one is open
    };

    QtBackend& backend;
    std::unordered_map<const forms::Control*, Bound> bound;
    std::unordered_map<const QWidget*, forms::Control*> controls;
    int syncing = 0;
    bool painting = false;
    LayoutScale scale;  // of the form being synced
    QMetaObject::Connection focus_connection;
    std::unique_ptr<QObject> key_filter;               // the focused control's key-down
    std::unique_ptr<QObject> context_menu_filter;      // a control's pop-up menu for the toolkit's own
    platform::shell::DragRunner previous_drag_runner;  // given back when the backend goes

    explicit Impl(QtBackend& b) : backend(b) {}

    // Runs a person's action on the control of `widget`, if it still has one. The action may
    // wait in a nested loop and come back to a changed world: code after it looks the control
    // up again (another person() call) rather than keeping it.
    template <class C>
    void person(const QWidget* widget, const std::function<void(C&)>& action) {
        if (syncing) return;  // our own update of the widget, not a person
        auto it = controls.find(widget);
        if (it == controls.end()) return;
        auto* control = dynamic_cast<C*>(it->second);
        if (!control) return;
        // The widget, and whatever Qt object called us, outlive the action (deferred_deletion.h).
        const HandlerScope running;
        try {
            action(*control);
        } catch (const std::exception& e) {
            complain(e.what());
        }
    }

    QWidget* make(forms::Control& control, QWidget* parent);
    void update(forms::Control& control, Bound& b);
    void sync_tree(forms::Control& control, QWidget* parent);
    void forget(const forms::Control& control);
};

using Impl = QtBackend::Impl;

// What an adapter's update may change of the common part every widget gets afterwards.
struct Common {
    QRect geometry;        // where the widget goes (a label that sizes itself changes it)
    QFont font;            // the form's font
    bool set_font = true;  // false: the adapter set its own
};

// How a widget's caption takes room, which the cut-off check of snapshots measures.
enum class CaptionRoom {
    none,         // not measured
    label_text,   // the text itself, wrapped at the widget's width when the label wraps
    group_title,  // the title along the frame's top
    push_button,  // the text and the button's margins
    style_hint,   // what the style asks for the box and its text
};

struct Adapter {
    std::function<QWidget*(Impl&, forms::Control&, QWidget* parent)> make;
    std::function<void(Impl&, forms::Control&, Impl::Bound&, Common&)> update;
    CaptionRoom caption_room = CaptionRoom::none;
};

class Adapters {
  public:
    // Registers the adapter of exactly `T`; `Base` is the registered type T derives from
    // (void for the bare control), so a derived type nobody registered finds its nearest one.
    template <class T, class Base>
    void add(Adapter adapter) {
        static_assert(std::is_same_v<Base, void> || std::is_base_of_v<Base, T>);
        Entry e;
        e.adapter = std::move(adapter);
        e.is = [](const forms::Control& c) {
            if constexpr (std::is_same_v<T, forms::Control>)
                return true;
            else
                return dynamic_cast<const T*>(&c) != nullptr;
        };
        if constexpr (!std::is_same_v<Base, void>) e.base = std::type_index(typeid(Base));
        entries_.emplace(std::type_index(typeid(T)), std::move(e));
    }
    // The adapter of the control's exact type, else of its nearest registered base.
    const Adapter& of(const forms::Control& control);
    // True when the control reached only the bare control's adapter.
    bool bare(const forms::Control& control);

  private:
    struct Entry {
        Adapter adapter;
        std::function<bool(const forms::Control&)> is;
        std::optional<std::type_index> base;
    };
    const Entry& resolve(const forms::Control& control);
    std::unordered_map<std::type_index, Entry> entries_;
    std::unordered_map<std::type_index, const Entry*> resolved_;
};

// Every adapter, registered once.
Adapters& adapters();

// The registrations of each family.
void add_button_adapters(Adapters& a);
void add_edit_adapters(Adapters& a);
void add_list_adapters(Adapters& a);
void add_tree_adapters(Adapters& a);
void add_paint_adapters(Adapters& a);
void add_form_adapters(Adapters& a);

// Shows or removes the in-place label editor of a tree or a list view in `rect` of its
// viewport: open while the control edits a label (`text` its text), gone when it does not.
// `end` runs the control's end of the edit with the editor's text.
void follow_label_edit(Impl& impl, QAbstractScrollArea& view, Impl::Bound& b, bool editing, const QRect& rect,
                       const std::string& text,
                       std::function<void(forms::Control&, const std::string&, bool)> end);

// The node a tree widget's item shows (none for an item the adapter did not make).
forms::TreeNode* node_of(const QTreeWidgetItem* item);

// Draws one recorded call of a canvas (system colours from `palette`).
void replay(QPainter& p, const forms::CanvasCall& call, const QPalette& palette);

// Applies the window part of a form (flags, caption, palette, size) to its widget.
void update_form_window(Impl& impl, forms::Form& form, Impl::Bound& b);

}  // namespace platform::forms_qt
