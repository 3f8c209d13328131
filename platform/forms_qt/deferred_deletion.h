// Qt objects the backend is done with, freed only when none of their handlers can be running.
//
// A handler of a widget or a menu may wait in a nested loop (a bus call, a modal form, a
// message box), and that loop may close the menu, free the form or rebuild the widgets. The
// object whose signal called the handler must still be there when the handler returns into
// Qt. So the backend never deletes such an object at once, nor lets Qt do it (deleteLater,
// WA_DeleteOnClose): it hides it and hands it here, and the outermost loop frees it when it is
// about to sleep with nothing of Qt's and no handler of ours on the stack.
//
// Main thread only.
#pragma once

class QObject;

namespace platform::forms_qt {

// Frees `object` at the next delete_idle_objects() (nothing when it went with its parent first).
void delete_when_idle(QObject* object);
// Frees what was handed to delete_when_idle and what Qt itself was asked to delete later.
// Nothing while a person's action runs (HandlerScope); the Qt waiter calls it only from the
// outermost wait. Tests call it between their steps.
void delete_idle_objects();

// Marks a person's action running on the stack for as long as it lives.
class HandlerScope {
  public:
    HandlerScope();
    ~HandlerScope();
    HandlerScope(const HandlerScope&) = delete;
    HandlerScope& operator=(const HandlerScope&) = delete;
};

}  // namespace platform::forms_qt
