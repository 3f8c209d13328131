#include "tools/zorsim/transcript.h"

#include <cerrno>
#include <cstring>

#include "tools/zorsim/byte_escape.h"

namespace zorsim {

Transcript::~Transcript() {
    if (file_ != nullptr) std::fclose(file_);
}

std::string Transcript::open(const std::string& path) {
    if (file_ != nullptr) std::fclose(file_);
    file_ = std::fopen(path.c_str(), "w");
    if (file_ == nullptr) return "cannot write the transcript " + path + ": " + std::strerror(errno);
    return {};
}

std::string Transcript::format(double seconds, std::string_view direction, std::string_view bytes,
                               std::string_view note) {
    char time[32];
    std::snprintf(time, sizeof time, "%.3f", seconds);
    std::string line = std::string(time) + " " + std::string(direction) + " " + escape_bytes(bytes);
    if (!note.empty()) line += " # " + escape_bytes(note);
    return line;
}

void Transcript::received(Clock::time_point at, std::string_view bytes, std::string_view note) {
    write(at, "RX", bytes, note);
}

void Transcript::sent(Clock::time_point at, std::string_view bytes, std::string_view note) {
    write(at, "TX", bytes, note);
}

void Transcript::write(Clock::time_point at, std::string_view direction, std::string_view bytes,
                       std::string_view note) {
    if (file_ == nullptr) return;
    const double seconds = std::chrono::duration<double>(at - start_).count();
    const std::string line = format(seconds, direction, bytes, note) + "\n";
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fflush(file_);
}

}  // namespace zorsim
