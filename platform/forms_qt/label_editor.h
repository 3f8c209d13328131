// The in-place editor of a tree's or a list's label: a line editor over the item, holding the
// text the control gives. Enter ends the edit with the text through the control's end-edit
// path, Escape ends it without, and losing the focus ends it with the text, as the platform's
// label editor does. The control then runs what it deferred while the editor was open.
#pragma once

#include <QLineEdit>
#include <functional>

namespace platform::forms_qt {

class LabelEditor : public QLineEdit {
  public:
    // `end` gets the editor's text and whether it was accepted; it runs once.
    LabelEditor(QWidget* parent, const QString& text, std::function<void(const QString&, bool)> end);
    // The control ended the edit itself: the editor goes without ending it again.
    void dismiss();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void finish(bool accept);
    std::function<void(const QString&, bool)> end_;
};

}  // namespace platform::forms_qt
