// The object an image combo box keeps with each entry. A shell control keeps its shell data
// in one (kw_shell_combo.h).
#pragma once

#include "platform/forms/list_controls.h"
#include "shellctl/kw_shell_utils.h"

namespace shellctl {

// The root of the objects the controls keep with combo box entries: what an entry's object
// pointer stands for.
class TKwObject {
  public:
    virtual ~TKwObject() = default;
};

class TKwImageComboItem : public TKwObject {};

// A cast to a class the object is not of.
struct EInvalidCast : Exception {
    EInvalidCast() : Exception("Invalid class typecast") {}
};

// The object of entry `index` (a TKwObject pointer or 0) as an image-combo item: none for no
// object; an object of another class raises EInvalidCast.
TKwImageComboItem* ImageComboItem(const platform::forms::ComboBox& combo, int index);

}  // namespace shellctl
