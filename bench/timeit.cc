// Times whole processes, started directly (no shell), with standard input
// read from a file or piped from `cat`, in interleaved rounds so that a slow
// spell of the machine falls on every command alike.
//
// usage: timeit RUNS WARMUP FILE COMMAND [::: COMMAND]...
//   COMMAND is a program and its arguments, after any NAME=VALUE settings
//   to add to its environment; a leading @pipe feeds FILE through `cat` and
//   a pipe instead of redirecting it.
// Prints one line per command: its peak resident set in KiB, then for each
// run its wall time, user time and system time in seconds, as w/u/s.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Command {
  bool pipe = false;
  std::vector<char*> argv;
  std::vector<char*> envp;
  std::vector<double> seconds;
  std::vector<double> user;
  std::vector<double> sys;
  long max_rss_kb = 0;
};

double now() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

[[noreturn]] void die(const char* what) {
  std::perror(what);
  std::exit(2);
}

pid_t spawn(char* const* argv, char* const* envp, int in, int out) {
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, in, STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&fa, out, STDOUT_FILENO);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], &fa, nullptr, argv, envp) != 0) die(argv[0]);
  posix_spawn_file_actions_destroy(&fa);
  return pid;
}

double seconds_of(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

// Runs `c` once on `file` and records its times and peak RSS, if `keep`.
void run_once(Command* c, const char* file, int null_out, bool keep) {
  const int in = open(file, O_RDONLY | O_CLOEXEC);
  if (in < 0) die(file);
  const double start = now();
  pid_t cat = -1;
  int fds[2] = {-1, -1};
  int source = in;
  if (c->pipe) {
    if (pipe2(fds, O_CLOEXEC) != 0) die("pipe");
    static char cat_name[] = "cat";
    char* cat_argv[] = {cat_name, nullptr};
    cat = spawn(cat_argv, environ, in, fds[1]);
    close(fds[1]);
    source = fds[0];
  }
  const pid_t pid = spawn(c->argv.data(), c->envp.data(), source, null_out);
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) < 0) die("wait4");
  if (cat >= 0 && waitpid(cat, nullptr, 0) < 0) die("waitpid");
  const double elapsed = now() - start;
  if (c->pipe) close(fds[0]);
  close(in);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "timeit: %s failed (status %d)\n", c->argv[0], status);
    std::exit(2);
  }
  if (!keep) return;
  if (usage.ru_maxrss > c->max_rss_kb) c->max_rss_kb = usage.ru_maxrss;
  c->seconds.push_back(elapsed);
  c->user.push_back(seconds_of(usage.ru_utime));
  c->sys.push_back(seconds_of(usage.ru_stime));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: timeit RUNS WARMUP FILE COMMAND [::: COMMAND]...\n");
    return 2;
  }
  const int runs = std::atoi(argv[1]);
  const int warmup = std::atoi(argv[2]);
  const char* file = argv[3];
  std::vector<Command> commands(1);
  for (int i = 4; i < argc; ++i) {
    if (std::strcmp(argv[i], ":::") == 0) {
      commands.emplace_back();
    } else if (commands.back().argv.empty() && std::strcmp(argv[i], "@pipe") == 0) {
      commands.back().pipe = true;
    } else if (commands.back().argv.empty() && std::strchr(argv[i], '=') != nullptr) {
      commands.back().envp.push_back(argv[i]);
    } else {
      commands.back().argv.push_back(argv[i]);
    }
  }
  for (Command& c : commands) {
    if (c.argv.empty()) die("empty command");
    c.argv.push_back(nullptr);
    for (char** e = environ; *e != nullptr; ++e) c.envp.push_back(*e);
    c.envp.push_back(nullptr);
  }
  const int null_out = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null_out < 0) die("/dev/null");
  const std::size_t n = commands.size();
  for (int r = 0; r < warmup + runs; ++r) {
    // The order turns each round, so that no command always follows another.
    for (std::size_t k = 0; k < n; ++k) {
      Command& c = commands[(k + static_cast<std::size_t>(r)) % n];
      run_once(&c, file, null_out, r >= warmup);
    }
  }
  for (const Command& c : commands) {
    std::printf("%ld", c.max_rss_kb);
    for (std::size_t i = 0; i < c.seconds.size(); ++i) {
      std::printf(" %.7f/%.6f/%.6f", c.seconds[i], c.user[i], c.sys[i]);
    }
    std::printf("\n");
  }
  return 0;
}
