// The method folder every session and run test starts from: the macros the engine runs on an
// instrument error, after the person's answer and at the end of a sample list, and the example
// configuration as the one last read from the instrument. Needs ZOR_EXAMPLES_DIR.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace core_test {

// Writes a macro file (name.pma) with the lines as the editor saves them.
inline void write_macro_file(const std::filesystem::path& folder, const std::string& name,
                             const std::vector<std::string>& lines) {
    std::ofstream out(folder / (name + ".pma"), std::ios::binary);
    for (const auto& line : lines) out << line << "\r\n";
}

inline void write_error_macros(const std::filesystem::path& folder) {
    write_macro_file(folder, "ERROR ENTRY", {"// on an instrument error", "WASH(Wash1,1)"});
    write_macro_file(folder, "ERROR EXIT", {"// after the user's answer", "WASH(Wash2,1)"});
    write_macro_file(folder, "SL EXIT", {"// end of a sample list", "WASH(Wash2,3)"});
}

inline void write_sample_method_folder(const std::filesystem::path& folder) {
    write_error_macros(folder);
    std::filesystem::copy_file(std::filesystem::path(ZOR_EXAMPLES_DIR) / "zor_config.pol",
                               folder / "latest_zor.pol");
}

}  // namespace core_test
