#include "platform/forms_qt/mime_transfer.h"

#include <QFile>
#include <QUrl>
#include <optional>
#include <string>

namespace platform::forms_qt {

namespace {

constexpr char format_prefix[] = "application/x-zor-clipboard;format=";

// The MIME data of our own drags: it keeps the data object, so a drop in this process gets
// exactly what the drag offered.
class DataObjectMime final : public QMimeData {
  public:
    explicit DataObjectMime(shell::IDataObject* data) : data_(com::ComPtr<shell::IDataObject>::share(data)) {}
    const com::ComPtr<shell::IDataObject>& data_object() const { return data_; }

  private:
    com::ComPtr<shell::IDataObject> data_;
};

QString mime_type_of(std::uint16_t format) {
    const std::string name = shell::clipboard_format_name(format);
    const QByteArray part = name.empty() ? "#" + QByteArray::number(format)
                                         : QUrl::toPercentEncoding(QString::fromStdString(name));
    return QString::fromLatin1(format_prefix) + QString::fromLatin1(part);
}

std::uint16_t format_of(const QString& mime_type) {
    const QString prefix = QString::fromLatin1(format_prefix);
    if (!mime_type.startsWith(prefix)) return 0;
    const QString part = mime_type.mid(prefix.size());
    if (part.startsWith(QLatin1Char('#'))) return static_cast<std::uint16_t>(part.mid(1).toUInt());
    const QString name = QUrl::fromPercentEncoding(part.toLatin1());
    // Only names this program uses: another program's names would take numbers for good.
    return name.isEmpty() ? 0 : shell::registered_clipboard_format(name.toStdString());
}

// A file's URL from the bytes of its path as they are: names need not be UTF-8.
QUrl url_of_path(const std::string& path) {
    return QUrl::fromEncoded("file://" + QByteArray::fromStdString(path).toPercentEncoding("/"));
}

// The path of a file URL of this machine, its bytes as they are; none for a relative path,
// another host's file or a name with a NUL (which would end it early in CF_HDROP).
std::optional<std::string> path_of_url(const QUrl& url) {
    if (!url.isLocalFile() || !(url.host().isEmpty() || url.host() == QLatin1String("localhost")))
        return std::nullopt;
    const QByteArray path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (!path.startsWith('/') || path.contains('\0')) return std::nullopt;
    return path.toStdString();
}

}  // namespace

QMimeData* mime_data_of(shell::IDataObject* data) {
    auto* mime = new DataObjectMime(data);
    for (const std::uint16_t format : shell::formats_of_data_object(data)) {
        if (format == shell::CF_HDROP) continue;
        if (const shell::GlobalBlock block = shell::block_of_data_object(data, format))
            mime->setData(mime_type_of(format), QByteArray(reinterpret_cast<const char*>(block->data()),
                                                           static_cast<qsizetype>(block->size())));
    }
    const std::vector<std::string> paths = shell::paths_of_data_object(data);
    if (!paths.empty()) {
        QList<QUrl> urls;
        QStringList names;
        for (const std::string& path : paths) {
            urls.push_back(url_of_path(path));
            names.push_back(QFile::decodeName(QByteArray::fromStdString(path)));
        }
        mime->setUrls(urls);
        mime->setText(names.join(QLatin1Char('\n')));
    }
    return mime;
}

com::ComPtr<shell::IDataObject> data_object_of(const QMimeData* mime) {
    if (!mime) return {};
    if (const auto* ours = dynamic_cast<const DataObjectMime*>(mime)) return ours->data_object();
    std::vector<std::pair<std::uint16_t, shell::GlobalBlock>> blocks;
    for (const QString& type : mime->formats()) {
        const std::uint16_t format = format_of(type);
        if (format == 0 || format == shell::CF_HDROP) continue;
        const QByteArray bytes = mime->data(type);
        blocks.emplace_back(format, std::make_shared<std::vector<std::uint8_t>>(bytes.begin(), bytes.end()));
    }
    std::vector<std::string> paths;
    for (const QUrl& url : mime->urls())
        if (auto path = path_of_url(url)) paths.push_back(std::move(*path));
    if (!paths.empty()) blocks.emplace_back(shell::CF_HDROP, shell::make_hdrop(paths));
    return shell::make_block_data_object(std::move(blocks));
}

std::uint32_t effects_of(Qt::DropActions actions) {
    std::uint32_t effects = shell::DROPEFFECT_NONE;
    if (actions & Qt::CopyAction) effects |= shell::DROPEFFECT_COPY;
    if (actions & Qt::MoveAction) effects |= shell::DROPEFFECT_MOVE;
    if (actions & Qt::LinkAction) effects |= shell::DROPEFFECT_LINK;
    return effects;
}

Qt::DropActions actions_of(std::uint32_t effects) {
    Qt::DropActions actions;
    if (effects & shell::DROPEFFECT_COPY) actions |= Qt::CopyAction;
    if (effects & shell::DROPEFFECT_MOVE) actions |= Qt::MoveAction;
    if (effects & shell::DROPEFFECT_LINK) actions |= Qt::LinkAction;
    return actions;
}

Qt::DropAction action_of(std::uint32_t effect, Qt::DropAction preferred) {
    const Qt::DropActions actions = actions_of(effect);
    if (preferred != Qt::IgnoreAction && (actions & preferred)) return preferred;
    for (const Qt::DropAction a : {Qt::MoveAction, Qt::CopyAction, Qt::LinkAction})
        if (actions & a) return a;
    return Qt::IgnoreAction;
}

std::uint32_t key_state_of(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    std::uint32_t keys = 0;
    if (buttons & Qt::LeftButton) keys |= shell::MK_LBUTTON;
    if (buttons & Qt::RightButton) keys |= shell::MK_RBUTTON;
    if (buttons & Qt::MiddleButton) keys |= shell::MK_MBUTTON;
    if (modifiers & Qt::ShiftModifier) keys |= shell::MK_SHIFT;
    if (modifiers & Qt::ControlModifier) keys |= shell::MK_CONTROL;
    if (modifiers & Qt::AltModifier) keys |= shell::MK_ALT;
    return keys;
}

}  // namespace platform::forms_qt
