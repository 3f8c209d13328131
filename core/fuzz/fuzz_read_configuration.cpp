// Any text as a configuration: the reader never reads past a table or crashes, and whatever
// it accepts it writes back as a text that reads again into a model that writes the same text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/config_model.h"
#include "core/config_text.h"
#include "core/fuzz/fuzz_support.h"
#include "core/line_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    core_fuzz::start_session();
    const std::vector<std::string> lines =
        core::split_lines(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!core::read_configuration(lines)) return 0;

    const core::Tconfig_model& model = core::config_model();
    for (int k = 0; k < model.object_count; ++k) core::format_object_line(k);
    const std::vector<std::string> written = core::configuration_lines();
    if (!core::read_configuration(written)) core_fuzz::violated("a written configuration reads again");
    if (core::configuration_lines() != written)
        core_fuzz::violated("a re-read configuration writes the same");
    return 0;
}
