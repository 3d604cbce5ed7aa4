// tally: reads a text on standard input and writes its line, token and byte
// totals and its most frequent characters, identifiers and numbers.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "report.h"
#include "run.h"
#include "scan.h"
#include "tally_tables.h"

#ifndef TALLY_VERSION
#define TALLY_VERSION "unknown"
#endif

namespace {

const char kUsage[] =
    "Usage: tally [--help | --version] < FILE\n"
    "\n"
    "Reads a text on standard input, to its end, and writes a report on\n"
    "standard output: the number of lines, tokens and bytes, then the number\n"
    "of distinct characters, identifiers and numbers, each with its five most\n"
    "frequent entries and their counts.\n"
    "\n"
    "An identifier is an ASCII letter followed by letters and digits, counted\n"
    "without regard to case and shown in lower case. A number is a run of\n"
    "digits, leading zeros kept. Every other byte separates tokens.\n"
    "\n"
    "Limits: 30000 distinct identifiers, 30000 distinct numbers, and tokens of\n"
    "at most 254 characters. Passing a limit stops tally with one line on\n"
    "standard error and nothing on standard output.\n"
    "\n"
    "Exit status: 0 on success; 1 when a limit is passed, the input cannot be\n"
    "read or the report cannot be written.\n"
    "\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "tally reads standard input only: to count a file, run `tally < FILE`. At a\n"
    "terminal it says so on standard error, then reads what is typed, up to a\n"
    "Ctrl-D at the start of a line. Other arguments are ignored.\n";

const char kTerminalHint[] =
    "tally: reading standard input from the terminal; end it with Ctrl-D, or run: tally < FILE\n";

const char kVersion[] = "tally " TALLY_VERSION "\n";

// Writes all of `n` bytes, retrying short and interrupted writes.
bool write_all(int fd, const char* p, std::size_t n) {
  while (n > 0) {
    const ssize_t w = write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

// Reports a failure on standard error as "tally: <what>[: <reason>]".
int fail(const char* what, int err) {
  char line[tally::kMessageMax];
  tally::Text t{line, sizeof line, 0, false};
  tally::append(&t, "tally: ");
  tally::append(&t, what);
  if (err != 0) {
    tally::append(&t, ": ");
    tally::append_error(&t, err);
  }
  tally::append(&t, "\n");
  write_all(STDERR_FILENO, line, t.len);
  return 1;
}

int print(const char* text, std::size_t len) {
  if (!write_all(STDOUT_FILENO, text, len)) return fail("cannot write standard output", errno);
  return 0;
}

int print_usage() {
  static char buf[sizeof kUsage + 256];
  tally::Text t{buf, sizeof buf, 0, false};
  tally::append(&t, kUsage);
  tally::append(&t, "TALLY_FORCE_PATH=");
  for (std::size_t i = 0; i < tally::kScannerCount; ++i) {
    if (i != 0) tally::append(&t, "|");
    tally::append(&t, tally::kScanners[i].name);
  }
  tally::append(&t, " picks the scanning code, for testing.\n");
  return print(t.data, t.len);
}

// Reads standard input, retrying interrupted reads and waiting out a
// descriptor that another program left non-blocking.
std::ptrdiff_t read_stdin(void* /*ctx*/, unsigned char* dst, std::size_t cap, int* err) {
  for (;;) {
    const ssize_t n = read(STDIN_FILENO, dst, cap);
    if (n >= 0) return n;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      pollfd in{STDIN_FILENO, POLLIN, 0};
      if (poll(&in, 1, -1) >= 0 || errno == EINTR) continue;
    }
    if (errno != EINTR) {
      *err = errno;
      return -1;
    }
  }
}

// Where a regular file on standard input stood when the run began.
off_t g_stdin_start = 0;

std::ptrdiff_t pread_stdin(void* /*ctx*/, unsigned char* dst, std::size_t cap, std::uint64_t offset,
                           int* err) {
  for (;;) {
    const ssize_t n = pread(STDIN_FILENO, dst, cap, g_stdin_start + static_cast<off_t>(offset));
    if (n >= 0) return n;
    if (errno != EINTR) {
      *err = errno;
      return -1;
    }
  }
}

// Standard input as the run sees it. Anything but a regular file may keep
// tally waiting: a pipe, a terminal.
tally::Input stdin_input() {
  tally::Input in{read_stdin, nullptr, true};
  struct stat st;
  if (fstat(STDIN_FILENO, &st) != 0) return in;
  if (S_ISREG(st.st_mode)) {
    in.blocking = false;
    const off_t at = lseek(STDIN_FILENO, 0, SEEK_CUR);
    if (at >= 0 && at < st.st_size) in.size = static_cast<std::uint64_t>(st.st_size - at);
    if (at >= 0) {
      g_stdin_start = at;
      in.read_at = pread_stdin;
    }
  }
#ifdef F_SETPIPE_SZ
  // A larger pipe lets each read take more at once; failure costs nothing.
  if (S_ISFIFO(st.st_mode)) fcntl(STDIN_FILENO, F_SETPIPE_SZ, 1 << 20);
#endif
  return in;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) return print_usage();
    if (std::strcmp(argv[i], "--version") == 0) return print(kVersion, sizeof kVersion - 1);
  }

  tally::RunOptions options;
  if (const char* forced = std::getenv("TALLY_FORCE_PATH")) {
    options.scanner = tally::find_scanner(forced);
    if (options.scanner == nullptr || !options.scanner->supported()) {
      return fail("TALLY_FORCE_PATH names no scanning path this CPU supports", 0);
    }
  }
  if (isatty(STDIN_FILENO)) {
    // Someone who typed `tally book.txt` would otherwise wait in silence.
    write_all(STDERR_FILENO, kTerminalHint, sizeof kTerminalHint - 1);
  }
  static char out_buf[tally::kReportMax];
  static char err_buf[tally::kMessageMax];
  tally::Text out{out_buf, sizeof out_buf, 0, false};
  tally::Text err{err_buf, sizeof err_buf, 0, false};
  const tally::Input in = stdin_input();
  const int status = tally::run_filter(in, options, &out, &err);
  if (in.read_at != nullptr && status == 0) {
    // Leave the file where reading it in order would have: at its end.
    lseek(STDIN_FILENO, g_stdin_start + static_cast<off_t>(tally::cc), SEEK_SET);
  }
  if (status != 0) {
    write_all(STDERR_FILENO, err.data, err.len);
    return status;
  }
  if (!write_all(STDOUT_FILENO, out.data, out.len)) {
    return fail("cannot write standard output", errno);
  }
  return 0;
}
