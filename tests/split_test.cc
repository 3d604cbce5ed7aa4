// placeholder
#include <gtest/gtest.h>
TEST(Split, Placeholder) {}
