// The Task Weaver's "Parameters" as its arguments.
#include <gtest/gtest.h>

#include "plugin/task_weaver.h"

namespace {

using Words = std::vector<std::string>;

TEST(TaskWeaverParameters, SplitAtBlanksWithQuotedTextsKeptWhole) {
    EXPECT_EQ(zorsetup::split_parameters(""), Words{});
    EXPECT_EQ(zorsetup::split_parameters("  \t "), Words{});
    EXPECT_EQ(zorsetup::split_parameters("-cycle  plan.tw"), (Words{"-cycle", "plan.tw"}));
    EXPECT_EQ(zorsetup::split_parameters("\"C:\\My Cycles\\a.tw\" -x"), (Words{"C:\\My Cycles\\a.tw", "-x"}));
    EXPECT_EQ(zorsetup::split_parameters("a\"b c\"d;e"), (Words{"ab cd;e"}));
    EXPECT_EQ(zorsetup::split_parameters("\"\" x"), (Words{"", "x"}));
}

}  // namespace
