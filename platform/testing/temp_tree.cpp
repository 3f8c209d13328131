#include "platform/testing/temp_tree.h"

#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <system_error>

namespace zor_testing {

std::filesystem::path make_temp_folder(const std::string& prefix) {
    std::error_code failed;
    const std::filesystem::path root = std::filesystem::temp_directory_path(failed);
    if (failed) return {};
    std::string pattern = (root / (prefix + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) return {};
    return pattern;
}

TempTree::TempTree(const std::string& prefix) : path_(make_temp_folder(prefix)) {}

TempTree::~TempTree() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace zor_testing
