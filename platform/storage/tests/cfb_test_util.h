// Helpers shared by the compound file tests.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/storage/cfb_file.h"
#include "platform/testing/temp_tree.h"

namespace cfb_test {

// Bytes filled with their position mod 256.
inline std::vector<std::uint8_t> pattern(std::size_t n, std::uint8_t salt = 0) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(i + salt);
    return v;
}

// A fresh folder under the temp dir, removed with the fixture.
using TempDir = zor_testing::TempTree;

inline std::vector<std::uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_file(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Writes a stream into a storage, asserting success.
inline void put_stream(platform::storage::Storage s, const std::string& name,
                       const std::vector<std::uint8_t>& bytes) {
    auto stream = s.create_stream(name, true);
    ASSERT_TRUE(stream) << stream.describe();
    auto r = stream->write(bytes.data(), bytes.size());
    ASSERT_TRUE(r) << r.describe();
}

// The file's bytes as to_bytes() lays them out, after the strict check every write must pass.
inline std::vector<std::uint8_t> saved(const platform::storage::CompoundFile& file) {
    auto bytes = file.to_bytes();
    auto check = platform::storage::validate_compound_file(bytes);
    EXPECT_TRUE(check) << check.describe();
    return bytes;
}

// A committed file on disk, read back after the same check.
inline std::vector<std::uint8_t> checked_file(const std::string& path) {
    auto bytes = read_file(path);
    auto check = platform::storage::validate_compound_file(bytes);
    EXPECT_TRUE(check) << path << ": " << check.describe();
    return bytes;
}

inline std::vector<std::uint8_t> get_stream(const platform::storage::Storage& s, const std::string& name) {
    auto stream = s.open_stream(name);
    EXPECT_TRUE(stream) << stream.describe();
    return stream ? stream->read_all() : std::vector<std::uint8_t>{};
}

}  // namespace cfb_test
