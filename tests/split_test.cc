// Counting split between threads, on every scanning path: stretches cut at
// every offset inside tokens, number-to-identifier switches at a cut, full
// rooms, and every stop, against the plain model or a run read in order.
// Small stretches and rooms bring all of it to inputs of a few kilobytes.
#include <string>

#include "every_path.h"
#include "longest_tokens.h"
#include "model.h"

namespace tally {
namespace {

class Split : public EveryPath {
 protected:
  // A split run over `input`: the first cut at `prefix`, then rounds of
  // `stretch` bytes a thread, on `cpus` threads. With two, in half the runs
  // the second pauses whenever the first is done before it; in the others
  // it never has enough left to, and the first moves its counts meanwhile.
  static RunResult split(const std::string& input, std::uint64_t prefix, std::uint64_t stretch,
                         long cpus, std::uint32_t room_keys = 0, std::size_t fail_at = SIZE_MAX,
                         std::uint64_t pause_after = 0) {
    RunOptions options;
    options.pause_after = pause_after;
    options.scanner = GetParam();
    options.cpus = cpus;
    options.split_from = 1;
    options.prefix = prefix;
    options.stretch = stretch;
    options.room_keys = room_keys;
    options.pause_when_left = (prefix + stretch) % 2 == 0 ? 1 : 0;
    MemoryShape shape;
    shape.seekable = true;
    shape.fail_at = fail_at;
    return run_in_memory(input, shape, options);
  }

  // The split runs with the first cut at every offset of `input` agree with
  // the model.
  static void expect_model_at_every_cut(const std::string& input, std::uint32_t room_keys = 0) {
    const auto* data = reinterpret_cast<const unsigned char*>(input.data());
    const ModelResult want = model_run(data, input.size());
    for (std::size_t prefix = 1; prefix <= input.size(); ++prefix) {
      const long cpus = 2 + static_cast<long>(prefix % 3);
      // Now and then the second thread takes all the rest, as two do by
      // default.
      const std::uint64_t stretch = prefix % 4 == 0 ? input.size() : 1 + prefix % 7;
      const RunResult r = split(input, prefix, stretch, cpus, room_keys);
      ASSERT_EQ(r.err, want.err) << "first cut at " << prefix;
      ASSERT_EQ(r.out, want.out) << "first cut at " << prefix;
      ASSERT_EQ(r.status, want.status) << "first cut at " << prefix;
    }
  }
};
INSTANTIATE_TEST_SUITE_P(Paths, Split, ::testing::ValuesIn(all_paths()), path_name);

TEST_P(Split, CutsInsideTokensOfEveryLength) {
  std::string input;
  // About the spelling cache's sizes, and the longest.
  for (const int len : {1, 2, 3, 23, 24, 25, 26, 28, 29, 59, 60, 61, 62, 127, 200, 253, 254}) {
    input += std::string(static_cast<std::size_t>(len), static_cast<char>('a' + len % 26)) + " " +
             std::string(static_cast<std::size_t>(len), static_cast<char>('0' + len % 10)) + "\n";
  }
  input += std::string(254, 'Z') + "." + std::string(254, '9');
  expect_model_at_every_cut(input);
}

TEST_P(Split, LiteralReportAtEveryCut) {
  for (std::size_t prefix = 1; prefix <= kLongest.size(); ++prefix) {
    const RunResult r = split(kLongest, prefix, 3, 2);
    ASSERT_EQ(r.status, 0) << "first cut at " << prefix;
    ASSERT_EQ(r.out, kLongestReport) << "first cut at " << prefix;
  }
}

TEST_P(Split, NumberToIdentifierSwitchesAtCuts) {
  expect_model_at_every_cut("12ab 3c 45 6d7e 8 f9 007x 0 a0 99Z9 1 " + std::string(250, '4') +
                            "q " + std::string(200, '3') + std::string(54, 'r') + "\n");
}

TEST_P(Split, FullRooms) {
  // Many distinct keys, so that rooms of one to a few keys fill at once; and
  // long ones, so that a room's text fills before its keys do.
  std::string few;
  for (int i = 0; i < 120; ++i)
    few += "w" + std::to_string(i * 7 % 101) + " " + std::to_string(i) + " ";
  for (const std::uint32_t keys : {1u, 3u}) expect_model_at_every_cut(few, keys);

  std::string text;
  for (int i = 0; i < 3000; ++i) text += std::string(200, 'x') + std::to_string(i) + " ";
  const std::string want = run(text).out;
  ASSERT_NE(want, "");
  for (const std::uint64_t stretch : {1000u, 60000u, 300000u}) {
    ASSERT_EQ(split(text, 1000, stretch, 2).out, want) << "stretch " << stretch;
  }
}

// A room's index starts at a size for its stretch and grows as keys come:
// the second thread meets 16000 keys in a stretch sized for 4096.
TEST_P(Split, RoomIndexGrows) {
  std::string text;
  for (int i = 0; i < 12000; ++i) {
    text += "k" + std::to_string(i) + (i % 3 == 0 ? " " + std::to_string(i) + "\n" : " ");
  }
  const std::string want = run(text).out;
  ASSERT_NE(want, "");
  for (const std::uint64_t prefix : {1000u, 50000u}) {
    ASSERT_EQ(split(text, prefix, text.size(), 2).out, want) << "first cut at " << prefix;
  }
}

TEST_P(Split, StopsAtEveryCut) {
  const std::string cases[] = {
      "ab " + std::string(255, 'Q') + " cd " + std::string(300, '1'),
      "ab 12" + std::string(255, 'z') + "\n",
      "x y " + std::string(255, '5') + "abc",
      "n" + std::string(120, 'm') + " " + std::string(120, 'm') + std::string(300, '0'),
  };
  for (const std::string& input : cases) expect_model_at_every_cut(input);
}

// Two threads, the second taking all the rest: it pauses after every
// number of bytes, and what it leaves is shared out again and again.
TEST_P(Split, PausesAtEveryOffset) {
  std::string input;
  for (const int len : {1, 5, 24, 25, 60, 61, 254}) {
    input += std::string(static_cast<std::size_t>(len), static_cast<char>('A' + len % 26)) + " 0" +
             std::string(static_cast<std::size_t>(len % 9), '7') + "x" + std::to_string(len) + "\n";
  }
  const std::string stops[] = {input, input + std::string(255, 'q') + " " + input,
                               input + "12" + std::string(255, '3')};
  for (const std::string& text : stops) {
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    const ModelResult want = model_run(data, text.size());
    for (std::uint64_t pause = 1; pause <= text.size(); pause += 1 + pause / 64) {
      for (const std::uint64_t prefix : {std::uint64_t{0}, std::uint64_t{1}, pause % 97}) {
        const RunResult r = split(text, prefix, 0, 2, 0, SIZE_MAX, pause);
        ASSERT_EQ(r.err, want.err) << "pause after " << pause << ", first cut at " << prefix;
        ASSERT_EQ(r.out, want.out) << "pause after " << pause << ", first cut at " << prefix;
        ASSERT_EQ(r.status, want.status);
      }
    }
  }
}

TEST_P(Split, ReadErrorAtEveryOffset) {
  const std::string input = "the 12 " + std::string(40, 'w') + " 345x, " + std::string(255, 'L');
  const auto* data = reinterpret_cast<const unsigned char*>(input.data());
  for (std::size_t fail_at = 0; fail_at < input.size(); ++fail_at) {
    const ModelResult want = model_run(data, input.size(), fail_at);
    for (const std::uint64_t prefix : {1u, 5u, 40u}) {
      const RunResult r = split(input, prefix, 1 + fail_at % 9, 3, 0, fail_at);
      ASSERT_EQ(r.err, want.err) << "fail at " << fail_at << ", first cut at " << prefix;
      ASSERT_EQ(r.status, want.status);
    }
  }
}

TEST_P(Split, FullTablesStopFirstInStreamOrder) {
  std::string distinct;
  for (int i = 0; i < 30000; ++i)
    distinct += "k" + std::to_string(i) + " " + std::to_string(i) + "\n";
  const std::string too_long = std::string(255, 'q');
  struct Case {
    std::string input;
    std::string err;
  };
  const Case cases[] = {
      {distinct + "new " + too_long, "Too many different identifiers (limit 30000)!! Exit.\n"},
      {distinct + "7777777 " + too_long, "Too many different numbers (limit 30000)!! Exit.\n"},
      {distinct + too_long + " new", "Word " + too_long + " too long!! Exit.\n"},
      {distinct + "k1 1 k29999", ""},
  };
  for (const Case& c : cases) {
    // And with the defaults: half the input each.
    for (const std::uint64_t stretch : {4096u, 100000u, 0u}) {
      const RunResult r = split(c.input, stretch == 0 ? 0 : 70000, stretch, 2);
      ASSERT_EQ(r.err, c.err) << "stretch " << stretch;
      ASSERT_EQ(r.status, c.err.empty() ? 0 : 1);
      if (c.err.empty()) {
        ASSERT_EQ(r.out, run(c.input).out);
      }
    }
  }
}

}  // namespace
}  // namespace tally
