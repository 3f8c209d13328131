// The line format of the test interaction channel (see test_interaction.h), shared by Zorrun
// and the tests' client: one message per line, fields separated by TAB, each field escaped so
// that it holds no TAB, CR or LF and only printable ASCII ("\\", "\t", "\n", "\r" and "\xHH"
// for every other byte; texts are the system's Windows-1252 bytes).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zorrun::wire {

std::string escape(std::string_view field);
std::string unescape(std::string_view field);
// Joins the escaped fields with TAB; no line end.
std::string join(const std::vector<std::string>& fields);
// Splits a line (without its LF) at TAB and unescapes each field.
std::vector<std::string> split(std::string_view line);

}  // namespace zorrun::wire
