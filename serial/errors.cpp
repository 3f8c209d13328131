#include "serial/errors.h"

#include <cstdlib>

#include "platform/comm/comm.h"
#include "serial/string_resource.h"

namespace serial {

namespace {

constexpr std::size_t kMaxErrorText = 255;

}  // namespace

std::string CleanMessageText(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 32) c = ' ';
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (!(c == ' ' && !out.empty() && out.back() == ' ')) out.push_back(c);
    return out;
}

std::string SystemErrorMessage(std::uint32_t code) {
    // The system errors this layer meets are the device layer's.
    return platform::comm::describe_error(code);
}

std::string ErrorText(std::int32_t code) {
    std::uint32_t id = code < 0 ? static_cast<std::uint32_t>(-static_cast<std::int64_t>(code))
                                : static_cast<std::uint32_t>(code);
    std::string text = ErrorStrings().GetString(id);
    if (text.empty()) text = CleanMessageText(SystemErrorMessage(id));
    if (text.size() > kMaxErrorText) text.resize(kMaxErrorText);
    return text;
}

}  // namespace serial
