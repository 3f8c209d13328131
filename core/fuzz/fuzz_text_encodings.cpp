// Any bytes as a line file: the decoder never reads past its input or crashes; what it accepts
// is Windows-1252 text without NUL that reads back unchanged from its UTF-8 form.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/fuzz/fuzz_support.h"
#include "core/line_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string text;
    core::TextProblem problem;
    if (!core::decode_text(bytes, text, problem)) {
        if (!text.empty() || problem.line < 1 || problem.reason.empty())
            core_fuzz::violated("a refused text is empty and its problem named");
        return 0;
    }
    if (text.find('\0') != std::string::npos) core_fuzz::violated("an accepted text holds no NUL");
    std::string again;
    if (!core::decode_text(core::file_name_to_utf8(text), again, problem) || again != text)
        core_fuzz::violated("an accepted text reads back from UTF-8");
    return 0;
}
