// The printing device context's PDF output, drawn with Qt (QPdfWriter).
//
// An A4 portrait document whose units are tenths of a millimetre (2100 x 2970 on a page, the
// whole sheet: a printout chooses its own margins), text in DejaVu Sans Mono (the printed method
// lines up its values in columns of characters). Each page the context starts becomes a page of
// the file; the file is complete once the document ends (end_document, or the destructor). A
// document that ends without a page is one blank page. Drawing after the end changes nothing.
// Texts are Windows-1252 and become Unicode in the file, so pdftotext gives them back.
//
// Needs Qt's application object: a QtSession, or a PrintingSession in a program whose forms
// are not on Qt. Main thread only.
#pragma once

#include <memory>
#include <string>

#include "platform/print/device_context.h"

class QGuiApplication;

namespace platform::forms_qt {

// Qt's application object for writing PDF files, on the offscreen platform (no display is
// needed), made where none exists and freed with this object.
class PrintingSession {
  public:
    PrintingSession();
    ~PrintingSession();
    PrintingSession(const PrintingSession&) = delete;
    PrintingSession& operator=(const PrintingSession&) = delete;

  private:
    std::unique_ptr<QGuiApplication> application_;
};

class PdfDeviceContext final : public platform::print::DeviceContext {
  public:
    // `title` goes into the file's document information.
    explicit PdfDeviceContext(const std::string& path, const std::string& title = {},
                              double font_points = 10);
    ~PdfDeviceContext() override;

    platform::print::Size page_size() const override;
    // False when the file could not be written (checked when the document ends).
    bool ok() const;

  protected:
    void draw_text(platform::print::Point at, std::string_view text) override;
    void draw_line(platform::print::Point from, platform::print::Point to,
                   const platform::print::Pen& pen) override;
    platform::print::Size measure(std::string_view text) const override;
    void begin_page_output() override;
    void end_document_output() override;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform::forms_qt
