// Reads the hand-made fixtures of tests/data: a readable hex form of small compound files.
//
//   # comment                 anything after '#' at the start of a line
//   # expect: <text>          "ok", or a part of the file_corrupt message the file must give
//   base <file>               start from another fixture's bytes (same folder)
//   size <n>                  make the file n bytes long (zero-filled, or cut)
//   <off>: hh hh ...          bytes from offset off (hex)
//   <from>-<to>: hh           byte hh at every offset from..to, both included (hex)
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace cfb_test {

struct HexFixture {
    std::vector<std::uint8_t> bytes;
    std::string expect;  // "ok" or a part of the message
};

inline bool load_hex_fixture(const std::string& folder, const std::string& name, HexFixture& out,
                             int depth = 0) {
    std::ifstream in(folder + "/" + name);
    if (!in || depth > 4) {
        ADD_FAILURE() << "cannot read fixture " << name;
        return false;
    }
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;
        if (line[0] == '#') {
            const std::string key = "# expect: ";
            if (line.rfind(key, 0) == 0 && depth == 0) out.expect = line.substr(key.size());
            continue;
        }
        std::istringstream words(line);
        std::string head;
        words >> head;
        if (head == "base") {
            std::string base;
            words >> base;
            HexFixture inner;
            if (!load_hex_fixture(folder, base, inner, depth + 1)) return false;
            out.bytes = inner.bytes;
            continue;
        }
        if (head == "size") {
            std::string n;
            words >> n;
            out.bytes.resize(std::stoul(n, nullptr, 0), 0);
            continue;
        }
        if (head.empty() || head.back() != ':') {
            ADD_FAILURE() << name << ": bad line \"" << line << "\"";
            return false;
        }
        head.pop_back();
        std::size_t dash = head.find('-');
        std::size_t from = std::stoul(head.substr(0, dash), nullptr, 16);
        std::size_t to = dash == std::string::npos ? from : std::stoul(head.substr(dash + 1), nullptr, 16);
        std::vector<std::uint8_t> values;
        for (std::string hh; words >> hh;)
            values.push_back(static_cast<std::uint8_t>(std::stoul(hh, nullptr, 16)));
        if (values.empty() || (dash != std::string::npos && values.size() != 1)) {
            ADD_FAILURE() << name << ": bad line \"" << line << "\"";
            return false;
        }
        std::size_t end = dash == std::string::npos ? from + values.size() - 1 : to;
        if (end >= out.bytes.size()) {
            ADD_FAILURE() << name << ": \"" << line << "\" is past the size";
            return false;
        }
        for (std::size_t off = from; off <= end; ++off) {
            out.bytes[off] = dash == std::string::npos ? values[off - from] : values[0];
        }
    }
    if (depth == 0 && out.expect.empty()) ADD_FAILURE() << name << " has no \"# expect:\" line";
    return true;
}

}  // namespace cfb_test
