// A control that shows a caption: labels, buttons, check and radio buttons, group boxes,
// panels and forms. An "&" in a caption marks the letter a person reaches it with ("&&" is a
// plain "&"). Code that takes any control's caption (a snapshot's cut-off check, a dialog's
// "&" letters) asks for this base instead of naming each kind.
//
// Main thread only.
#pragma once

#include <string>

#include "platform/forms/component.h"

namespace platform::forms {

class CaptionedControl : public Control {
  public:
    std::string Caption;
};

}  // namespace platform::forms
