#include "tools/zorhost/host_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QResizeEvent>
#include <QWindow>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/com/com.h"
#include "platform/forms/form.h"
#include "platform/forms_qt/pdf_device_context.h"
#include "platform/forms_qt/qt_backend.h"
#include "platform/forms_qt/qt_session.h"
#include "platform/window/window.h"
#include "tools/zorhost/host.h"

namespace zorhost {

namespace com = platform::com;
namespace forms = platform::forms;
namespace forms_qt = platform::forms_qt;

namespace {

bool set(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

QString utf8(const std::string& text) {
    return QString::fromStdString(text);
}

// The host's window: a File menu, the plug-in's in-place menu, and the editor filling the rest.
// The editor's form is a window of its own to the forms' backend; its X window is put into a
// container here, and the container's size is handed to the form as the host sizes its visual.
class HostWindow final : public QMainWindow {
  public:
    HostWindow(Host& host, forms_qt::QtBackend& backend, std::string document)
        : host_(host), backend_(backend), document_(std::move(document)) {
        QMenu* file = menuBar()->addMenu("&File");
        // The shortcuts work wherever the focus is, in the editor's window too.
        const auto add = [this, file](const char* caption, QKeySequence keys, auto act) {
            QAction* action = file->addAction(caption, this, act);
            action->setShortcut(keys);
            action->setShortcutContext(Qt::ApplicationShortcut);
        };
        add("&New", QKeySequence::New, [this] { new_document(); });
        add("&Open...", QKeySequence::Open, [this] { open_document(); });
        add("&Save", QKeySequence::Save, [this] { save(); });
        add("&Print to PDF...", QKeySequence::Print, [this] { print_to_pdf(); });
        file->addSeparator();
        add("&Close", QKeySequence::Close, [this] { close(); });
        // The in-place menu: its captions, and the chosen id back to the plug-in.
        QMenu* zor = menuBar()->addMenu(utf8(com::utf8_from_utf16(host_.setup().GetMenuString(0))));
        for (const auto& [caption, id] : host_.in_place_menu())
            zor->addAction(utf8(com::utf8_from_cp1252(caption)),
                           [this, id = id] { host_.setup().ExecuteCommand(id); });

        forms::Form* editor = host_.editor_form();
        QWidget* form_widget = backend_.sync_form(*editor, false);
        container_ = QWidget::createWindowContainer(QWindow::fromWinId(form_widget->winId()), this);
        container_->setFocusPolicy(Qt::StrongFocus);
        // Never smaller than the editor allows: the window shows the whole editor.
        const forms_qt::LayoutScale scale = forms_qt::layout_scale(editor->Font);
        const forms::Point least = editor->min_track_size();
        container_->setMinimumSize(scale.map_x(least.x), scale.map_y(least.y));
        setCentralWidget(container_);
        container_->installEventFilter(this);
        // At first the editor's own size, then whatever the person makes of the window.
        resize(form_widget->width(), form_widget->height() + menuBar()->sizeHint().height());
        show_title();
    }

    bool closed() const { return closed_; }

  protected:
    // A size below the window's least is refused, also where no window manager enforces it.
    void resizeEvent(QResizeEvent* event) override {
        QMainWindow::resizeEvent(event);
        const QSize kept = event->size().expandedTo(minimumSizeHint());
        if (kept != event->size()) resize(kept);
    }
    void closeEvent(QCloseEvent* event) override {
        if (!may_discard()) {
            event->ignore();
            return;
        }
        closed_ = true;
        event->accept();
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == container_ && event->type() == QEvent::Resize)
            fit_editor(static_cast<QResizeEvent*>(event)->size());
        return QMainWindow::eventFilter(watched, event);
    }

  private:
    // The host sizes the visual with its window: the form's size in its own pixels, as a
    // person's resize of the window reaches it (the form keeps its least size and lays itself
    // out).
    void fit_editor(const QSize& size) {
        forms::Form* editor = host_.editor_form();
        if (!editor) return;
        const forms_qt::LayoutScale scale = forms_qt::layout_scale(editor->Font);
        const int width = static_cast<int>(std::lround(size.width() / scale.x));
        const int height = static_cast<int>(std::lround(size.height() / scale.y));
        if (width == editor->Width && height == editor->Height) return;
        editor->resize_by_person(width, height);
        backend_.sync_form(*editor);
    }

    void show_title() {
        const std::string name = document_.empty() ? std::string("untitled")
                                                   : std::filesystem::path(document_).filename().string();
        setWindowTitle(utf8("zorhost - " + name));
    }

    // Unsaved changes are saved, dropped or kept open as the person says.
    bool may_discard() {
        if (!host_.setup().IsModified()) return true;
        QMessageBox question(QMessageBox::Question, "zorhost", "The method has changed. Save the changes?",
                             QMessageBox::NoButton, this);
        QPushButton* save_button = question.addButton("&Save", QMessageBox::AcceptRole);
        QPushButton* discard_button = question.addButton("&Discard", QMessageBox::DestructiveRole);
        QPushButton* cancel_button = question.addButton("&Cancel", QMessageBox::RejectRole);
        question.setDefaultButton(save_button);
        question.setEscapeButton(cancel_button);
        question.exec();
        if (question.clickedButton() == save_button) return save();
        return question.clickedButton() == discard_button;
    }

    void report(const char* what, std::int32_t hr) {
        QMessageBox::warning(this, "zorhost", utf8(std::string(what) + " failed: " + com::hresult_text(hr)));
    }

    // The failure names the file and the reason; paths are UTF-8 already.
    void report_document_failure() {
        QMessageBox::warning(this, "zorhost", QString::fromStdString(host_.document_failure()));
    }

    void new_document() {
        if (!may_discard()) return;
        if (const auto hr = host_.new_document(); hr != 0) return report("New", hr);
        document_.clear();
        show_title();
    }

    void open_document() {
        if (!may_discard()) return;
        const QString path = QFileDialog::getOpenFileName(this, "Open a method document", QString(),
                                                          "Method documents (*.zor);;All Files (*)");
        if (path.isEmpty()) return;
        if (host_.open_document(path.toStdString()) != 0) return report_document_failure();
        document_ = path.toStdString();
        show_title();
    }

    bool save() {
        if (document_.empty()) {
            const QString path = QFileDialog::getSaveFileName(this, "Save the method document");
            if (path.isEmpty()) return false;
            document_ = path.toStdString();
            show_title();
        }
        if (host_.save_document(document_) != 0) {
            report_document_failure();
            return false;
        }
        return true;
    }

    void print_to_pdf() {
        const QString path =
            QFileDialog::getSaveFileName(this, "Print to a PDF file", QString(), "PDF files (*.pdf)");
        if (path.isEmpty()) return;
        const std::string title =
            document_.empty() ? std::string("untitled") : std::filesystem::path(document_).stem().string();
        forms_qt::PdfDeviceContext dc(path.toStdString(), title);
        host_.print_to(dc);
        if (!dc.ok())
            QMessageBox::warning(this, "zorhost", "The PDF file " + path + " could not be written.");
    }

    Host& host_;
    forms_qt::QtBackend& backend_;
    std::string document_;
    QWidget* container_ = nullptr;
    bool closed_ = false;
};

}  // namespace

std::unique_ptr<forms_qt::QtSession> display_session() {
    // The editor goes into the host window as an X window: XWayland where the desktop is Wayland.
    if (set("DISPLAY") && !set("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
        auto session = forms_qt::QtSession::on_display();
        qunsetenv("QT_QPA_PLATFORM");
        return session;
    }
    return forms_qt::QtSession::on_display();
}

int edit_in_window(Host& host, forms_qt::QtSession& qt, const std::string& document,
                   const std::string& template_name) {
    if (QGuiApplication::platformName() != QStringLiteral("xcb")) {
        std::fprintf(stderr, "zorhost: edit needs an X display (on Wayland, XWayland's DISPLAY)\n");
        return 1;
    }
    if (std::filesystem::exists(document)) {
        if (host.open_document(document) != 0) {
            std::fprintf(stderr, "zorhost: %s\n", host.document_failure().c_str());
            return 1;
        }
    } else if (!template_name.empty() && !host.choose_template(template_name)) {
        std::fprintf(stderr, "zorhost: the editor offers no template \"%s\"\n",
                     com::utf8_from_cp1252(template_name).c_str());
        return 1;
    }
    HostWindow window(host, qt.backend(), document);
    window.show();
    platform::window::run_nested_loop([&window] { return window.closed(); });
    return 0;
}

}  // namespace zorhost
