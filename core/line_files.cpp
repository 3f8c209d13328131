#include "core/line_files.h"

#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>

#include "platform/text/text.h"
#include "utilities/message_boxes.h"

namespace core {

namespace {

std::string code_point_name(std::uint32_t code) {
    std::array<char, 16> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "U+%04X", unsigned(code));
    return buffer.data();
}

// Counts lines by the rules of split_lines while characters go by: a CR, an LF and a CR LF each
// end one line.
class LineCounter {
  public:
    void see(std::uint32_t code) {
        if ((code == '\r' || code == '\n') && !(code == '\n' && last_ == '\r')) ++line_;
        last_ = code;
    }
    int line() const { return line_; }

  private:
    int line_ = 1;
    std::uint32_t last_ = 0;
};

// The line on which byte `end` of a text stands (line ends are ASCII in every encoding read here
// but UTF-16, which has its own counter).
int line_at(std::string_view bytes, std::size_t end) {
    LineCounter counter;
    for (std::size_t i = 0; i < end && i < bytes.size(); ++i)
        counter.see(static_cast<unsigned char>(bytes[i]));
    return counter.line();
}

// Collects the Windows-1252 text character by character; the first character that cannot be
// taken ends the conversion with its line.
class Converter {
  public:
    Converter(std::string& text, TextProblem& problem) : text_(text), problem_(problem) {}

    bool put(std::uint32_t code) {
        if (code == 0) return fail("holds a NUL character");
        const std::optional<char> byte = platform::text::cp1252_from_code_point(code);
        if (!byte)
            return fail("holds the character " + code_point_name(code) +
                        ", which Windows-1252 does not have");
        text_ += *byte;
        lines_.see(code);
        return true;
    }

    // A byte that is already Windows-1252.
    bool put_byte(char byte) {
        if (byte == 0) return fail("holds a NUL character");
        text_ += byte;
        lines_.see(static_cast<unsigned char>(byte));
        return true;
    }

    bool fail(std::string reason) {
        problem_ = TextProblem{lines_.line(), std::move(reason)};
        return false;
    }

  private:
    std::string& text_;
    TextProblem& problem_;
    LineCounter lines_;
};

// The length of the well-formed UTF-8 sequence at `i` (1 for ASCII), 0 when there is none.
std::size_t utf8_sequence(std::string_view bytes, std::size_t i, std::uint32_t& code) {
    char32_t c = 0;
    const std::size_t length = platform::text::utf8_sequence(bytes, i, c);
    code = c;
    return length;
}

bool decode_utf8(std::string_view bytes, Converter& out) {
    for (std::size_t i = 0; i < bytes.size();) {
        std::uint32_t code = 0;
        const std::size_t length = utf8_sequence(bytes, i, code);
        if (length == 0) return out.fail("is not valid UTF-8");
        if (!out.put(code)) return false;
        i += length;
    }
    return true;
}

bool decode_utf16(std::string_view bytes, bool big_endian, Converter& out) {
    auto unit = [&](std::size_t i) -> std::uint32_t {
        const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        return big_endian ? (a << 8 | b) : (b << 8 | a);
    };
    const std::size_t end = bytes.size() - bytes.size() % 2;
    for (std::size_t i = 0; i < end; i += 2) {
        std::uint32_t code = unit(i);
        if (code >= 0xD800 && code <= 0xDBFF && i + 2 < end && unit(i + 2) >= 0xDC00 &&
            unit(i + 2) <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            return out.fail("is not valid UTF-16");
        }
        if (!out.put(code)) return false;
    }
    if (end != bytes.size()) return out.fail("is not valid UTF-16");
    return true;
}

}  // namespace

bool decode_text(std::string_view bytes, std::string& text, TextProblem& problem, TextEncoding* encoding) {
    text.clear();
    problem = {};
    TextEncoding found = TextEncoding::windows_1252;
    std::string_view body = bytes;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        found = TextEncoding::utf8_with_mark;
        body.remove_prefix(3);
    } else if (bytes.substr(0, 2) == "\xFF\xFE") {
        found = TextEncoding::utf16le;
        body.remove_prefix(2);
    } else if (bytes.substr(0, 2) == "\xFE\xFF") {
        found = TextEncoding::utf16be;
        body.remove_prefix(2);
    } else {
        // Without a mark: UTF-8 when every byte beyond ASCII belongs to a well-formed sequence.
        // Both kinds in one text is neither encoding, and is refused where it stops being one.
        std::size_t first_sequence = std::string_view::npos, first_stray = std::string_view::npos;
        for (std::size_t i = 0; i < bytes.size();) {
            std::uint32_t code = 0;
            const std::size_t length = utf8_sequence(bytes, i, code);
            if (length == 0 && first_stray == std::string_view::npos) first_stray = i;
            if (length > 1 && first_sequence == std::string_view::npos) first_sequence = i;
            if (first_stray != std::string_view::npos && first_sequence != std::string_view::npos) {
                problem = TextProblem{line_at(bytes, std::max(first_stray, first_sequence)),
                                      "mixes UTF-8 with Windows-1252 characters"};
                return false;
            }
            i += length == 0 ? 1 : length;
        }
        if (first_sequence != std::string_view::npos) found = TextEncoding::utf8;
    }
    if (encoding) *encoding = found;

    text.reserve(body.size());
    Converter out(text, problem);
    bool good = true;
    switch (found) {
        case TextEncoding::utf8:
        case TextEncoding::utf8_with_mark:
            good = decode_utf8(body, out);
            break;
        case TextEncoding::utf16le:
        case TextEncoding::utf16be:
            good = decode_utf16(body, found == TextEncoding::utf16be, out);
            break;
        case TextEncoding::windows_1252:
            for (std::size_t i = 0; good && i < body.size(); ++i) good = out.put_byte(body[i]);
            break;
    }
    if (!good) text.clear();
    return good;
}

std::string file_name_to_utf8(std::string_view name) {
    return platform::text::utf8_from_cp1252(name);
}

bool file_exists(std::string_view path) {
    struct stat info {};
    return ::stat(file_name_to_utf8(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::vector<std::string> split_lines(std::string_view text) {
    return platform::text::split_lines(text);
}

bool load_lines(std::string_view path, std::vector<std::string>& lines) {
    lines.clear();
    if (!file_exists(path)) return false;
    // A file that is there but cannot be read is no empty one: say so, as for a refused text.
    auto refuse = [&](const std::string& reason) {
        putils::show_error("Cannot read " + std::string(path) + ": " + reason);
        return false;
    };
    std::ifstream file(file_name_to_utf8(path), std::ios::binary);
    if (!file) return refuse(std::strerror(errno));
    file.seekg(0, std::ios::end);
    std::streamoff size = file.tellg();
    if (size < 0) return refuse("its size is unknown");
    if (std::size_t(size) > max_line_file_size)
        return refuse("it is larger than " + std::to_string(max_line_file_size) + " bytes");
    file.seekg(0);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (size > 0 && !file.read(bytes.data(), size)) return refuse("it could not be read whole");
    std::string text;
    TextProblem problem;
    if (!decode_text(bytes, text, problem))
        return refuse("line " + std::to_string(problem.line) + " " + problem.reason);
    lines = split_lines(text);
    return true;
}

bool save_lines(std::string_view path, const std::vector<std::string>& lines) {
    return replace_lines_file(path, lines).empty();
}

std::string replace_lines_file(std::string_view path, const std::vector<std::string>& lines) {
    const std::string target = file_name_to_utf8(path);
    std::string temporary = target + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return std::strerror(errno);
    std::string bytes;
    for (const std::string& line : lines) bytes.append(line).append("\r\n");
    int error = 0;
    for (std::size_t done = 0; done < bytes.size() && error == 0;) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno != EINTR) error = errno;
        if (n > 0) done += static_cast<std::size_t>(n);
    }
    // mkstemp makes the file private; the cache is read by everyone who may read the folder.
    if (error == 0 && ::fchmod(fd, 0644) != 0) error = errno;
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && std::rename(temporary.c_str(), target.c_str()) != 0) error = errno;
    if (error == 0) return {};
    ::unlink(temporary.c_str());
    return std::strerror(error);
}

}  // namespace core
