// The error messages: the binary may be linked with a C library other than
// the one these tests run on, and its messages must read as this one's do.
#include "text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace tally {
namespace {

std::string error_text(int err) {
  char buf[128];
  Text t{buf, sizeof buf, 0, false};
  append_error(&t, err);
  EXPECT_FALSE(t.overflow);
  return std::string(buf, t.len);
}

TEST(ErrorText, IsTheCLibrarysMessageForEveryErrorNumber) {
  for (int err = -3; err < 200; ++err) {
    EXPECT_EQ(error_text(err), std::strerror(err)) << "error " << err;
  }
}

}  // namespace
}  // namespace tally
