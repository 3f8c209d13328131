#include "platform/forms_qt/testing/pdf_files.h"

#include <cstdio>
#include <cstdlib>
#include <regex>

namespace platform::forms_qt::testing {

namespace {

std::string quoted(const std::string& path) {
    std::string out = "'";
    for (const char c : path) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Standard output, and the messages too unless the output is binary.
std::string output_of(const std::string& command, bool with_messages = true) {
    std::string out;
    FILE* pipe = ::popen((command + (with_messages ? " 2>&1" : " 2>/dev/null")).c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    ::pclose(pipe);
    return out;
}

}  // namespace

std::string pdf_info(const std::string& path) {
    return output_of("pdfinfo " + quoted(path));
}

int pdf_pages(const std::string& path) {
    const std::string info = pdf_info(path);
    const std::string key = "\nPages:";
    const std::size_t at = ("\n" + info).find(key);
    if (at == std::string::npos) return -1;
    return std::atoi(info.c_str() + at + key.size() - 1);
}

std::string pdf_text(const std::string& path, int page) {
    std::string range;
    if (page > 0) range = " -f " + std::to_string(page) + " -l " + std::to_string(page);
    return output_of("pdftotext -layout -enc UTF-8" + range + " " + quoted(path) + " -");
}

std::string pdf_words(const std::string& path, int page) {
    std::string out;
    for (const char c : pdf_text(path, page)) {
        const bool space = c == ' ' || c == '\n' || c == '\t' || c == '\f' || c == '\r';
        if (!space) {
            out += c;
        } else if (!out.empty() && out.back() != ' ') {
            out += ' ';
        }
    }
    if (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

std::vector<PdfWord> pdf_word_boxes(const std::string& path, int page) {
    const std::string html = output_of("pdftotext -bbox -enc UTF-8 -f " + std::to_string(page) + " -l " +
                                       std::to_string(page) + " " + quoted(path) + " -");
    static const std::regex word(
        R"re(<word xMin="([0-9.]+)" yMin="([0-9.]+)" xMax="([0-9.]+)" yMax="([0-9.]+)">([^<]*)</word>)re");
    std::vector<PdfWord> words;
    for (auto it = std::sregex_iterator(html.begin(), html.end(), word); it != std::sregex_iterator(); ++it) {
        const std::smatch& m = *it;
        std::string text = m[5];
        for (const auto& [entity, c] : {std::pair<std::string, std::string>{"&lt;", "<"},
                                        {"&gt;", ">"},
                                        {"&quot;", "\""},
                                        {"&#39;", "'"},
                                        {"&amp;", "&"}}) {
            for (std::size_t at = text.find(entity); at != std::string::npos; at = text.find(entity, at + 1))
                text.replace(at, entity.size(), c);
        }
        words.push_back({text, std::stod(m[1]), std::stod(m[2]), std::stod(m[3]), std::stod(m[4])});
    }
    return words;
}

QImage pdf_page_image(const std::string& path, int page, int dpi) {
    const std::string png =
        output_of("pdftoppm -png -singlefile -r " + std::to_string(dpi) + " -f " + std::to_string(page) +
                      " -l " + std::to_string(page) + " " + quoted(path),
                  false);
    return QImage::fromData(reinterpret_cast<const uchar*>(png.data()), static_cast<int>(png.size()), "PNG");
}

}  // namespace platform::forms_qt::testing
