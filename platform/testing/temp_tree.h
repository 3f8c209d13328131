// Temporary folders for tests: real files in a folder of the test's own, removed at the end.
// Threads: any; a TempTree is made and removed on one thread.
#pragma once

#include <filesystem>
#include <string>

namespace zor_testing {

// Makes a new empty folder named `prefix` plus a unique ending in the temporary folder; an
// empty path when it could not.
std::filesystem::path make_temp_folder(const std::string& prefix);

// A temporary folder that lives as long as this object; its files go with it.
class TempTree {
  public:
    explicit TempTree(const std::string& prefix = "zor-test");
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    // Empty when the folder could not be made.
    const std::filesystem::path& path() const { return path_; }
    // The path of `name` inside the folder.
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

// The whole content of a file; "" when it cannot be read.
std::string read_file(const std::filesystem::path& path);

}  // namespace zor_testing
