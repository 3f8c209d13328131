// Test helper: a temporary folder, removed with its files at the end of the test.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace zor_test {

class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zor_serial_XXXXXX").string();
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

inline std::string read_file(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline bool file_exists(const std::string& name) {
    return std::filesystem::exists(name);
}

}  // namespace zor_test
