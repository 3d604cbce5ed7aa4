// The reader thread: a run that stops on a pipe that stays open must not
// wait for a reader blocked in a read that never returns.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "report.h"
#include "run.h"
#include "scanners.h"
#include "token_list.h"

namespace tally {
namespace {

std::ptrdiff_t read_fd(void* ctx, unsigned char* dst, std::size_t cap, int* err) {
  const ssize_t n = read(*static_cast<int*>(ctx), dst, cap);
  if (n < 0) *err = errno;
  return n;
}

// A run that reads a pipe which stays open: a whole first read, so that
// the reader thread starts, then a token too long, then nothing. Returns the
// exit status, with the message in `message`.
int run_on_open_pipe(std::string* message) {
  int fds[2];
  if (pipe(fds) != 0 || fcntl(fds[1], F_SETPIPE_SZ, 1 << 20) < 0) std::_Exit(2);
  const std::string text = std::string(kReadSize, ' ') + std::string(300, 'x') + " ";
  if (write(fds[1], text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    std::_Exit(3);
  }
  static int in_fd;
  in_fd = fds[0];
  static char out_buf[kReportMax];
  static char err_buf[kMessageMax];
  Text out{out_buf, sizeof out_buf, 0, false};
  Text err{err_buf, sizeof err_buf, 0, false};
  RunOptions options;
  options.cpus = 2;  // enough for a reader thread, even on a pipe
  const int status = run_filter(Input{read_fd, &in_fd, true}, options, &out, &err);
  *message = std::string(err.data, err.len);
  return status;
}

// In a child process, since the reader is left behind for the process to end.
TEST(ReaderDeathTest, StopDoesNotWaitForABlockedReader) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto stop = [] {
    alarm(20);  // a run that waits for the reader ends here, failed
    std::string message;
    const int status = run_on_open_pipe(&message);
    std::_Exit(
        status == 1 && message == "Word " + std::string(255, 'x') + " too long!! Exit.\n" ? 0 : 1);
  };
  EXPECT_EXIT(stop(), ::testing::ExitedWithCode(0), "");
}

#if defined(TALLY_CHECKS)
// The reader left waiting still owns the shared buffers, so a further run
// in the same process is refused.
TEST(ReaderDeathTest, NoRunAfterAReaderWasLeftWaiting) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto run_twice = [] {
    alarm(20);
    std::string message;
    run_on_open_pipe(&message);
    run_on_open_pipe(&message);
    std::_Exit(0);
  };
  EXPECT_DEATH(run_twice(), "internal check failed: !reader_left_waiting");
}
#endif

}  // namespace
}  // namespace tally
