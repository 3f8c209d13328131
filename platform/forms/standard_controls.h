// The standard controls: labels, edits, memos, buttons, check and radio buttons, and the
// containers (group box, panel, scroll box, bevel).
//
// State is in plain members; assigning one is what code does and fires nothing. The helpers
// named after a person's action (type_text, click, check) fire the events that action fires.
#pragma once

#include <string>
#include <string_view>

#include "platform/forms/captioned_control.h"
#include "platform/forms/component.h"
#include "platform/forms/message_dialog.h"
#include "platform/forms/string_list.h"

namespace platform::forms {

class Label : public CaptionedControl {
  public:
    FORMS_CLASS_NAME("TLabel")
    forms::Alignment Alignment = Alignment::left;
    bool AutoSize = true;
    bool WordWrap = false;
    forms::Font Font;
};

// A label in a window of its own (it can have a border and take part in tab order).
class StaticText : public Label {
  public:
    FORMS_CLASS_NAME("TStaticText")
};

class Edit : public Control {
  public:
    FORMS_CLASS_NAME("TEdit")
    Edit() {
        TabStop = true;
        Color = clWindow;
    }
    std::string Text;
    bool ReadOnly = false;
    int MaxLength = 0;  // 0: no limit
    NotifyEvent OnChange;

    // A person replacing the text: sets Text (cut to MaxLength) and fires OnChange when it
    // changed. Refused on a read-only edit.
    void type_text(std::string_view text);
};

class Memo : public Control {
  public:
    FORMS_CLASS_NAME("TMemo")
    Memo() {
        TabStop = true;
        Color = clWindow;
    }
    StringList Lines;
    bool ReadOnly = false;
    bool WordWrap = true;
    bool WantTabs = false;  // false: Tab moves on in the tab order instead of typing a tab
    NotifyEvent OnChange;

    std::string text() const { return Lines.text(); }
    // A person replacing the whole text: Lines from it, then OnChange.
    void type_text(std::string_view text);
};

class Button : public CaptionedControl {
  public:
    FORMS_CLASS_NAME("TButton")
    Button() { TabStop = true; }
    // Clicking a button with a modal result gives the form that result (which ends its
    // modal loop) before OnClick runs.
    ModalResult modal_result = mr_none;
    bool Default = false;  // clicked by Enter
    bool Cancel = false;   // clicked by Esc
    void click() override;
};

enum class BitBtnKind { custom, ok, cancel, help, yes, no, close, abort, retry, ignore, all };

// A button with a glyph; the glyph is only a name here (drawing backends look it up).
class BitBtn : public Button {
  public:
    FORMS_CLASS_NAME("TBitBtn")
    BitBtnKind Kind = BitBtnKind::custom;
    std::string Glyph;
    int NumGlyphs = 1;
};

class SpeedButton : public Button {
  public:
    FORMS_CLASS_NAME("TSpeedButton")
    SpeedButton() { TabStop = false; }
    std::string Glyph;
    int NumGlyphs = 1;
    bool Flat = false;
};

class CheckBox : public CaptionedControl {
  public:
    FORMS_CLASS_NAME("TCheckBox")
    CheckBox() { TabStop = true; }
    bool Checked = false;
    // A person's click toggles Checked, then OnClick.
    void click() override;
    // A person setting the box to `checked`: a click when it differs, nothing otherwise.
    void check(bool checked);
};

// Radio buttons with the same parent form one group: checking one unchecks the others.
class RadioButton : public CaptionedControl {
  public:
    FORMS_CLASS_NAME("TRadioButton")
    RadioButton() { TabStop = true; }
    bool Checked = false;
    // Checks this one and unchecks its siblings; OnClick.
    void click() override;
    // As click, for code (fires nothing).
    void set_checked();
};

// A group box whose radio buttons are its Items; ItemIndex is the checked one (-1: none).
class RadioGroup : public CaptionedControl {
  public:
    FORMS_CLASS_NAME("TRadioGroup")
    StringList Items;
    int ItemIndex = -1;
    int Columns = 1;
    // A person choosing item `index`: ItemIndex, then OnClick when it changed.
    void select(int index);
};

class GroupBox : public CaptionedControl {
  public:
    FORMS_CLASS_NAME("TGroupBox")
};

enum class BevelStyle { none, lowered, raised };

class Panel : public CaptionedControl {
  public:
    FORMS_CLASS_NAME("TPanel")
    BevelStyle BevelOuter = BevelStyle::raised;
    BevelStyle BevelInner = BevelStyle::none;
    forms::Alignment Alignment = Alignment::center;
};

enum class BorderStyle { none, single };

// A container that scrolls its children; the method editor keeps its parameter rows in one
// and finds them with find_child (exact names).
class ScrollBox : public Control {
  public:
    FORMS_CLASS_NAME("TScrollBox")
    forms::BorderStyle BorderStyle = BorderStyle::single;
    int HorzScrollPosition = 0;
    int VertScrollPosition = 0;
};

enum class BevelShape { box, frame, top_line, bottom_line, left_line, right_line, spacer };

class Bevel : public Control {
  public:
    FORMS_CLASS_NAME("TBevel")
    BevelShape Shape = BevelShape::box;
    BevelStyle Style = BevelStyle::lowered;
};

}  // namespace platform::forms
