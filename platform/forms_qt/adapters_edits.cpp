// Texts: labels, edits, memos and combo boxes. A person's typing reaches the control as
// typed text.
#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "platform/forms_qt/backend_impl.h"
#include "platform/forms_qt/screen_position.h"

namespace platform::forms_qt {

using namespace platform::forms;

namespace {

class ComboWidget : public QComboBox {
  public:
    ComboWidget(Impl& impl, QWidget* parent) : QComboBox(parent), impl_(impl) {}
    void showPopup() override {
        impl_.person<ComboBox>(this, [](ComboBox& c) { c.drop_down(); });
        // The drop-down's handler may have waited and the box gone or been hidden meanwhile.
        if (!impl_.controls.count(this) || !isVisible()) return;
        QComboBox::showPopup();
        // Qt placed the list from its idea of where the window is; where it stays in a host's
        // window that moved, the list is moved to the box.
        QWidget* list = view()->window();
        const QPoint off = global_position(*this, {0, 0}) - mapToGlobal(QPoint(0, 0));
        if (list != window() && !off.isNull()) list->move(list->pos() + off);
    }

  private:
    Impl& impl_;
};

}  // namespace

void add_edit_adapters(Adapters& a) {
    a.add<Label, Control>(
        {[](Impl&, Control&, QWidget* parent) -> QWidget* {
             auto* label = new QLabel(parent);
             label->setTextFormat(Qt::PlainText);
             return label;
         },
         [](Impl&, Control& control, Impl::Bound& b, Common& c) {
             auto& label = static_cast<Label&>(control);
             auto* q = static_cast<QLabel*>(b.widget);
             const Form* form = control.form();
             const Font form_font = form ? form->Font : Font{};
             c.font = to_qfont(label.Font == Font{} ? form_font : label.Font);
             c.set_font = false;
             const QString text = to_qstring(strip_accelerator(label.Caption));
             if (q->text() != text) q->setText(text);
             q->setAlignment(to_alignment(label.Alignment) | Qt::AlignTop);
             q->setWordWrap(label.WordWrap);
             QPalette pal = q->palette();
             pal.setColor(QPalette::WindowText, to_qcolor(label.Font.Color, pal));
             q->setPalette(pal);
             q->setFont(c.font);
             if (label.AutoSize) {
                 const QFontMetrics fm(c.font);
                 const int wrap_width = std::max(c.geometry.width(), 1);
                 const QRect need =
                     fm.boundingRect(QRect(0, 0, label.WordWrap ? wrap_width : 100000, 100000),
                                     (label.WordWrap ? Qt::TextWordWrap : 0) | Qt::AlignLeft, text);
                 c.geometry.setSize(QSize(label.WordWrap ? wrap_width : need.width(), need.height()));
             }
         },
         CaptionRoom::label_text});
    a.add<Edit, Control>(
        {[](Impl& impl, Control&, QWidget* parent) -> QWidget* {
             auto* edit = new QLineEdit(parent);
             QObject::connect(edit, &QLineEdit::textEdited, edit, [&impl, edit](const QString& text) {
                 impl.person<Edit>(edit, [&](Edit& e) { e.type_text(from_qstring(text)); });
             });
             return edit;
         },
         [](Impl&, Control& control, Impl::Bound& b, Common&) {
             auto& edit = static_cast<Edit&>(control);
             auto* q = static_cast<QLineEdit*>(b.widget);
             const QString text = to_qstring(edit.Text);
             if (q->text() != text) q->setText(text);
             if (q->isReadOnly() != edit.ReadOnly) q->setReadOnly(edit.ReadOnly);
             // Setting the length sets the text again, losing the person's selection: only
             // when it changed.
             const int max_length = edit.MaxLength > 0 ? edit.MaxLength : 32767;
             if (q->maxLength() != max_length) q->setMaxLength(max_length);
         }});
    a.add<Memo, Control>(
        {[](Impl& impl, Control&, QWidget* parent) -> QWidget* {
             auto* memo = new QPlainTextEdit(parent);
             QObject::connect(memo, &QPlainTextEdit::textChanged, memo, [&impl, memo] {
                 impl.person<Memo>(memo, [&](Memo& m) { m.type_text(from_qstring(memo->toPlainText())); });
             });
             return memo;
         },
         [](Impl&, Control& control, Impl::Bound& b, Common&) {
             auto& memo = static_cast<Memo&>(control);
             auto* q = static_cast<QPlainTextEdit*>(b.widget);
             // Set only when the lines differ from the ones the widget shows: setting the text
             // puts the person's caret back at the start.
             StringList shown;
             shown.set_text(from_qstring(q->toPlainText()));
             if (shown.strings() != memo.Lines.strings()) {
                 QStringList lines;
                 for (const std::string& line : memo.Lines) lines << to_qstring(line);
                 q->setPlainText(lines.join(QLatin1Char('\n')));
             }
             q->setReadOnly(memo.ReadOnly);
             q->setLineWrapMode(memo.WordWrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
             q->setTabChangesFocus(!memo.WantTabs);
         }});
    a.add<ComboBox, Control>(
        {[](Impl& impl, Control&, QWidget* parent) -> QWidget* {
             auto* combo = new ComboWidget(impl, parent);
             QObject::connect(combo, &QComboBox::activated, combo, [&impl, combo](int index) {
                 impl.person<ComboBox>(combo, [&](ComboBox& c) { c.select(index); });
             });
             return combo;
         },
         [](Impl& impl, Control& control, Impl::Bound& b, Common&) {
             auto& combo = static_cast<ComboBox&>(control);
             auto* q = static_cast<QComboBox*>(b.widget);
             const bool editable = combo.Style != ComboStyle::drop_down_list;
             if (q->isEditable() != editable) q->setEditable(editable);
             if (editable && q->lineEdit() && !q->lineEdit()->property("zor_connected").toBool()) {
                 QLineEdit* line = q->lineEdit();
                 line->setProperty("zor_connected", true);
                 QObject::connect(line, &QLineEdit::textEdited, q, [&impl, q](const QString& text) {
                     impl.person<ComboBox>(q, [&](ComboBox& c) { c.type_text(from_qstring(text)); });
                 });
             }
             const auto items = combo.Items.strings();
             if (items != b.items) {
                 q->clear();
                 for (const std::string& item : items) q->addItem(to_qstring(item));
                 b.items = items;
             }
             q->setMaxVisibleItems(std::max(combo.DropDownCount, 1));
             q->setCurrentIndex(combo.ItemIndex);
             if (editable && q->lineEdit()) {
                 const QString text = to_qstring(combo.text());
                 if (q->lineEdit()->text() != text) q->lineEdit()->setText(text);
             }
         }});
}

}  // namespace platform::forms_qt
