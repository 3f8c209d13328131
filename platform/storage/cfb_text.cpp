#include "platform/storage/cfb_text.h"

namespace platform::storage {

namespace {

// 0x80..0x9F of Windows-1252. The five bytes it leaves undefined map to the control
// characters of the same value, so they survive a round trip.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

char16_t cp1252_to_unit(unsigned char c) {
  if (c >= 0x80 && c <= 0x9F) return kHigh[c - 0x80];
  return c;
}

char unit_to_cp1252(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (int i = 0; i < 32; ++i) {
    if (kHigh[i] == c) return static_cast<char>(0x80 + i);
  }
  return '?';
}

std::string utf16le_to_cp1252(std::span<const std::uint8_t> bytes) {
  std::string out;
  std::size_t units = bytes.size() / 2;
  out.reserve(units);
  std::size_t i = 0;
  if (units > 0 && bytes[0] == 0xFF && bytes[1] == 0xFE) i = 1;
  for (; i < units; ++i) {
    auto c = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units) {
      auto next = static_cast<char16_t>(bytes[2 * i + 2] | (bytes[2 * i + 3] << 8));
      if (next >= 0xDC00 && next <= 0xDFFF) ++i;  // the pair is one character
      out.push_back('?');
      continue;
    }
    out.push_back(unit_to_cp1252(c));
  }
  return out;
}

std::vector<std::uint8_t> cp1252_to_utf16le(std::string_view text) {
  std::vector<std::uint8_t> out;
  out.reserve(text.size() * 2);
  for (char ch : text) {
    char16_t c = cp1252_to_unit(static_cast<unsigned char>(ch));
    out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

std::vector<std::string> utf16le_lines(std::span<const std::uint8_t> bytes) {
  std::string text = utf16le_to_cp1252(bytes);
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t lf = text.find('\n', start);
    if (lf == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    std::size_t end = lf;
    if (end > start && text[end - 1] == '\r') --end;
    lines.push_back(text.substr(start, end - start));
    start = lf + 1;
  }
  return lines;
}

std::vector<std::uint8_t> utf16le_from_lines(const std::vector<std::string>& lines) {
  std::vector<std::uint8_t> out;
  for (const auto& line : lines) {
    auto part = cp1252_to_utf16le(line);
    out.insert(out.end(), part.begin(), part.end());
    out.insert(out.end(), {'\r', 0, '\n', 0});
  }
  return out;
}

}  // namespace platform::storage
