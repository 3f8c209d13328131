// Writing and reading back: stream lengths around the sector and mini stream limits, nesting,
// many streams, replacing, destroying, and the byte-buffer form.
#include <cstdint>
#include <string>

#include "platform/storage/cfb_file.h"
#include "platform/storage/tests/cfb_test_util.h"

using namespace platform::storage;
using cfb_test::get_stream;
using cfb_test::pattern;
using cfb_test::put_stream;

namespace {

class CfbRoundTrip : public ::testing::TestWithParam<std::size_t> {};

TEST_P(CfbRoundTrip, StreamOfLengthSurvivesFileAndBytes) {
    cfb_test::TempDir dir;
    const std::string path = dir.file("doc.zor");
    const std::size_t n = GetParam();
    {
        auto file = CompoundFile::create(path);
        ASSERT_TRUE(file) << file.describe();
        auto zor = file->root().create_storage("Zor");
        ASSERT_TRUE(zor) << zor.describe();
        put_stream(*zor, "Data", pattern(n));
        // A neighbour on the other side of the mini stream cutoff, so both kinds share the file.
        put_stream(*zor, "Other", pattern(n < 4096 ? 5000 : 100, 7));
        auto r = file->commit();
        ASSERT_TRUE(r) << r.describe();
    }
    auto bytes = cfb_test::checked_file(path);
    EXPECT_EQ(bytes.size() % 512, 0u);
    auto file = CompoundFile::open(path, Mode::read_only);
    ASSERT_TRUE(file) << file.describe();
    auto zor = file->root().open_storage("Zor");
    ASSERT_TRUE(zor) << zor.describe();
    EXPECT_EQ(get_stream(*zor, "Data"), pattern(n));
    EXPECT_EQ(get_stream(*zor, "Other"), pattern(n < 4096 ? 5000 : 100, 7));

    auto mem = CompoundFile::open_bytes(bytes);
    ASSERT_TRUE(mem) << mem.describe();
    auto again = CompoundFile::open_bytes(cfb_test::saved(*mem));
    ASSERT_TRUE(again) << again.describe();
    EXPECT_EQ(get_stream(*again->root().open_storage("Zor"), "Data"), pattern(n));
}

INSTANTIATE_TEST_SUITE_P(Lengths, CfbRoundTrip,
                         ::testing::Values(0, 1, 63, 64, 65, 511, 512, 513, 4095, 4096, 4097, 100000));

TEST(CfbBasics, EmptyFileOpens) {
    auto bytes = CompoundFile::create_in_memory().to_bytes();
    EXPECT_EQ(bytes.size(), 512u * 3);  // header, FAT, directory
    auto file = CompoundFile::open_bytes(bytes);
    ASSERT_TRUE(file) << file.describe();
    EXPECT_TRUE(file->root().elements().empty());
    EXPECT_EQ(file->root().name(), "Root Entry");
}

TEST(CfbBasics, NestedStorages) {
    auto file = CompoundFile::create_in_memory();
    Storage s = file.root();
    for (int depth = 0; depth < 20; ++depth) {
        auto child = s.create_storage("Level" + std::to_string(depth));
        ASSERT_TRUE(child) << child.describe();
        put_stream(*child, "S" + std::to_string(depth), pattern(static_cast<std::size_t>(depth) * 300));
        s = *child;
    }
    auto back = CompoundFile::open_bytes(cfb_test::saved(file));
    ASSERT_TRUE(back) << back.describe();
    s = back->root();
    for (int depth = 0; depth < 20; ++depth) {
        auto child = s.open_storage("Level" + std::to_string(depth));
        ASSERT_TRUE(child) << child.describe();
        EXPECT_EQ(get_stream(*child, "S" + std::to_string(depth)),
                  pattern(static_cast<std::size_t>(depth) * 300));
        auto list = child->elements();
        ASSERT_EQ(list.size(), depth == 19 ? 1u : 2u);
        s = *child;
    }
}

TEST(CfbBasics, VeryDeepNestingNeitherRecursesNorCrashes) {
    constexpr int kDepth = 100000;
    std::vector<std::uint8_t> bytes;
    {
        auto file = CompoundFile::create_in_memory();
        Storage s = file.root();
        for (int depth = 0; depth < kDepth; ++depth) s = *s.create_storage("L");
        put_stream(s, "Leaf", pattern(10));
        bytes = cfb_test::saved(file);
    }
    auto back = CompoundFile::open_bytes(bytes);
    ASSERT_TRUE(back) << back.describe();
    Storage s = back->root();
    for (int depth = 0; depth < kDepth; ++depth) {
        auto next = s.open_storage("L");
        ASSERT_TRUE(next);
        s = *next;
    }
    EXPECT_EQ(get_stream(s, "Leaf"), pattern(10));
    ASSERT_TRUE(back->root().destroy_element("L"));
    EXPECT_EQ(s.open_stream("Leaf").error(), StgError::not_found);  // the deep handle sees it gone
}

TEST(CfbBasics, ManyStreamsNeedSeveralDirectorySectors) {
    auto file = CompoundFile::create_in_memory();
    Storage root = file.root();
    auto big = root.create_storage("Many");
    ASSERT_TRUE(big);
    constexpr int kCount = 300;  // 4 entries a sector: about 76 directory sectors
    for (int i = 0; i < kCount; ++i) {
        put_stream(*big, "Stream " + std::to_string(i),
                   pattern(static_cast<std::size_t>(i * 37), static_cast<std::uint8_t>(i)));
    }
    auto bytes = cfb_test::saved(file);
    auto back = CompoundFile::open_bytes(bytes);
    ASSERT_TRUE(back) << back.describe();
    auto many = back->root().open_storage("Many");
    ASSERT_TRUE(many);
    auto list = many->elements();
    ASSERT_EQ(list.size(), static_cast<std::size_t>(kCount));
    for (int i = 0; i < kCount; ++i) {
        EXPECT_EQ(get_stream(*many, "Stream " + std::to_string(i)),
                  pattern(static_cast<std::size_t>(i * 37), static_cast<std::uint8_t>(i)));
    }
    // Shorter names come first in the order of the file.
    EXPECT_EQ(list.front().name, "Stream 0");
    EXPECT_EQ(list.back().name, "Stream 299");
}

TEST(CfbBasics, LargeFileNeedsDifatSectors) {
    // More than 109 FAT sectors (each maps 64 KiB): a 7.5 MiB stream.
    auto file = CompoundFile::create_in_memory();
    auto data = pattern(7'500'000);
    put_stream(file.root(), "Big", data);
    auto back = CompoundFile::open_bytes(cfb_test::saved(file));
    ASSERT_TRUE(back) << back.describe();
    EXPECT_EQ(get_stream(back->root(), "Big"), data);
}

TEST(CfbBasics, LookupIgnoresCase) {
    auto file = CompoundFile::create_in_memory();
    put_stream(file.root(), "Data", pattern(10));
    EXPECT_TRUE(file.root().open_stream("DATA"));
    EXPECT_EQ(file.root().create_stream("data", false).error(), StgError::already_exists);
}

TEST(CfbElements, CreateWithoutReplaceOnExistingFails) {
    auto file = CompoundFile::create_in_memory();
    put_stream(file.root(), "Data", pattern(10));
    auto again = file.root().create_stream("Data", false);
    EXPECT_EQ(again.error(), StgError::already_exists) << again.describe();
    EXPECT_EQ(get_stream(file.root(), "Data"), pattern(10));
    ASSERT_TRUE(file.root().create_storage("Zor"));
    EXPECT_EQ(file.root().create_storage("Zor").error(), StgError::already_exists);
    EXPECT_EQ(file.root().create_stream("Zor", false).error(), StgError::already_exists);
}

TEST(CfbElements, ReplaceStream) {
    auto file = CompoundFile::create_in_memory();
    put_stream(file.root(), "Data", pattern(5000));
    auto old_handle = file.root().open_stream("Data");
    ASSERT_TRUE(old_handle);
    auto fresh = file.root().create_stream("Data", true);
    ASSERT_TRUE(fresh) << fresh.describe();
    EXPECT_EQ(fresh->size(), 0u);
    ASSERT_TRUE(fresh->write("abc", 3));
    EXPECT_EQ(old_handle->write("x", 1).error(), StgError::not_found);
    auto back = CompoundFile::open_bytes(cfb_test::saved(file));
    ASSERT_TRUE(back);
    EXPECT_EQ(get_stream(back->root(), "Data"), (std::vector<std::uint8_t>{'a', 'b', 'c'}));
    EXPECT_EQ(back->root().elements().size(), 1u);
}

TEST(CfbElements, DestroyStreamAndStorage) {
    auto file = CompoundFile::create_in_memory();
    auto root = file.root();
    put_stream(root, "Keep", pattern(100));
    put_stream(root, "Gone", pattern(100));
    auto sub = root.create_storage("Sub");
    ASSERT_TRUE(sub);
    put_stream(*sub, "Inner", pattern(9000));
    ASSERT_TRUE(root.destroy_element("Gone"));
    ASSERT_TRUE(root.destroy_element("Sub"));
    EXPECT_EQ(root.destroy_element("Sub").error(), StgError::not_found);
    EXPECT_EQ(sub->create_stream("X", false).error(), StgError::not_found);
    auto back = CompoundFile::open_bytes(cfb_test::saved(file));
    ASSERT_TRUE(back);
    auto list = back->root().elements();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].name, "Keep");
    EXPECT_EQ(list[0].kind, ElementKind::stream);
    EXPECT_EQ(list[0].size, 100u);
}

TEST(CfbElements, MissingAndWrongKind) {
    auto file = CompoundFile::create_in_memory();
    put_stream(file.root(), "Data", pattern(1));
    ASSERT_TRUE(file.root().create_storage("Zor"));
    EXPECT_EQ(file.root().open_stream("Nope").error(), StgError::not_found);
    EXPECT_EQ(file.root().open_storage("Data").error(), StgError::not_found);
    EXPECT_EQ(file.root().open_stream("Zor").error(), StgError::not_found);
}

TEST(CfbElements, BadNames) {
    auto file = CompoundFile::create_in_memory();
    EXPECT_EQ(file.root().create_stream("", false).error(), StgError::invalid_name);
    EXPECT_EQ(file.root().create_stream("a/b", false).error(), StgError::invalid_name);
    EXPECT_EQ(file.root().create_stream("a!b", false).error(), StgError::invalid_name);
    EXPECT_EQ(file.root().create_stream(std::string(32, 'x'), false).error(), StgError::invalid_name);
    EXPECT_EQ(file.root().create_stream("\xFF", false).error(), StgError::invalid_name);
    EXPECT_EQ(file.root().create_stream("a:b", false).error(), StgError::invalid_name);
    EXPECT_EQ(file.root().create_stream("a\\b", false).error(), StgError::invalid_name);
    EXPECT_EQ(file.root().create_stream(std::string("a\0b", 3), false).error(), StgError::invalid_name);
    EXPECT_TRUE(file.root().create_stream(std::string(31, 'x'), false));
    EXPECT_TRUE(file.root().create_stream("\x05SummaryInformation", false));
    auto back = CompoundFile::open_bytes(cfb_test::saved(file));
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->root().open_stream(std::string(31, 'x')));
    EXPECT_TRUE(back->root().open_stream("\x05SummaryInformation"));
}

TEST(CfbElements, NonAsciiNameRoundTrips) {
    auto file = CompoundFile::create_in_memory();
    put_stream(file.root(), "Méthode \xE2\x82\xAC", pattern(3));
    auto back = CompoundFile::open_bytes(cfb_test::saved(file));
    ASSERT_TRUE(back);
    EXPECT_EQ(get_stream(back->root(), "MÉTHODE \xE2\x82\xAC"), pattern(3));
}

TEST(CfbStream, SeekReadWriteSetSize) {
    auto file = CompoundFile::create_in_memory();
    auto s = file.root().create_stream("S", false);
    ASSERT_TRUE(s);
    ASSERT_TRUE(s->write("hello", 5));
    ASSERT_TRUE(s->seek(10));
    ASSERT_TRUE(s->write("!", 1));
    EXPECT_EQ(s->size(), 11u);
    ASSERT_TRUE(s->seek(0));
    char buf[16] = {};
    EXPECT_EQ(s->read(buf, sizeof buf), 11u);
    EXPECT_EQ(std::string(buf, 5), "hello");
    EXPECT_EQ(buf[7], 0);
    EXPECT_EQ(s->read(buf, sizeof buf), 0u);
    ASSERT_TRUE(s->set_size(3));
    EXPECT_EQ(s->read_all(), (std::vector<std::uint8_t>{'h', 'e', 'l'}));
    EXPECT_EQ(s->set_size(std::uint64_t{1} << 33).error(), StgError::invalid_argument);
}

TEST(CfbStream, SeekFromEachOrigin) {
    auto file = CompoundFile::create_in_memory();
    auto s = file.root().create_stream("S", false);
    ASSERT_TRUE(s);
    ASSERT_TRUE(s->write(pattern(100).data(), 100));
    EXPECT_EQ(*s->seek(-10, SeekOrigin::end), 90u);
    EXPECT_EQ(*s->seek(5, SeekOrigin::current), 95u);
    EXPECT_EQ(*s->seek(7, SeekOrigin::begin), 7u);
    std::uint8_t b = 0;
    EXPECT_EQ(s->read(&b, 1), 1u);
    EXPECT_EQ(b, 7);
    EXPECT_EQ(s->seek(-9, SeekOrigin::current).error(), StgError::invalid_argument);
    EXPECT_EQ(s->position(), 8u);  // kept
    EXPECT_EQ(s->seek(INT64_MIN, SeekOrigin::end).error(), StgError::invalid_argument);
    EXPECT_EQ(*s->seek(20, SeekOrigin::end), 120u);  // past the end: a write there grows it
}

TEST(CfbBasics, LookupFoldsLatinGreekAndCyrillicCase) {
    auto file = CompoundFile::create_in_memory();
    put_stream(file.root(), "\xC3\xA9t\xC3\xA9", pattern(1));  // été
    put_stream(file.root(), "\xCE\xBC\xCE\xAC", pattern(2));   // μά
    put_stream(file.root(), "\xD0\xB4\xD0\xB0", pattern(3));   // да
    put_stream(file.root(),
               "\xC5\x82\xC3\xB3"
               "d\xC5\xBA",
               pattern(4));  // łódź
    auto back = CompoundFile::open_bytes(cfb_test::saved(file));
    ASSERT_TRUE(back);
    EXPECT_EQ(get_stream(back->root(), "\xC3\x89T\xC3\x89"), pattern(1));  // ÉTÉ
    EXPECT_EQ(get_stream(back->root(), "\xCE\x9C\xCE\x86"), pattern(2));   // ΜΆ
    EXPECT_EQ(get_stream(back->root(), "\xD0\x94\xD0\x90"), pattern(3));   // ДА
    EXPECT_EQ(get_stream(back->root(),
                         "\xC5\x81\xC3\x93"
                         "D\xC5\xB9"),
              pattern(4));  // ŁÓDŹ
    EXPECT_EQ(file.root().create_stream("\xD0\x94\xD0\x90", false).error(), StgError::already_exists);
}

TEST(CfbFile, ReopenReadWriteChangeAndCommit) {
    cfb_test::TempDir dir;
    const std::string path = dir.file("doc.zor");
    {
        auto file = CompoundFile::create(path);
        ASSERT_TRUE(file);
        put_stream(file->root(), "A", pattern(100));
        ASSERT_TRUE(file->commit());
    }
    {
        auto file = CompoundFile::open(path, Mode::read_write);
        ASSERT_TRUE(file) << file.describe();
        put_stream(file->root(), "B", pattern(6000));
        ASSERT_TRUE(file->commit());
        put_stream(file->root(), "C", pattern(1));  // not committed: dropped
    }
    auto file = CompoundFile::open(path, Mode::read_only);
    ASSERT_TRUE(file);
    EXPECT_EQ(get_stream(file->root(), "A"), pattern(100));
    EXPECT_EQ(get_stream(file->root(), "B"), pattern(6000));
    EXPECT_EQ(file->root().open_stream("C").error(), StgError::not_found);
    EXPECT_EQ(file->commit().error(), StgError::access_denied);
    EXPECT_EQ(file->root().create_stream("D", false).error(), StgError::access_denied);
    auto a = file->root().open_stream("A");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->write("x", 1).error(), StgError::access_denied);
}

TEST(CfbFile, OpenErrors) {
    cfb_test::TempDir dir;
    EXPECT_EQ(CompoundFile::open(dir.file("none.zor"), Mode::read_only).error(), StgError::file_not_found);
    EXPECT_EQ(CompoundFile::open(dir.file("no/such/none.zor"), Mode::read_only).error(),
              StgError::path_not_found);
    EXPECT_EQ(CompoundFile::create(dir.file("no/such/new.zor")).error(), StgError::path_not_found);
    cfb_test::write_file(dir.file("text.txt"), {'h', 'i'});
    EXPECT_EQ(CompoundFile::open(dir.file("text.txt"), Mode::read_only).error(), StgError::file_corrupt);
    ASSERT_TRUE(CompoundFile::create(dir.file("x.zor")));
    EXPECT_EQ(CompoundFile::create(dir.file("x.zor"), false).error(), StgError::already_exists);
}

TEST(CfbFile, DescribeNamesCodeAndMessage) {
    auto r = CompoundFile::open("/nonexistent-folder-cfb/x", Mode::read_only);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.describe().rfind("path_not_found: ", 0), 0u) << r.describe();
}

}  // namespace
