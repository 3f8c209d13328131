// The hand-made fixtures of tests/data (a readable hex form, see cfb_fixture_hex.h): the base
// document opens and passes the strict check; every damaged one is refused as file_corrupt
// with its own message, by the loader from bytes and from disk, and by validate as well.
#include <algorithm>
#include <filesystem>

#include "platform/storage/cfb_file.h"
#include "platform/storage/tests/cfb_fixture_hex.h"
#include "platform/storage/tests/cfb_test_util.h"

using namespace platform::storage;

namespace {

std::vector<std::string> fixture_names() {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(CFB_TEST_DATA)) {
        if (e.path().extension() == ".hex") names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class CfbHexFixture : public ::testing::TestWithParam<std::string> {};

TEST_P(CfbHexFixture, OpensOrIsRefusedAsItsCommentSays) {
    cfb_test::HexFixture fx;
    ASSERT_TRUE(cfb_test::load_hex_fixture(CFB_TEST_DATA, GetParam(), fx));
    auto file = CompoundFile::open_bytes(fx.bytes);
    auto check = validate_compound_file(fx.bytes);
    cfb_test::TempDir dir;
    cfb_test::write_file(dir.file("fixture.cfb"), fx.bytes);
    auto on_disk = CompoundFile::open(dir.file("fixture.cfb"), Mode::read_only);
    if (fx.expect == "ok") {
        ASSERT_TRUE(file) << file.describe();
        EXPECT_TRUE(check) << check.describe();
        ASSERT_TRUE(on_disk) << on_disk.describe();
        auto zor = file->root().open_storage("Zor");
        ASSERT_TRUE(zor) << zor.describe();
        EXPECT_EQ(cfb_test::get_stream(*zor, "Data"), cfb_test::pattern(5));
        return;
    }
    ASSERT_FALSE(file) << "opened";
    EXPECT_EQ(file.error(), StgError::file_corrupt) << file.describe();
    EXPECT_NE(file.result().message().find(fx.expect), std::string::npos) << file.describe();
    EXPECT_EQ(on_disk.error(), StgError::file_corrupt) << on_disk.describe();
    EXPECT_EQ(check.error(), StgError::file_corrupt) << "validate let it pass";
}

std::string stem(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = info.param.substr(0, info.param.find('.'));
    return name;
}

INSTANTIATE_TEST_SUITE_P(Data, CfbHexFixture, ::testing::ValuesIn(fixture_names()), stem);

}  // namespace
