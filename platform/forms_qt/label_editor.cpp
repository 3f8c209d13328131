#include "platform/forms_qt/label_editor.h"

#include <QAbstractScrollArea>
#include <QKeyEvent>

#include "platform/forms_qt/backend_impl.h"

namespace platform::forms_qt {

LabelEditor::LabelEditor(QWidget* parent, const QString& text, std::function<void(const QString&, bool)> end)
    : QLineEdit(text, parent), end_(std::move(end)) {
    setFrame(true);
    selectAll();
    show();
    setFocus();
}

void LabelEditor::dismiss() {
    end_ = nullptr;
    hide();
    delete_when_idle(this);
}

void LabelEditor::finish(bool accept) {
    if (!end_) return;
    auto end = std::exchange(end_, nullptr);
    const QString typed = text();
    hide();
    delete_when_idle(this);
    end(typed, accept);
}

void LabelEditor::keyPressEvent(QKeyEvent* event) {
    // The keys end the edit here and go no further (Enter would press the form's default
    // button too).
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        finish(true);
    } else if (event->key() == Qt::Key_Escape) {
        finish(false);
    } else {
        QLineEdit::keyPressEvent(event);
    }
    event->accept();
}

void LabelEditor::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    finish(true);
}

void follow_label_edit(Impl& impl, QAbstractScrollArea& view, Impl::Bound& b, bool editing, const QRect& rect,
                       const std::string& text,
                       std::function<void(forms::Control&, const std::string&, bool)> end) {
    if (!editing) {
        if (auto* editor = static_cast<LabelEditor*>(b.editor.data())) editor->dismiss();
        b.editor = nullptr;
        return;
    }
    if (b.editor) return;
    QAbstractScrollArea* at = &view;
    auto* editor = new LabelEditor(
        view.viewport(), to_qstring(text), [&impl, at, end](const QString& typed, bool accept) {
            impl.person<forms::Control>(at, [&](forms::Control& c) { end(c, from_qstring(typed), accept); });
            at->setFocus();
        });
    editor->setGeometry(rect.adjusted(-2, -2, 2, 2).united(QRect(rect.topLeft(), QSize(120, rect.height()))));
    b.editor = editor;
}

}  // namespace platform::forms_qt
