#include "platform/forms_qt/item_looks.h"

#include <QPixmap>
#include <QTreeWidgetItem>

#include "platform/forms_qt/qt_backend.h"

namespace platform::forms_qt {

void apply_item_look(QTreeWidgetItem& item, int columns, const forms::ItemLook& look, const QPalette& palette) {
    for (int c = 0; c < columns; ++c) {
        item.setData(c, Qt::ForegroundRole, look.text ? QVariant(QBrush(to_qcolor(*look.text, palette))) : QVariant());
        item.setData(c, Qt::BackgroundRole,
                     look.background ? QVariant(QBrush(to_qcolor(*look.background, palette))) : QVariant());
        item.setData(c, Qt::FontRole, look.font ? QVariant(to_qfont(*look.font)) : QVariant());
    }
}

namespace {

bool has(const forms::ImageList* images, int index) { return images && index >= 0 && index < images->count(); }

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

// The desktop theme's picture of the image where the theme has one, else the image's own.
QPixmap picture(const forms::Image& image) {
    const QString name = QString::fromStdString(image.theme_name);
    if (!name.isEmpty() && QIcon::hasThemeIcon(name)) {
        const QPixmap themed = QIcon::fromTheme(name).pixmap(QSize(image.width, image.height));
        if (!themed.isNull()) return themed;
    }
    return icon_pixmap(image);
}

}  // namespace

QIcon image_icon(const forms::ImageList* images, int index, int selected) {
    QIcon icon;
    if (!has(images, index)) return icon;
    icon.addPixmap(picture(images->image(index)));
    if (selected != index && has(images, selected)) icon.addPixmap(picture(images->image(selected)), QIcon::Selected);
    return icon;
}

}  // namespace platform::forms_qt
