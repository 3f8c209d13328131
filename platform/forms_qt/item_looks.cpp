#include "platform/forms_qt/item_looks.h"

#include <QPainter>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <QTreeWidget>

#include "platform/forms_qt/backend_impl.h"

namespace platform::forms_qt {

namespace {

// Which items draw themselves (on every column of the item): not, over the default drawing,
// or in its place.
constexpr int own_drawing_role = Qt::UserRole + 1;
enum OwnDrawing { no_own_drawing = 0, over_default = 1, replaces_default = 2 };

// A cut item's text: half way between the text and the ground, as its icon.
QColor dimmed(const QColor& text, const QColor& ground) {
    return QColor((text.red() + ground.red()) / 2, (text.green() + ground.green()) / 2,
                  (text.blue() + ground.blue()) / 2);
}

}  // namespace

void apply_item_look(QTreeWidgetItem& item, int columns, const forms::ItemLook& look, const QPalette& palette,
                     bool cut) {
    const std::optional<QColor> background =
        look.background ? std::optional<QColor>(to_qcolor(*look.background, palette)) : std::nullopt;
    std::optional<QColor> text =
        look.text ? std::optional<QColor>(to_qcolor(*look.text, palette)) : std::nullopt;
    if (cut)
        text = dimmed(text.value_or(palette.color(QPalette::Text)),
                      background.value_or(palette.color(QPalette::Base)));
    const int own =
        look.replaces_default ? replaces_default : (look.draws_itself() ? over_default : no_own_drawing);
    for (int c = 0; c < columns; ++c) {
        item.setData(c, Qt::ForegroundRole, text ? QVariant(QBrush(*text)) : QVariant());
        item.setData(c, Qt::BackgroundRole, background ? QVariant(QBrush(*background)) : QVariant());
        item.setData(c, Qt::FontRole, look.font ? QVariant(to_qfont(*look.font)) : QVariant());
        item.setData(c, own_drawing_role, own == no_own_drawing ? QVariant() : QVariant(own));
    }
}

namespace {

bool has(const forms::ImageList* images, int index) {
    return images && index >= 0 && index < images->count();
}

// The lists' images carry no alpha: their unpainted ground is 0, shown as the item's own.
QPixmap icon_pixmap(const forms::Image& image) {
    QImage out = to_qimage(image).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            const auto at = static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) +
                            static_cast<std::size_t>(x);
            if (at >= image.pixels.size() || image.pixels[at] == 0) out.setPixel(x, y, 0);
        }
    return QPixmap::fromImage(out);
}

// The desktop theme's picture of the image where the theme has one, at `size`.
QPixmap themed(const forms::Image& image, QSize size) {
    const QString name = QString::fromStdString(image.theme_name);
    if (name.isEmpty() || !QIcon::hasThemeIcon(name)) return {};
    return QIcon::fromTheme(name).pixmap(size);
}

// The desktop theme's picture of the image where the theme has one, else the image's own.
QPixmap picture(const forms::Image& image) {
    const QPixmap theme = themed(image, QSize(image.width, image.height));
    return theme.isNull() ? icon_pixmap(image) : theme;
}

// An overlay as it lies over an image: the list's own overlay images are drawn in their
// corner already; a theme's emblem fills its picture and goes into the lower left quarter.
QPixmap overlay_picture(const forms::Image& image) {
    const QPixmap emblem = themed(image, QSize(image.width / 2, image.height / 2));
    if (emblem.isNull()) return icon_pixmap(image);
    QPixmap out(image.width, image.height);
    out.fill(Qt::transparent);
    QPainter p(&out);
    p.drawPixmap(QRect(0, image.height / 2, image.width / 2, image.height / 2), emblem);
    return out;
}

// The image with the item's marks: its overlay on top, and all of it half transparent when
// the item is cut (the ground shows through, as for its text).
QPixmap marked(const forms::ImageList& images, int index, ItemMarks marks) {
    QPixmap out = picture(images.image(index));
    const int overlay = images.overlay_image(marks.overlay + 1);
    if (has(&images, overlay)) {
        QPainter p(&out);
        p.drawPixmap(out.rect(), overlay_picture(images.image(overlay)));
    }
    if (!marks.cut) return out;
    QPixmap ghost(out.size());
    ghost.fill(Qt::transparent);
    QPainter p(&ghost);
    p.setOpacity(0.5);
    p.drawPixmap(0, 0, out);
    return ghost;
}

}  // namespace

QIcon image_icon(const forms::ImageList* images, int index, int selected, ItemMarks marks) {
    QIcon icon;
    if (!has(images, index)) return icon;
    icon.addPixmap(marked(*images, index, marks));
    if (selected != index && has(images, selected))
        icon.addPixmap(marked(*images, selected, marks), QIcon::Selected);
    return icon;
}

forms::Rect item_bounds(const QTreeWidget& view, const QTreeWidgetItem& item) {
    const QRect r = view.visualItemRect(&item);
    return {r.left(), r.top(), r.right() + 1, r.bottom() + 1};
}

namespace {

class OwnDrawingDelegate : public QStyledItemDelegate {
  public:
    OwnDrawingDelegate(QTreeWidget& view, ItemDrawingQuery ask)
        : QStyledItemDelegate(&view), view_(view), ask_(std::move(ask)) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const int own = index.data(own_drawing_role).toInt();
        if (own != replaces_default) QStyledItemDelegate::paint(painter, option, index);
        // The handler draws the whole item once, after its last column.
        if (own == no_own_drawing || index.column() != view_.columnCount() - 1) return;
        QRect row;
        for (int c = 0; c < view_.columnCount(); ++c) row |= view_.visualRect(index.siblingAtColumn(c));
        const forms::ItemLook look = ask_(index, {row.left(), row.top(), row.right() + 1, row.bottom() + 1});
        painter->save();
        painter->setClipRect(row);
        for (const forms::CanvasCall& call : look.drawing) replay(*painter, call, view_.palette());
        painter->restore();
    }

  private:
    QTreeWidget& view_;
    ItemDrawingQuery ask_;
};

}  // namespace

void own_item_drawing(QTreeWidget& view, ItemDrawingQuery ask) {
    view.setItemDelegate(new OwnDrawingDelegate(view, std::move(ask)));
}

}  // namespace platform::forms_qt
