#include "shellctl/kw_image_combo.h"

namespace shellctl {

TKwImageComboItem* ImageComboItem(const platform::forms::ComboBox& combo, int index) {
    auto* object = reinterpret_cast<TKwObject*>(combo.Items.object(index));
    if (!object) return nullptr;
    auto* item = dynamic_cast<TKwImageComboItem*>(object);
    if (!item) throw EInvalidCast();
    return item;
}

}  // namespace shellctl
