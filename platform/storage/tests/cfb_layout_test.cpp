// What the writer lays down: header fields, sibling trees that are valid red-black trees in the
// file's name order, and reading a 4096-byte-sector (version 4) file.
#include <functional>

#include "platform/storage/cfb_file.h"
#include "platform/storage/cfb_format.h"
#include "platform/storage/tests/cfb_doc.h"
#include "platform/storage/tests/cfb_test_util.h"

using namespace platform::storage;
namespace fmt = platform::storage::format;
using cfb_test::Doc;
using cfb_test::pattern;
using cfb_test::put_stream;

namespace {

std::u16string entry_name(const Doc& d, std::uint32_t id) {
    std::size_t e = d.entry(id);
    std::u16string n;
    std::size_t units = fmt::get16(d.b.data() + e + fmt::kEntNameLen) / 2 - 1;
    for (std::size_t i = 0; i < units; ++i)
        n.push_back(static_cast<char16_t>(fmt::get16(d.b.data() + e + 2 * i)));
    return n;
}

char16_t upper(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
}

bool name_less(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size()) return a.size() < b.size();
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (upper(a[i]) != upper(b[i])) return upper(a[i]) < upper(b[i]);
    }
    return false;
}

// Checks the sibling tree under id; returns its black height, appends names in order.
int check_tree(const Doc& d, std::uint32_t id, bool parent_red, std::vector<std::u16string>& order) {
    if (id == fmt::kNoStream) return 1;
    std::size_t e = d.entry(id);
    bool red = d.b[e + fmt::kEntColour] == fmt::kRed;
    EXPECT_FALSE(red && parent_red) << "red entry " << id << " under a red parent";
    int left = check_tree(d, d.get(e + fmt::kEntLeft), red, order);
    order.push_back(entry_name(d, id));
    int right = check_tree(d, d.get(e + fmt::kEntRight), red, order);
    EXPECT_EQ(left, right) << "black heights differ under entry " << id;
    return left + (red ? 0 : 1);
}

void check_storage(const Doc& d, std::uint32_t id) {
    std::uint32_t child = d.get(d.entry(id) + fmt::kEntChild);
    if (child == fmt::kNoStream) return;
    EXPECT_EQ(d.b[d.entry(child) + fmt::kEntColour], fmt::kBlack) << "tree top of " << id << " is red";
    std::vector<std::u16string> order;
    check_tree(d, child, false, order);
    for (std::size_t i = 1; i < order.size(); ++i) EXPECT_TRUE(name_less(order[i - 1], order[i]));
}

TEST(CfbLayout, HeaderFields) {
    auto file = CompoundFile::create_in_memory();
    put_stream(file.root(), "Data", pattern(100));
    Doc d(cfb_test::saved(file));
    EXPECT_EQ(0, std::memcmp(d.b.data(), fmt::kSignature, 8));
    EXPECT_EQ(fmt::get16(d.b.data() + fmt::kOffMinor), 0x3E);
    EXPECT_EQ(fmt::get16(d.b.data() + fmt::kOffMajor), 3);
    EXPECT_EQ(fmt::get16(d.b.data() + fmt::kOffByteOrder), 0xFFFE);
    EXPECT_EQ(fmt::get16(d.b.data() + fmt::kOffSectorShift), 9);
    EXPECT_EQ(fmt::get16(d.b.data() + fmt::kOffMiniShift), 6);
    EXPECT_EQ(d.get(fmt::kOffDirSectors), 0u);
    EXPECT_EQ(d.get(fmt::kOffMiniCutoff), 4096u);
    EXPECT_EQ(d.get(fmt::kOffFirstDifat), fmt::kEndOfChain);
    EXPECT_EQ(d.get(fmt::kOffDifat + 4), fmt::kFreeSect);
    EXPECT_EQ(d.next(d.get(fmt::kOffDifat)), fmt::kFatSect);
    EXPECT_EQ(d.b[d.entry(0) + fmt::kEntType], fmt::kTypeRoot);
    EXPECT_EQ(d.get(d.entry(0) + fmt::kEntSize), 128u);  // two mini sectors
}

TEST(CfbLayout, SiblingTreesAreRedBlackInNameOrder) {
    for (int count : {1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 31, 33, 100}) {
        auto file = CompoundFile::create_in_memory();
        auto s = file.root().create_storage("S");
        ASSERT_TRUE(s);
        for (int i = 0; i < count; ++i) {
            // Mixed lengths and cases, so both keys of the order matter.
            std::string name = (i % 2 ? "item" : "ITEM") + std::string(static_cast<std::size_t>(i % 5), 'x') +
                               std::to_string(i);
            put_stream(*s, name, pattern(static_cast<std::size_t>(i)));
        }
        Doc d(cfb_test::saved(file));
        for (std::uint32_t id = 0; id < d.entry_count(); ++id) {
            std::uint8_t type = d.b[d.entry(id) + fmt::kEntType];
            if (type == fmt::kTypeRoot || type == fmt::kTypeStorage) check_storage(d, id);
        }
        if (::testing::Test::HasFailure()) FAIL() << "with " << count << " siblings";
    }
}

// A version 4 file by hand: sector 0 FAT, 1 directory, 2 mini FAT, 3 mini stream, 4-5 "Big".
std::vector<std::uint8_t> version4_file() {
    constexpr std::size_t kSs = 4096;
    std::vector<std::uint8_t> b(kSs * 7, 0);
    auto sec = [&](std::size_t id) { return b.data() + (id + 1) * kSs; };
    std::memcpy(b.data(), fmt::kSignature, 8);
    fmt::put16(b.data() + fmt::kOffMinor, 0x3E);
    fmt::put16(b.data() + fmt::kOffMajor, 4);
    fmt::put16(b.data() + fmt::kOffByteOrder, 0xFFFE);
    fmt::put16(b.data() + fmt::kOffSectorShift, 12);
    fmt::put16(b.data() + fmt::kOffMiniShift, 6);
    fmt::put32(b.data() + fmt::kOffDirSectors, 1);
    fmt::put32(b.data() + fmt::kOffFatSectors, 1);
    fmt::put32(b.data() + fmt::kOffFirstDir, 1);
    fmt::put32(b.data() + fmt::kOffMiniCutoff, 4096);
    fmt::put32(b.data() + fmt::kOffFirstMiniFat, 2);
    fmt::put32(b.data() + fmt::kOffMiniFatSectors, 1);
    fmt::put32(b.data() + fmt::kOffFirstDifat, fmt::kEndOfChain);
    for (std::size_t i = 0; i < 109; ++i)
        fmt::put32(b.data() + fmt::kOffDifat + 4 * i, i == 0 ? 0 : fmt::kFreeSect);
    const std::uint32_t fat[] = {fmt::kFatSect,   fmt::kEndOfChain, fmt::kEndOfChain, fmt::kEndOfChain, 5,
                                 fmt::kEndOfChain};
    for (std::size_t i = 0; i < kSs / 4; ++i) fmt::put32(sec(0) + 4 * i, i < 6 ? fat[i] : fmt::kFreeSect);
    for (std::size_t i = 0; i < kSs / 4; ++i)
        fmt::put32(sec(2) + 4 * i, i == 0 ? 1 : i == 1 ? fmt::kEndOfChain : fmt::kFreeSect);
    auto little = pattern(100, 4);
    std::memcpy(sec(3), little.data(), little.size());
    auto big = pattern(5000, 8);
    std::memcpy(sec(4), big.data(), big.size());
    auto entry = [&](std::size_t id, const std::u16string& name, std::uint8_t type, std::uint32_t right,
                     std::uint32_t child, std::uint32_t start, std::uint64_t size) {
        std::uint8_t* p = sec(1) + 128 * id;
        for (std::size_t i = 0; i < name.size(); ++i) fmt::put16(p + 2 * i, name[i]);
        fmt::put16(p + fmt::kEntNameLen, static_cast<std::uint16_t>((name.size() + 1) * 2));
        p[fmt::kEntType] = type;
        p[fmt::kEntColour] = fmt::kBlack;
        fmt::put32(p + fmt::kEntLeft, fmt::kNoStream);
        fmt::put32(p + fmt::kEntRight, right);
        fmt::put32(p + fmt::kEntChild, child);
        fmt::put32(p + fmt::kEntStart, start);
        fmt::put64(p + fmt::kEntSize, size);
    };
    entry(0, u"Root Entry", fmt::kTypeRoot, fmt::kNoStream, 1, 3, 128);
    entry(1, u"Big", fmt::kTypeStream, 2, fmt::kNoStream, 4, 5000);
    entry(2, u"Little", fmt::kTypeStream, fmt::kNoStream, fmt::kNoStream, 0, 100);
    for (std::size_t id = 3; id < kSs / 128; ++id) {
        std::uint8_t* p = sec(1) + 128 * id;
        fmt::put32(p + fmt::kEntLeft, fmt::kNoStream);
        fmt::put32(p + fmt::kEntRight, fmt::kNoStream);
        fmt::put32(p + fmt::kEntChild, fmt::kNoStream);
    }
    return b;
}

TEST(CfbLayout, ReadsVersion4AndSavesAsVersion3) {
    auto file = CompoundFile::open_bytes(version4_file());
    ASSERT_TRUE(file) << file.describe();
    EXPECT_EQ(cfb_test::get_stream(file->root(), "Big"), pattern(5000, 8));
    EXPECT_EQ(cfb_test::get_stream(file->root(), "Little"), pattern(100, 4));
    auto saved = cfb_test::saved(*file);
    EXPECT_EQ(fmt::get16(saved.data() + fmt::kOffMajor), 3);
    auto again = CompoundFile::open_bytes(saved);
    ASSERT_TRUE(again) << again.describe();
    EXPECT_EQ(cfb_test::get_stream(again->root(), "Big"), pattern(5000, 8));
}

TEST(CfbLayout, Version4WithSectorShift9IsCorrupt) {
    auto b = version4_file();
    fmt::put16(b.data() + fmt::kOffSectorShift, 9);
    EXPECT_EQ(CompoundFile::open_bytes(b).error(), StgError::file_corrupt);
}

}  // namespace
