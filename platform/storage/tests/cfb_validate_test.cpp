// The strict check against what the loader lets pass: files that open, but that no writer of
// ours may produce. Each starts from a good file and breaks one rule.
#include <functional>

#include "platform/storage/cfb_file.h"
#include "platform/storage/cfb_format.h"
#include "platform/storage/tests/cfb_doc.h"
#include "platform/storage/tests/cfb_test_util.h"

using namespace platform::storage;
namespace fmt = platform::storage::format;
using cfb_test::Doc;
using cfb_test::pattern;

namespace {

// Root {"A" 100 bytes, "B" 6,000 bytes, "C" 10 bytes, storage "S" {"D" 1 byte}}.
std::vector<std::uint8_t> good_file() {
    auto file = CompoundFile::create_in_memory();
    cfb_test::put_stream(file.root(), "A", pattern(100));
    cfb_test::put_stream(file.root(), "B", pattern(6000));
    cfb_test::put_stream(file.root(), "C", pattern(10));
    auto s = file.root().create_storage("S");
    cfb_test::put_stream(*s, "D", pattern(1));
    return file.to_bytes();
}

struct Rule {
    const char* broken;
    std::function<void(Doc&)> apply;
    const char* expect;
};

const std::vector<Rule>& rules() {
    static const std::vector<Rule> list = {
        {"a free sector marked as end of chain (a leak)",
         [](Doc& d) {
             d.b.resize(d.b.size() + 512, 0);
             d.set(d.fat_entry(static_cast<std::uint32_t>(d.b.size() / 512 - 2)), fmt::kEndOfChain);
         },
         "belongs to nothing"},
        {"a free mini sector marked as end of chain",
         [](Doc& d) { d.set(d.minifat_entry(100), fmt::kEndOfChain); }, "mini sector 100"},
        {"a stream's chain longer than its size", [](Doc& d) { d.set(d.field(u"B", fmt::kEntSize), 5000); },
         "goes on past"},
        {"a red top of a sibling tree",
         [](Doc& d) { d.b[d.entry(d.get(d.entry(0) + fmt::kEntChild)) + fmt::kEntColour] = fmt::kRed; },
         "red top"},
        {"two red entries in a row",
         [](Doc& d) {
             for (char16_t n : {u'A', u'B', u'C', u'S'})
                 d.b[d.field(std::u16string(1, n), fmt::kEntColour)] = fmt::kRed;
             d.b[d.entry(d.get(d.entry(0) + fmt::kEntChild)) + fmt::kEntColour] = fmt::kBlack;
         },
         "red"},
        {"siblings out of name order",
         [](Doc& d) {
             std::size_t a = d.field(u"A", fmt::kEntName);
             std::size_t c = d.field(u"C", fmt::kEntName);
             d.set16(a, u'C');
             d.set16(c, u'A');
         },
         "out of order"},
        {"an unused entry with a name", [](Doc& d) { d.set16(d.entry(d.entry_count() - 1), u'X'); },
         "not cleared"},
        {"a stream with a class id", [](Doc& d) { d.set(d.field(u"A", fmt::kEntClsid), 1); }, "class id"},
        {"a stream with a child", [](Doc& d) { d.set(d.field(u"A", fmt::kEntChild), 1); }, "child"},
        {"a storage with a size", [](Doc& d) { d.set(d.field(u"S", fmt::kEntSize), 1); }, "start or size"},
        {"a version 3 size with a high half", [](Doc& d) { d.set(d.field(u"A", fmt::kEntSize) + 4, 1); },
         "high half"},
        {"a DIFAT count without DIFAT sectors", [](Doc& d) { d.set(fmt::kOffDifatSectors, 1); },
         "DIFAT sectors"},
        {"a header DIFAT slot beyond the FAT that is not free", [](Doc& d) { d.set(fmt::kOffDifat + 8, 0); },
         "not free"},
        {"a file that is not a whole number of sectors", [](Doc& d) { d.b.push_back(0); }, "whole number"},
        {"the root renamed", [](Doc& d) { d.set16(d.entry(0), u'X'); }, "Root Entry"},
    };
    return list;
}

TEST(CfbValidate, GoodFilesPass) {
    auto check = validate_compound_file(good_file());
    EXPECT_TRUE(check) << check.describe();
    EXPECT_TRUE(validate_compound_file(CompoundFile::create_in_memory().to_bytes()));
}

class CfbValidateRule : public ::testing::TestWithParam<std::size_t> {};

TEST_P(CfbValidateRule, OpensButFailsTheCheck) {
    const Rule& rule = rules()[GetParam()];
    Doc d(good_file());
    rule.apply(d);
    auto check = validate_compound_file(d.b);
    ASSERT_FALSE(check) << rule.broken << ": passed";
    EXPECT_EQ(check.error(), StgError::file_corrupt);
    EXPECT_NE(check.message().find(rule.expect), std::string::npos)
        << rule.broken << ": " << check.describe();
}

INSTANTIATE_TEST_SUITE_P(Rules, CfbValidateRule, ::testing::Range<std::size_t>(0, rules().size()));

}  // namespace
