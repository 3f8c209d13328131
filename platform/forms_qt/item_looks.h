// What trees and lists draw per item: the colours and font their custom drawing gives, and
// the images of their image lists as icons.
#pragma once

#include <QIcon>

#include "platform/forms/common_controls.h"

class QPalette;
class QTreeWidgetItem;

namespace platform::forms_qt {

// Sets the item's colours and font in its `columns` columns as `look` gives them; what the
// look leaves unset goes back to the widget's own.
void apply_item_look(QTreeWidgetItem& item, int columns, const forms::ItemLook& look, const QPalette& palette);

// Image `index` of `images` as an icon (with `selected`, when not -1, for the selected state);
// a null icon without images or for an index the list does not have.
QIcon image_icon(const forms::ImageList* images, int index, int selected = -1);

}  // namespace platform::forms_qt
