// Lengths as data: each row is a stream length and the structure of the file it crosses.
// Streams are filled with their position mod 256; every written file passes the strict check
// and reads back the same, from disk and from bytes.
#include "platform/storage/cfb_file.h"
#include "platform/storage/cfb_format.h"
#include "platform/storage/tests/cfb_doc.h"
#include "platform/storage/tests/cfb_test_util.h"

using namespace platform::storage;
namespace fmt = platform::storage::format;
using cfb_test::Doc;
using cfb_test::pattern;

namespace {

struct Row {
    std::size_t length;
    const char* crosses;
};

const Row kRows[] = {
    {0, "empty: no sector at all, the start is end-of-chain"},
    {63, "one mini sector, not full"},
    {64, "exactly one mini sector"},
    {65, "a second mini sector"},
    {511, "the last length whose mini sectors fit one regular sector of the mini stream"},
    {512, "eight mini sectors: the mini stream fills its first regular sector exactly"},
    {513, "the mini stream needs a second regular sector"},
    {4095, "the longest stream kept in the mini stream"},
    {4096, "the cutoff: the shortest stream in regular sectors (eight)"},
    {4097, "a ninth regular sector"},
};

std::size_t ceil_div(std::size_t a, std::size_t b) {
    return (a + b - 1) / b;
}

// Mini sectors of the chain that starts at mini_id, by the trusting reader of the tests.
std::size_t mini_chain_length(const Doc& d, std::uint32_t mini_id) {
    std::size_t n = 0;
    for (std::uint32_t m = mini_id; m != fmt::kEndOfChain && n < 1000; m = d.get(d.minifat_entry(m))) ++n;
    return n;
}

class CfbLength : public ::testing::TestWithParam<Row> {};

TEST_P(CfbLength, PlacedWhereItsSizeSaysAndReadBack) {
    const Row row = GetParam();
    SCOPED_TRACE(row.crosses);
    cfb_test::TempDir dir;
    const std::string path = dir.file("doc.zor");
    {
        auto file = create_compound_file(path);
        ASSERT_TRUE(file) << file.describe();
        auto zor = file->root().create_storage("Zor");
        ASSERT_TRUE(zor);
        cfb_test::put_stream(*zor, "Data", pattern(row.length));
        ASSERT_TRUE(file->commit());
    }
    Doc d(cfb_test::checked_file(path));
    const std::uint32_t start = d.get(d.field(u"Data", fmt::kEntStart));
    EXPECT_EQ(d.get(d.field(u"Data", fmt::kEntSize)), row.length);
    const std::uint32_t root_size = d.get(d.entry(0) + fmt::kEntSize);
    if (row.length == 0) {
        EXPECT_EQ(start, fmt::kEndOfChain);
        EXPECT_EQ(root_size, 0u);
    } else if (row.length < 4096) {
        EXPECT_EQ(root_size, ceil_div(row.length, 64) * 64);
        EXPECT_EQ(mini_chain_length(d, start), ceil_div(row.length, 64));
        EXPECT_EQ(d.chain(d.get(d.entry(0) + fmt::kEntStart)).size(), ceil_div(root_size, 512));
    } else {
        EXPECT_EQ(root_size, 0u);
        EXPECT_EQ(d.chain(start).size(), ceil_div(row.length, 512));
    }
    auto file = open_compound_file(path, Mode::read_only);
    ASSERT_TRUE(file) << file.describe();
    auto data = file->root().open_storage("Zor")->open_stream("Data");
    ASSERT_TRUE(data);
    std::vector<std::uint8_t> buf(row.length + 10);
    EXPECT_EQ(data->read(buf.data(), buf.size()), row.length);
    buf.resize(row.length);
    EXPECT_EQ(buf, pattern(row.length));
}

INSTANTIATE_TEST_SUITE_P(Rows, CfbLength, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return "len" + std::to_string(info.param.length); });

TEST(CfbLength, StreamMovesAcrossTheCutoffBothWays) {
    auto file = CompoundFile::create_in_memory();
    auto s = file.root().create_stream("Data", false);
    ASSERT_TRUE(s);
    ASSERT_TRUE(s->write(pattern(4095).data(), 4095));
    Doc small(cfb_test::saved(file));
    EXPECT_EQ(small.get(small.entry(0) + fmt::kEntSize), 4096u);  // 64 mini sectors
    ASSERT_TRUE(s->set_size(4096));
    Doc big(cfb_test::saved(file));
    EXPECT_EQ(big.get(big.entry(0) + fmt::kEntSize), 0u);
    ASSERT_TRUE(s->set_size(4095));
    auto back = CompoundFile::open_bytes(cfb_test::saved(file));
    ASSERT_TRUE(back);
    EXPECT_EQ(cfb_test::get_stream(back->root(), "Data"), pattern(4095));
}

struct FatRow {
    std::size_t length;
    std::uint32_t fat_sectors;
    std::uint32_t difat_sectors;
    const char* crosses;
};

// One stream "Big" in the root: the directory is one sector, so a stream of s sectors needs
// s + 1 sectors of contents, and f FAT sectors map 128 f sectors including themselves and the
// DIFAT's.
const FatRow kFatRows[] = {
    {7'087'104, 109, 0, "13,842 sectors: the header's 109 FAT slots are exactly used up"},
    {7'087'105, 110, 1, "one byte more: the first DIFAT spill"},
    {15'344'640, 236, 1, "the first DIFAT sector's 127 slots are exactly used up"},
    {15'344'641, 237, 2, "one byte more: a second DIFAT sector, chained from the first"},
};

class CfbFatSpill : public ::testing::TestWithParam<FatRow> {};

TEST_P(CfbFatSpill, HeaderCountsAndContents) {
    const FatRow row = GetParam();
    SCOPED_TRACE(row.crosses);
    auto file = CompoundFile::create_in_memory();
    const auto data = pattern(row.length);
    cfb_test::put_stream(file.root(), "Big", data);
    Doc d(cfb_test::saved(file));
    EXPECT_EQ(d.get(fmt::kOffFatSectors), row.fat_sectors);
    EXPECT_EQ(d.get(fmt::kOffDifatSectors), row.difat_sectors);
    EXPECT_EQ(d.get(fmt::kOffFirstDifat), row.difat_sectors ? row.fat_sectors : fmt::kEndOfChain);
    auto back = CompoundFile::open_bytes(d.b);
    ASSERT_TRUE(back) << back.describe();
    EXPECT_EQ(cfb_test::get_stream(back->root(), "Big"), data);
}

INSTANTIATE_TEST_SUITE_P(Rows, CfbFatSpill, ::testing::ValuesIn(kFatRows),
                         [](const auto& info) { return "len" + std::to_string(info.param.length); });

TEST(CfbManyStreams, SpillTheDirectoryAndTheDifat) {
    // 2,000 streams of 4,096 bytes: 16,000 content sectors and 501 directory sectors, more than
    // the header's 109 FAT sectors can map.
    constexpr int kCount = 2000;
    auto file = CompoundFile::create_in_memory();
    auto many = file.root().create_storage("Many");
    ASSERT_TRUE(many);
    for (int i = 0; i < kCount; ++i) {
        cfb_test::put_stream(*many, "S" + std::to_string(i), pattern(4096, static_cast<std::uint8_t>(i)));
    }
    Doc d(cfb_test::saved(file));
    EXPECT_EQ(d.chain(d.get(fmt::kOffFirstDir)).size(), 501u);
    EXPECT_GE(d.get(fmt::kOffDifatSectors), 1u);
    auto back = CompoundFile::open_bytes(d.b);
    ASSERT_TRUE(back) << back.describe();
    auto list = back->root().open_storage("Many")->enumerate();
    ASSERT_EQ(list.size(), static_cast<std::size_t>(kCount));
    for (int i = 0; i < kCount; i += 7) {
        EXPECT_EQ(cfb_test::get_stream(*back->root().open_storage("Many"), "S" + std::to_string(i)),
                  pattern(4096, static_cast<std::uint8_t>(i)));
    }
}

}  // namespace
