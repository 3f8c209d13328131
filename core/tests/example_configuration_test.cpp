// The demo's sample configuration (examples/zor_config.pol) reads cleanly, and writing it back
// and reading it again gives the same model.
#include <gmock/gmock.h>

#include "core/expressions.h"
#include "core/tests/engine_fixture.h"

namespace core_test {
namespace {

// From the build's own definition: __FILE__ is a relative path when the compiler runs through a
// cache with a base folder, and the test would then never find the file.
std::string example_path() {
    return std::string(ZOR_EXAMPLES_DIR) + "/zor_config.pol";
}

class ExampleConfiguration : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (!std::filesystem::exists(example_path())) GTEST_SKIP() << "no " << example_path();
    }
};

TEST_F(ExampleConfiguration, ReadsWritesAndReadsBackTheSame) {
    ASSERT_TRUE(core::read_configuration_file(example_path())) << testing::PrintToString(messages());
    EXPECT_TRUE(messages().empty());
    const core::Tconfig_model& m = core::config_model();
    EXPECT_GE(m.syringe_class, 0);
    EXPECT_GE(m.tray_class, 0);
    EXPECT_GT(m.text_atom_count, 0);
    EXPECT_EQ(core::get_number_attribute("10ul", "Volume"), 10);
    EXPECT_EQ(core::max_index("VT54R"), 54);

    const std::string before = describe_model();
    ASSERT_TRUE(core::write_configuration());
    EXPECT_TRUE(messages().empty()) << testing::PrintToString(messages());
    core::reset_config_model();
    ASSERT_TRUE(core::read_configuration_file(core::config_file_path()));
    EXPECT_EQ(describe_model(), before);
}

}  // namespace
}  // namespace core_test
