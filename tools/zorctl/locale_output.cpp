#include "tools/zorctl/locale_output.h"

#include "platform/text/text.h"

namespace zorctl {

LocaleOutput::LocaleOutput(std::ostream& stream) : stream_(stream), target_(stream.rdbuf(this)) {}

LocaleOutput::~LocaleOutput() {
    pass_on();
    target_->pubsync();
    stream_.rdbuf(target_);
}

LocaleOutput::int_type LocaleOutput::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    pending_ += traits_type::to_char_type(c);
    if (c == '\n') pass_on();
    return c;
}

std::streamsize LocaleOutput::xsputn(const char* text, std::streamsize count) {
    pending_.append(text, static_cast<std::size_t>(count));
    if (pending_.find('\n') != std::string::npos) pass_on();
    return count;
}

int LocaleOutput::sync() {
    pass_on();
    return target_->pubsync();
}

void LocaleOutput::pass_on() {
    if (pending_.empty()) return;
    const std::string text = platform::text::locale_text_from_utf8(pending_);
    target_->sputn(text.data(), static_cast<std::streamsize>(text.size()));
    pending_.clear();
}

}  // namespace zorctl
