// Opens arbitrary bytes as a compound file, walks every storage, reads every stream, and
// checks that what loaded saves to a file that passes the strict check and loads again to the
// same tree. The strict check also runs on the input itself, which it must survive.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "platform/storage/cfb_file.h"

using namespace platform::storage;

namespace {

// Streams and storages in walk order, with sizes, as a flat signature of the tree.
std::vector<std::uint64_t> walk(const Storage& top) {
    std::vector<std::uint64_t> sig;
    std::vector<Storage> stack{top};
    while (!stack.empty()) {
        Storage s = stack.back();
        stack.pop_back();
        for (const auto& e : s.elements()) {
            sig.push_back(e.name.size() * 2 + (e.kind == ElementKind::storage ? 1 : 0));
            if (e.kind == ElementKind::storage) {
                auto child = s.open_storage(e.name);
                if (!child) std::abort();
                stack.push_back(*child);
            } else {
                auto stream = s.open_stream(e.name);
                if (!stream || stream->size() != e.size) std::abort();
                std::uint8_t buf[4096];
                std::uint64_t total = 0;
                while (std::size_t n = stream->read(buf, sizeof buf)) total += n;
                if (total != e.size) std::abort();
                sig.push_back(e.size);
            }
        }
    }
    return sig;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::span<const std::uint8_t> input(data, size);
    auto input_check = validate_compound_file(input);
    auto file = CompoundFile::open_bytes(input);
    if (!file) {
        if (input_check) std::abort();  // the strict check passed what the loader refused
        return 0;
    }
    auto sig = walk(file->root());
    auto saved = file->to_bytes();
    if (!validate_compound_file(saved)) std::abort();
    auto again = CompoundFile::open_bytes(saved);
    if (!again || walk(again->root()) != sig) std::abort();
    return 0;
}
