// Buttons: push buttons, bitmap buttons, speed buttons, check boxes, radio buttons and radio
// groups. A person's click clicks the control.
#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QToolButton>

#include "platform/forms_qt/backend_impl.h"

namespace platform::forms_qt {

using namespace platform::forms;

namespace {

// The pictures of the glyphs the forms name, as the style draws the same thing; an unknown
// name has none.
QIcon glyph_icon(const std::string& glyph, QStyle* style) {
    if (glyph == "kwbm_newfolder16_8bpp" || glyph == "KwFrmFolderBrowseDlg.CreateNewFolderBtn")
        return style->standardIcon(QStyle::SP_FileDialogNewFolder);
    if (glyph == "kwbm_delete16_8bpp" || glyph == "KwFrmFolderBrowseDlg.DeleteFolderBtn")
        return style->standardIcon(QStyle::SP_TrashIcon);
    return {};
}

QIcon bit_button_icon(BitBtnKind kind, QStyle* style) {
    switch (kind) {
        case BitBtnKind::ok:
        case BitBtnKind::yes:
            return style->standardIcon(QStyle::SP_DialogOkButton);
        case BitBtnKind::cancel:
        case BitBtnKind::no:
        case BitBtnKind::abort:
            return style->standardIcon(QStyle::SP_DialogCancelButton);
        case BitBtnKind::help:
            return style->standardIcon(QStyle::SP_DialogHelpButton);
        case BitBtnKind::close:
            return style->standardIcon(QStyle::SP_DialogCloseButton);
        case BitBtnKind::retry:
            return style->standardIcon(QStyle::SP_BrowserReload);
        default:
            return {};
    }
}

template <class W>
W* clicked_by_person(Impl& impl, W* w) {
    QObject::connect(w, &W::clicked, w,
                     [&impl, w] { impl.person<Control>(w, [](Control& c) { c.click(); }); });
    return w;
}

QWidget* make_push_button(Impl& impl, Control&, QWidget* parent) {
    auto* button = new QPushButton(parent);
    button->setAutoDefault(false);
    return clicked_by_person(impl, button);
}

void update_push_button(Impl&, Control& control, Impl::Bound& b, Common&) {
    auto& button = static_cast<Button&>(control);
    auto* q = static_cast<QPushButton*>(b.widget);
    const QString text = to_qstring(button.Caption);
    if (q->text() != text) q->setText(text);
    q->setDefault(button.Default);
}

}  // namespace

void add_button_adapters(Adapters& a) {
    a.add<Button, Control>({make_push_button, update_push_button, CaptionRoom::push_button});
    a.add<BitBtn, Button>({make_push_button,
                           [](Impl& impl, Control& control, Impl::Bound& b, Common& c) {
                               update_push_button(impl, control, b, c);
                               auto* q = static_cast<QPushButton*>(b.widget);
                               q->setIcon(bit_button_icon(static_cast<BitBtn&>(control).Kind, q->style()));
                           },
                           CaptionRoom::push_button});
    a.add<SpeedButton, Button>(
        {[](Impl& impl, Control&, QWidget* parent) -> QWidget* {
             // A speed button never takes the focus: the window's first key goes to the
             // control that has it.
             auto* button = new QToolButton(parent);
             button->setFocusPolicy(Qt::NoFocus);
             return clicked_by_person(impl, button);
         },
         [](Impl&, Control& control, Impl::Bound& b, Common&) {
             auto& speed = static_cast<SpeedButton&>(control);
             auto* q = static_cast<QToolButton*>(b.widget);
             q->setText(to_qstring(speed.Caption));
             q->setAutoRaise(speed.Flat);
             const QIcon icon = glyph_icon(speed.Glyph, q->style());
             q->setIcon(icon);
             q->setToolButtonStyle(icon.isNull() || speed.Caption.empty()
                                       ? (icon.isNull() ? Qt::ToolButtonTextOnly : Qt::ToolButtonIconOnly)
                                       : Qt::ToolButtonTextBesideIcon);
         },
         CaptionRoom::push_button});
    a.add<CheckBox, Control>({[](Impl& impl, Control&, QWidget* parent) -> QWidget* {
                                  return clicked_by_person(impl, new QCheckBox(parent));
                              },
                              [](Impl&, Control& control, Impl::Bound& b, Common&) {
                                  auto& check = static_cast<CheckBox&>(control);
                                  auto* q = static_cast<QCheckBox*>(b.widget);
                                  q->setText(to_qstring(check.Caption));
                                  q->setChecked(check.Checked);
                              },
                              CaptionRoom::style_hint});
    a.add<RadioButton, Control>({[](Impl& impl, Control&, QWidget* parent) -> QWidget* {
                                     auto* radio = new QRadioButton(parent);
                                     radio->setAutoExclusive(false);  // the model unchecks the siblings
                                     return clicked_by_person(impl, radio);
                                 },
                                 [](Impl&, Control& control, Impl::Bound& b, Common&) {
                                     auto& radio = static_cast<RadioButton&>(control);
                                     auto* q = static_cast<QRadioButton*>(b.widget);
                                     q->setText(to_qstring(radio.Caption));
                                     q->setChecked(radio.Checked);
                                 },
                                 CaptionRoom::style_hint});
    a.add<RadioGroup, Control>(
        {[](Impl&, Control&, QWidget* parent) -> QWidget* { return new QGroupBox(parent); },
         [](Impl& impl, Control& control, Impl::Bound& b, Common& c) {
             auto& group = static_cast<RadioGroup&>(control);
             auto* q = static_cast<QGroupBox*>(b.widget);
             const LayoutScale& sc = impl.scale;
             c.set_font = false;
             q->setTitle(to_qstring(group.Caption));
             const auto items = group.Items.strings();
             if (items != b.items) {
                 for (QRadioButton* r : q->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly)) delete r;
                 const int columns = std::max(group.Columns, 1);
                 const int count = static_cast<int>(items.size());
                 const int rows = std::max((count + columns - 1) / columns, 1);
                 const int column_width = (c.geometry.width() - sc.map_x(16)) / columns;
                 const int row_height = std::max((c.geometry.height() - sc.map_y(20)) / rows, 1);
                 for (int i = 0; i < count; ++i) {
                     auto* r = new QRadioButton(
                         to_qstring(strip_accelerator(items[static_cast<std::size_t>(i)])), q);
                     r->setAutoExclusive(false);
                     r->setGeometry(sc.map_x(8) + (i / rows) * column_width,
                                    sc.map_y(16) + (i % rows) * row_height, column_width, row_height);
                     r->setFont(c.font);
                     r->show();
                     QObject::connect(r, &QRadioButton::clicked, q, [&impl, q, i] {
                         impl.person<RadioGroup>(q, [&](RadioGroup& g) { g.select(i); });
                     });
                 }
                 b.items = items;
             }
             int i = 0;
             for (QRadioButton* r : q->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly))
                 r->setChecked(i++ == group.ItemIndex);
         }});
}

}  // namespace platform::forms_qt
