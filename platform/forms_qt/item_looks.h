// What trees and lists draw per item: the colours and font their custom drawing gives, the
// images of their image lists as icons with the items' overlay marks, dimmed for cut items,
// and what a handler draws on an item itself.
#pragma once

#include <QIcon>
#include <functional>

#include "platform/forms/common_controls.h"

class QModelIndex;
class QPalette;
class QTreeWidget;
class QTreeWidgetItem;

namespace platform::forms_qt {

// Sets the item's colours and font in its `columns` columns as `look` gives them, dimmed for
// a `cut` item; what the look leaves unset goes back to the widget's own. An item that draws
// itself is marked for the view's own drawing (own_item_drawing).
void apply_item_look(QTreeWidgetItem& item, int columns, const forms::ItemLook& look, const QPalette& palette,
                     bool cut = false);

// The marks an item shows on its image: its overlay index (the image list's overlay index + 1,
// -1 none) and whether it is cut.
struct ItemMarks {
    int overlay = -1;
    bool cut = false;
};

// Image `index` of `images` as an icon (with `selected`, when not -1, for the selected state)
// with the item's marks; a null icon without images or for an index the list does not have.
QIcon image_icon(const forms::ImageList* images, int index, int selected = -1, ItemMarks marks = {});

// The item's rectangle in the view's viewport, as the controls' custom drawing takes it.
forms::Rect item_bounds(const QTreeWidget& view, const QTreeWidgetItem& item);

// Lets the items that draw themselves do so when the view paints them: `ask` runs the item's
// custom drawing again for its rectangle at that moment (the row of `index`), and what it drew
// is painted in place of the default drawing or over it.
using ItemDrawingQuery = std::function<forms::ItemLook(const QModelIndex& index, forms::Rect bounds)>;
void own_item_drawing(QTreeWidget& view, ItemDrawingQuery ask);

}  // namespace platform::forms_qt
