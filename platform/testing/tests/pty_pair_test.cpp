// The pseudo-terminal pair of the test kit: a pair made for a port points the port at its slave
// and leaves no port variable behind for the tests after it.
#include "platform/testing/pty_pair.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

namespace {

TEST(PtyPair, PointsThePortAtItsSlaveOnlyWhileItLives) {
    ::unsetenv("ZOR_COM47");
    {
        zor_testing::PtyPair pty{47};
        ASSERT_TRUE(pty.ok());
        ASSERT_NE(::getenv("ZOR_COM47"), nullptr);
        EXPECT_EQ(std::string(::getenv("ZOR_COM47")), pty.slave_path());
        EXPECT_EQ(pty.com_name(), "COM47");
    }
    EXPECT_EQ(::getenv("ZOR_COM47"), nullptr) << "a later test would open a terminal that is gone";
}

}  // namespace
