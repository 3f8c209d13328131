// The application and the screen, and the forms layer's unit state.
//
// Application holds the title, the ShowMainForm flag, the main form and the forms it created
// (create_form, in creation order; it frees them in reverse order). Screen has the screen's
// size (1280 x 1024 unless a test sets it), its pixels per inch, the cursor, and every form
// that exists.
//
// All of the layer's process state is in one struct, FormsState, reached through
// forms_state(); reset_forms_state_for_tests() frees the application's forms and restores
// every default (the interaction provider included).
//
// Main thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/forms/backend.h"
#include "platform/forms/form.h"
#include "platform/forms/hidden_window.h"

namespace platform::forms {

class InteractionProvider;
struct PropertyTable;

// What a hint shows and where; a show-hint handler may change any of it.
struct HintInfo {
    Control* control = nullptr;
    Point cursor_pos;
    Rect cursor_rect;
    std::string hint;
    int hide_timeout = 0;
    bool can_show = true;
};
using ShowHintEvent = std::function<void(HintInfo& info)>;

class Application {
  public:
    std::string Title;
    bool ShowMainForm = true;
    Form* MainForm = nullptr;
    bool Terminated = false;
    int HintHidePause = 2500;
    int HintPause = 500;
    ShowHintEvent OnShowHint;
    NotifyEvent OnHint;

    // Constructs a form owned by the application and fires its OnCreate. The first form
    // created becomes the main form.
    template <class F, class... Args>
    F& create_form(Args&&... args) {
        auto* form = new F(std::forward<Args>(args)...);
        adopt_form(form);
        form->created();
        return *form;
    }
    // The forms this application created and still holds, in creation order.
    std::vector<Form*> forms() const;
    // Frees one of its forms now (OnDestroy, then delete); false when it does not hold it.
    bool free_form(Form* form);
    // Frees it once the messages posted so far are handled.
    void release_form(Form* form);
    void free_all_forms();

    // Handles what is pending for the thread, without waiting.
    void process_messages();
    // Shows the main form when ShowMainForm is set, then runs the thread's message loop until
    // terminate(); returns the exit code.
    int run();
    // Ends run() (a WM_QUIT for the outer loop).
    void terminate(int exit_code = 0);

    // The hint a person resting the mouse on `control` at `point` would get: the control's
    // Hint (when ShowHint), passed through OnShowHint.
    HintInfo show_hint(Control& control, Point point);

  private:
    void adopt_form(Form* form);
    std::vector<std::unique_ptr<Form, FormDeleter>> forms_;
    std::unique_ptr<HiddenWindow> release_window_;
};

void reset_forms_state_for_tests();

// hsplit: the bar between panes side by side; vsplit: between panes one above the other.
enum class Cursor { normal, hour_glass, cross, arrow, drag, no_drop, hsplit, vsplit };

class Screen {
  public:
    int Width = 1280;
    int Height = 1024;
    int PixelsPerInch = 96;
    forms::Cursor Cursor = Cursor::normal;

    // Every form that exists now, in creation order.
    const std::vector<Form*>& forms() const { return forms_; }
    int form_count() const { return static_cast<int>(forms_.size()); }
    // The active form (the one last shown or activated), or nullptr.
    Form* ActiveForm = nullptr;
    // The visible form nearest the front (topmost ones first), or nullptr.
    Form* front_form() const;

  private:
    friend class Form;
    friend void reset_forms_state_for_tests();
    std::vector<Form*> forms_;
};

struct FormsState {
    FormsState();
    ~FormsState();
    Application application;
    Screen screen;
    InteractionProvider* provider = nullptr;
    Backend* backend = nullptr;  // nullptr: the headless one below
    HeadlessBackend headless;
    std::uint64_t z_counter = 0;
    std::unique_ptr<PropertyTable> properties;  // see properties.h
};

FormsState& forms_state();
// Frees the application's forms and restores every default. Forms held elsewhere must be
// gone already.
void reset_forms_state_for_tests();

inline Application& application() {
    return forms_state().application;
}
inline Screen& screen() {
    return forms_state().screen;
}

}  // namespace platform::forms
