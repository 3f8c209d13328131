#include <gtest/gtest.h>
TEST(Zorhost, Builds) {}
