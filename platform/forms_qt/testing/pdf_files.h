// Reading PDF files in tests with poppler's pdfinfo and pdftotext: a reader that shares no
// code with the writer.
#pragma once

#include <QImage>
#include <string>
#include <vector>

namespace platform::forms_qt::testing {

// pdfinfo's report of the file (its messages when the file is no PDF).
std::string pdf_info(const std::string& path);
// The page count pdfinfo reports, or -1 when it reads none.
int pdf_pages(const std::string& path);
// The text of one page (page 0: every page), laid out as on the page, in UTF-8.
std::string pdf_text(const std::string& path, int page = 0);
// The same with every run of white space (line ends too) made one space: the reader guesses
// the spaces between words from their positions, so only the words and their order are exact.
std::string pdf_words(const std::string& path, int page = 0);
// A word on a page with its box, in points (1/72 inch) from the sheet's top-left corner.
struct PdfWord {
    std::string text;  // UTF-8
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
};
// The words of one page in reading order (pdftotext -bbox).
std::vector<PdfWord> pdf_word_boxes(const std::string& path, int page);

// One page drawn at `dpi` dots per inch (pdftoppm); a null image when it cannot be read.
QImage pdf_page_image(const std::string& path, int page, int dpi);

}  // namespace platform::forms_qt::testing
