// zorctl's messages reach a terminal (or a file a person reads) in the locale's character set.
// The texts zorctl writes are UTF-8, as the bus carries them; platform::text converts each line
// where the locale speaks another character set.
#pragma once

#include <ostream>
#include <streambuf>
#include <string>

namespace zorctl {

// Takes over the buffer of `stream` while it lives; every line (and whatever a flush finds) goes
// on converted. The program must have set its locale (setlocale(LC_CTYPE, "")).
class LocaleOutput : public std::streambuf {
  public:
    explicit LocaleOutput(std::ostream& stream);
    ~LocaleOutput() override;
    LocaleOutput(const LocaleOutput&) = delete;
    LocaleOutput& operator=(const LocaleOutput&) = delete;

  protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

  private:
    void pass_on();

    std::ostream& stream_;
    std::streambuf* target_;
    std::string pending_;
};

}  // namespace zorctl
