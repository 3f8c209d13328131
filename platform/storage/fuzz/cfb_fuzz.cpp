// Opens arbitrary bytes as a compound file, walks every storage, reads every stream, and
// checks that what loaded saves and loads again to the same tree.
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
  auto file = CompoundFile::open_bytes(std::span<const std::uint8_t>(data, size));
  if (!file) return 0;
  auto sig = walk(file->root());
  auto again = CompoundFile::open_bytes(file->to_bytes());
  if (!again || walk(again->root()) != sig) std::abort();
  return 0;
}
