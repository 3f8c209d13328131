// Damaged files: each fixture is a good file with one field broken. Every one must be refused
// with file_corrupt and a message naming the trouble; none may crash or hang.
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

// Root: storage "Zor" {"Data" 40,000 bytes in sectors, "Small" 100 bytes in the mini stream},
// stream "Tiny" 10 bytes in the mini stream.
std::vector<std::uint8_t> good_file() {
    auto file = CompoundFile::create_in_memory();
    auto zor = file.root().create_storage("Zor");
    put_stream(*zor, "Data", pattern(40000));
    put_stream(*zor, "Small", pattern(100, 1));
    put_stream(file.root(), "Tiny", pattern(10, 2));
    return file.to_bytes();
}

// A file with more than 109 FAT sectors, so its DIFAT continues in a sector.
std::vector<std::uint8_t> file_with_difat_sector() {
    auto file = CompoundFile::create_in_memory();
    put_stream(file.root(), "Big", pattern(7'500'000));
    return file.to_bytes();
}

struct Damage {
    const char* what;  // the field broken
    std::function<void(Doc&)> apply;
    const char* expect;  // part of the message
    bool large = false;  // starts from the file with a DIFAT sector
};

const std::vector<Damage>& damages() {
    static const std::vector<Damage> list = {
        {"signature's first byte", [](Doc& d) { d.b[0] ^= 0xFF; }, "signature"},
        {"major version 5", [](Doc& d) { d.set16(fmt::kOffMajor, 5); }, "version"},
        {"sector shift 10 in a version 3 file", [](Doc& d) { d.set16(fmt::kOffSectorShift, 10); },
         "sector shift"},
        {"mini sector shift 7", [](Doc& d) { d.set16(fmt::kOffMiniShift, 7); }, "mini sector shift"},
        {"byte order mark swapped", [](Doc& d) { d.set16(fmt::kOffByteOrder, 0xFEFF); }, "byte order"},
        {"mini stream cutoff 8192", [](Doc& d) { d.set(fmt::kOffMiniCutoff, 8192); }, "cutoff"},
        {"FAT sector count larger than the file", [](Doc& d) { d.set(fmt::kOffFatSectors, 1000); },
         "FAT sectors"},
        {"FAT sector count zero", [](Doc& d) { d.set(fmt::kOffFatSectors, 0); }, "FAT"},
        {"first FAT sector id past the end", [](Doc& d) { d.set(fmt::kOffDifat, 0x00FFFFF0); },
         "past the end"},
        {"FAT sector count 2 with one DIFAT entry", [](Doc& d) { d.set(fmt::kOffFatSectors, 2); }, "FAT"},
        {"first directory sector past the end", [](Doc& d) { d.set(fmt::kOffFirstDir, 5000); }, "directory"},
        {"first directory sector is end of chain", [](Doc& d) { d.set(fmt::kOffFirstDir, fmt::kEndOfChain); },
         "directory is empty"},
        {"directory chain loops back to its start",
         [](Doc& d) {
             auto c = d.chain(d.get(fmt::kOffFirstDir));
             d.set(d.fat_entry(c.back()), c.front());
         },
         "directory"},
        {"directory starts in the FAT sector",
         [](Doc& d) { d.set(fmt::kOffFirstDir, d.get(fmt::kOffDifat)); }, "directory"},
        {"first entry is a storage, not the root", [](Doc& d) { d.b[d.entry(0) + fmt::kEntType] = 1; },
         "root"},
        {"stream's chain loops",
         [](Doc& d) {
             auto c = d.chain(d.get(d.field(u"Data", fmt::kEntStart)));
             d.set(d.fat_entry(c[3]), c[1]);
         },
         "loops"},
        {"stream's chain points past the end",
         [](Doc& d) {
             auto c = d.chain(d.get(d.field(u"Data", fmt::kEntStart)));
             d.set(d.fat_entry(c[2]), 0x00FFFFFF);
         },
         "past the end"},
        {"stream's chain continues into a FAT-sector marker",
         [](Doc& d) {
             auto c = d.chain(d.get(d.field(u"Data", fmt::kEntStart)));
             d.set(d.fat_entry(c[0]), fmt::kFatSect);
         },
         "special"},
        {"stream's chain runs into the FAT sector itself",
         [](Doc& d) {
             auto c = d.chain(d.get(d.field(u"Data", fmt::kEntStart)));
             d.set(d.fat_entry(c[0]), d.get(fmt::kOffDifat));
         },
         "already in use"},
        {"stream's chain ends early",
         [](Doc& d) {
             auto c = d.chain(d.get(d.field(u"Data", fmt::kEntStart)));
             d.set(d.fat_entry(c[1]), fmt::kEndOfChain);
         },
         "needs 79 sectors"},
        {"stream's chain ends in a free sector",
         [](Doc& d) {
             auto c = d.chain(d.get(d.field(u"Data", fmt::kEntStart)));
             d.set(d.fat_entry(c[1]), fmt::kFreeSect);
         },
         "free or special"},
        {"stream's size past the end of the file",
         [](Doc& d) { d.set(d.field(u"Data", fmt::kEntSize), 0x7FFFFFFF); }, "past the end of the file"},
        {"stream claims 4 GiB", [](Doc& d) { d.set(d.field(u"Data", fmt::kEntSize), 0xFFFFFFFF); },
         "past the end of the file"},
        {"stream starts at a free-sector id",
         [](Doc& d) { d.set(d.field(u"Data", fmt::kEntStart), fmt::kFreeSect); }, "special"},
        {"stream starts in the directory (overlap)",
         [](Doc& d) { d.set(d.field(u"Data", fmt::kEntStart), d.get(fmt::kOffFirstDir)); }, "already in use"},
        {"sibling id out of range", [](Doc& d) { d.set(d.field(u"Zor", fmt::kEntLeft), 1000); },
         "out of range"},
        {"child id out of range", [](Doc& d) { d.set(d.field(u"Zor", fmt::kEntChild), 77); }, "out of range"},
        {"sibling points back to its parent (cycle)",
         [](Doc& d) { d.set(d.field(u"Data", fmt::kEntLeft), d.find(u"Zor")); }, "cycle"},
        {"sibling points to itself",
         [](Doc& d) { d.set(d.field(u"Small", fmt::kEntLeft), d.find(u"Small")); }, "cycle"},
        {"sibling points to the root", [](Doc& d) { d.set(d.field(u"Small", fmt::kEntRight), 0); }, "cycle"},
        {"sibling points to an unused entry",
         [](Doc& d) { d.set(d.field(u"Small", fmt::kEntRight), d.entry_count() - 1); }, "unused"},
        {"entry of unknown type 7", [](Doc& d) { d.b[d.field(u"Small", fmt::kEntType)] = 7; },
         "unknown type"},
        {"name length 65 (odd, past the field)",
         [](Doc& d) { d.set16(d.field(u"Small", fmt::kEntNameLen), 65); }, "name length"},
        {"name holds a slash", [](Doc& d) { d.set16(d.entry(d.find(u"Small")) + 2, u'/'); },
         "forbidden character"},
        {"name holds a lone surrogate", [](Doc& d) { d.set16(d.entry(d.find(u"Small")) + 2, 0xD800); },
         "lone surrogate"},
        {"two siblings with the same name",
         [](Doc& d) {
             std::size_t e = d.entry(d.find(u"Small"));
             const char16_t name[] = u"DATA";
             for (int i = 0; i < 5; ++i) d.set16(e + 2 * i, name[i]);
             d.set16(e + fmt::kEntNameLen, 10);
         },
         "two elements"},
        {"mini stream shorter than a stream in it", [](Doc& d) { d.set(d.entry(0) + fmt::kEntSize, 64); },
         "mini stream"},
        {"root's mini stream starts past the end", [](Doc& d) { d.set(d.entry(0) + fmt::kEntStart, 9999); },
         "mini stream"},
        {"small stream starts beyond the mini stream",
         [](Doc& d) { d.set(d.field(u"Small", fmt::kEntStart), 500); }, "beyond the mini stream"},
        {"mini chain loops on itself",
         [](Doc& d) {
             std::uint32_t s = d.get(d.field(u"Small", fmt::kEntStart));
             d.set(d.minifat_entry(s), s);
         },
         "loops"},
        {"mini chain ends early",
         [](Doc& d) { d.set(d.minifat_entry(d.get(d.field(u"Small", fmt::kEntStart))), fmt::kEndOfChain); },
         "mini sectors"},
        {"mini FAT starts past the end", [](Doc& d) { d.set(fmt::kOffFirstMiniFat, 4000); }, "mini FAT"},
        {"file cut to half", [](Doc& d) { d.b.resize(d.b.size() / 2); }, "past the end"},
        {"file shorter than a header", [](Doc& d) { d.b.resize(100); }, "shorter than"},
        {"DIFAT sector loops to itself while more FAT sectors are claimed",
         [](Doc& d) {
             std::uint32_t difat = d.get(fmt::kOffFirstDifat);
             d.set(fmt::kOffFatSectors, 109 + 127 + 5);
             d.set(Doc::sector(difat) + 4 * 127, difat);
         },
         "DIFAT chain loops", true},
        {"DIFAT sector id past the end", [](Doc& d) { d.set(fmt::kOffFirstDifat, 0x00FFFFF0); }, "DIFAT",
         true},
        {"DIFAT ends before all FAT sectors are named",
         [](Doc& d) { d.set(fmt::kOffFirstDifat, fmt::kEndOfChain); }, "DIFAT ends", true},
        {"DIFAT names a FAT sector twice",
         [](Doc& d) {
             std::uint32_t difat = d.get(fmt::kOffFirstDifat);
             d.set(Doc::sector(difat), d.get(fmt::kOffDifat));
         },
         "twice", true},
    };
    return list;
}

TEST(CfbCorrupt, GoodFixturesOpen) {
    auto small = CompoundFile::open_bytes(good_file());
    ASSERT_TRUE(small) << small.describe();
    EXPECT_EQ(cfb_test::get_stream(*small->root().open_storage("Zor"), "Data"), pattern(40000));
    auto large = CompoundFile::open_bytes(file_with_difat_sector());
    ASSERT_TRUE(large) << large.describe();
    Doc d(file_with_difat_sector());
    EXPECT_EQ(d.get(fmt::kOffDifatSectors), 1u);
}

class CfbCorruptFixture : public ::testing::TestWithParam<std::size_t> {};

TEST_P(CfbCorruptFixture, RefusedAsCorrupt) {
    static const auto small = good_file();
    static const auto large = file_with_difat_sector();
    const Damage& damage = damages()[GetParam()];
    Doc doc(damage.large ? large : small);
    damage.apply(doc);
    auto file = CompoundFile::open_bytes(doc.b);
    ASSERT_FALSE(file) << damage.what << ": opened";
    EXPECT_EQ(file.error(), StgError::file_corrupt) << damage.what << ": " << file.describe();
    EXPECT_NE(file.result().message().find(damage.expect), std::string::npos)
        << damage.what << ": " << file.describe();
    EXPECT_EQ(validate_compound_file(doc.b).error(), StgError::file_corrupt)
        << damage.what << ": validate let it pass";
}

INSTANTIATE_TEST_SUITE_P(Damages, CfbCorruptFixture, ::testing::Range<std::size_t>(0, damages().size()));

TEST(CfbCorrupt, DamagedFileOnDiskIsCorruptToo) {
    cfb_test::TempDir dir;
    Doc doc(good_file());
    doc.set(doc.field(u"Zor", fmt::kEntChild), 77);
    cfb_test::write_file(dir.file("bad.zor"), doc.b);
    auto file = CompoundFile::open(dir.file("bad.zor"), Mode::read_only);
    EXPECT_EQ(file.error(), StgError::file_corrupt) << file.describe();
    // The failed open left no lock behind.
    cfb_test::write_file(dir.file("bad.zor"), good_file());
    EXPECT_TRUE(CompoundFile::open(dir.file("bad.zor"), Mode::read_only));
}

TEST(CfbCorrupt, TolerableOddities) {
    // A last sector cut short reads as zero-padded.
    auto bytes = good_file();
    bytes.resize(bytes.size() - 100);
    auto cut = CompoundFile::open_bytes(bytes);
    if (cut) {
        EXPECT_EQ(cfb_test::get_stream(*cut->root().open_storage("Zor"), "Data").size(), 40000u);
    } else {
        EXPECT_EQ(cut.error(), StgError::file_corrupt);
    }
    // Junk in the high half of a version 3 size is ignored.
    Doc doc(good_file());
    doc.set(doc.field(u"Data", fmt::kEntSize) + 4, 0xDEADBEEF);
    auto junk = CompoundFile::open_bytes(doc.b);
    ASSERT_TRUE(junk) << junk.describe();
    EXPECT_EQ(cfb_test::get_stream(*junk->root().open_storage("Zor"), "Data"), pattern(40000));
}

}  // namespace
