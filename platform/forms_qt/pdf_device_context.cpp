#include "platform/forms_qt/pdf_device_context.h"

#include <QFile>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>

#include "platform/forms_qt/qt_backend.h"

namespace platform::forms_qt {

namespace print = platform::print;

namespace {

constexpr int units_per_inch = 254;  // tenths of a millimetre

// The application object keeps references to these for its whole life, and takes the options
// it understands out of them: each session sets them again.
char printing_program[] = "zor";
char printing_platform_option[] = "-platform";
char printing_platform[] = "offscreen";
int printing_argc = 0;
char* printing_argv[4] = {};

}  // namespace

PrintingSession::PrintingSession() {
    if (QCoreApplication::instance()) return;
    printing_argc = 3;
    printing_argv[0] = printing_program;
    printing_argv[1] = printing_platform_option;
    printing_argv[2] = printing_platform;
    printing_argv[3] = nullptr;
    application_ = std::make_unique<QGuiApplication>(printing_argc, printing_argv);
}

PrintingSession::~PrintingSession() = default;

struct PdfDeviceContext::Impl {
    explicit Impl(const std::string& path) : writer(QString::fromStdString(path)), path(path) {}
    QPdfWriter writer;
    QPainter painter;
    QFont font;
    std::string path;
    bool begun = false;
    bool ended = false;
    bool ok = true;
    void begin();
};

PdfDeviceContext::PdfDeviceContext(const std::string& path, const std::string& title, double font_points)
    : impl_(std::make_unique<Impl>(path)) {
    QPdfWriter& w = impl_->writer;
    w.setResolution(units_per_inch);
    w.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    w.setTitle(to_qstring(title));
    w.setCreator(QStringLiteral("Zor"));
    impl_->font = QFont(QStringLiteral("DejaVu Sans Mono"));
    impl_->font.setPointSizeF(font_points);
}

PdfDeviceContext::~PdfDeviceContext() {
    if (impl_->begun && !impl_->ended) end_document_output();
}

print::Size PdfDeviceContext::page_size() const {
    return {impl_->writer.width(), impl_->writer.height()};
}

bool PdfDeviceContext::ok() const {
    return impl_->ok;
}

void PdfDeviceContext::Impl::begin() {
    begun = true;
    if (!painter.begin(&writer)) {
        ok = false;
        return;
    }
    painter.setFont(font);
}

void PdfDeviceContext::begin_page_output() {
    Impl& d = *impl_;
    if (d.ended) return;
    if (!d.begun) {
        d.begin();  // the writer starts with its first page
        return;
    }
    if (d.painter.isActive() && !d.writer.newPage()) d.ok = false;
}

void PdfDeviceContext::end_document_output() {
    Impl& d = *impl_;
    if (d.ended) return;
    // A document without pages is still a file: one blank page, so that the file asked for exists.
    if (!d.begun) d.begin();
    d.ended = true;
    if (d.painter.isActive() && !d.painter.end()) d.ok = false;
    if (!QFile::exists(QString::fromStdString(d.path))) d.ok = false;
}

void PdfDeviceContext::draw_text(print::Point at, std::string_view text) {
    Impl& d = *impl_;
    if (!d.painter.isActive()) return;
    d.painter.setPen(Qt::black);
    const QFontMetrics fm(d.font, &d.writer);
    d.painter.drawText(QPoint(at.x, at.y + fm.ascent()), to_qstring(text));
}

void PdfDeviceContext::draw_line(print::Point from, print::Point to, const print::Pen& pen) {
    Impl& d = *impl_;
    if (!d.painter.isActive()) return;
    const QColor color(static_cast<int>(pen.color & 0xFF), static_cast<int>((pen.color >> 8) & 0xFF),
                       static_cast<int>((pen.color >> 16) & 0xFF));
    QPen q(color, std::max(pen.width, 1));
    q.setStyle(pen.style == print::PenStyle::dash  ? Qt::DashLine
               : pen.style == print::PenStyle::dot ? Qt::DotLine
                                                   : Qt::SolidLine);
    d.painter.setPen(q);
    d.painter.drawLine(from.x, from.y, to.x, to.y);
}

print::Size PdfDeviceContext::measure(std::string_view text) const {
    const QFontMetrics fm(impl_->font, &impl_->writer);
    return {fm.horizontalAdvance(to_qstring(text)), fm.height()};
}

}  // namespace platform::forms_qt
