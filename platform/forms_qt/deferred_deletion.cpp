#include "platform/forms_qt/deferred_deletion.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <utility>
#include <vector>

namespace platform::forms_qt {

namespace {

struct DeletionState {
    std::vector<QPointer<QObject>> pending;
    int handlers = 0;
};

DeletionState& deletion_state() {
    static DeletionState state;
    return state;
}

}  // namespace

void delete_when_idle(QObject* object) {
    if (object) deletion_state().pending.emplace_back(object);
}

void delete_idle_objects() {
    DeletionState& s = deletion_state();
    if (s.handlers > 0) return;
    // Freeing one may free others (its children): each is looked at again when its turn comes.
    std::vector<QPointer<QObject>> pending = std::exchange(s.pending, {});
    for (QPointer<QObject>& object : pending) delete object.data();
    if (QCoreApplication::instance()) QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

HandlerScope::HandlerScope() {
    ++deletion_state().handlers;
}
HandlerScope::~HandlerScope() {
    --deletion_state().handlers;
}

}  // namespace platform::forms_qt
