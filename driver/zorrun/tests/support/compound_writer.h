// A writer of small compound files (version 3) for the tests: an oracle of its own, sharing no
// code with the driver's reader. Streams under 4096 bytes go to the mini stream, larger ones to
// sectors of their own; each storage's children form a sorted chain of right siblings.
#pragma once

#include <string>
#include <vector>

namespace zorrun_test {

struct CompoundNode {
    std::string name;  // ASCII
    bool storage = false;
    std::string data;  // a stream's bytes
    std::vector<CompoundNode> children;

    static CompoundNode stream(std::string name, std::string data) {
        return {std::move(name), false, std::move(data), {}};
    }
    static CompoundNode folder(std::string name, std::vector<CompoundNode> children) {
        return {std::move(name), true, {}, std::move(children)};
    }
};

// The bytes of a compound file whose root storage holds `top`.
std::string make_compound_file(const std::vector<CompoundNode>& top);

// Lines as a method stream holds them: UTF-16LE (of Windows-1252 text), each ended by CR LF.
std::string method_stream_bytes(const std::vector<std::string>& lines);

}  // namespace zorrun_test
