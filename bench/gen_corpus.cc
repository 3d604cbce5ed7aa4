// Writes the benchmark's deterministic inputs to standard output.
//
// usage: gen_corpus english|code|allbytes|distinct|maxkeys|maxshort|maxsplit MEGABYTES
//   english   words drawn from a Zipf distribution, sentences and lines
//   code      C-like source: identifiers, keywords, numbers, punctuation
//   allbytes  every byte value 0-255 as separators between common words
//   distinct  30000 distinct identifiers, cycling in a fixed shuffled order
//   maxkeys   every table filled: the spelling tables with 65536 case
//             variants of 256 short identifiers and as many of 256 long
//             ones, then 29000 identifiers and 30000 numbers of 254
//             characters each (the size argument is ignored)
//   maxshort  every table filled with short keys, twice over, so that both
//             threads of a split fill their spelling caches and the second
//             its room: 29000 identifiers and 30000 numbers, then case
//             variants of the identifiers (the size argument is ignored)
//   maxsplit  two halves of equal length, each with other case variants of
//             the same 27400 short and 2600 long identifiers and with the
//             same 30000 numbers, so that both threads of a split fill both
//             their spelling tables, and the second its room (the size
//             argument is ignored)
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Rng {
  std::uint64_t s;
  std::uint64_t next() {  // splitmix64
    std::uint64_t z = (s += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  std::uint64_t below(std::uint64_t n) { return next() % n; }
  double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
};

std::vector<std::string> make_words(Rng& rng, int n, int min_syllables, int max_syllables) {
  static const char* const kSyllables[] = {
      "the", "an",  "in", "er", "on", "at", "en", "re", "or", "es", "ti", "ar", "st", "nd",
      "ou",  "ing", "al", "le", "is", "it", "ve", "ha", "ro", "co", "de", "me", "se", "ma",
      "li",  "ne",  "ta", "ri", "ow", "so", "pe", "ly", "ch", "wh", "sh", "ck", "ab", "ul"};
  constexpr int kCount = sizeof kSyllables / sizeof kSyllables[0];
  std::vector<std::string> words;
  for (int i = 0; i < n; ++i) {
    std::string w;
    const int k =
        min_syllables +
        static_cast<int>(rng.below(static_cast<std::uint64_t>(max_syllables - min_syllables + 1)));
    for (int j = 0; j < k; ++j) w += kSyllables[rng.below(kCount)];
    words.push_back(w);
  }
  return words;
}

// Index drawn with probability proportional to 1 / (rank + 1).
struct Zipf {
  std::vector<double> cdf;
  explicit Zipf(std::size_t n) : cdf(n) {
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i) cdf[i] = (sum += 1.0 / static_cast<double>(i + 1));
    for (double& c : cdf) c /= sum;
  }
  std::size_t draw(Rng& rng) const {
    const double u = rng.unit();
    std::size_t lo = 0, hi = cdf.size() - 1;
    while (lo < hi) {
      const std::size_t mid = (lo + hi) / 2;
      if (cdf[mid] < u)
        lo = mid + 1;
      else
        hi = mid;
    }
    return lo;
  }
};

class Out {
 public:
  explicit Out(std::uint64_t limit) : limit_(limit) {}
  bool full() const { return written_ + buf_.size() >= limit_; }
  void put(const std::string& s) {
    buf_ += s;
    flush_if_big();
  }
  void put(char c) {
    buf_ += c;
    flush_if_big();
  }
  void finish() {
    // Cut to size, but never inside a token: a token cut short would be a
    // key the corpus was not meant to have.
    if (written_ + buf_.size() > limit_) {
      buf_.resize(limit_ - written_);
      while (!buf_.empty() && std::isalnum(static_cast<unsigned char>(buf_.back())))
        buf_.pop_back();
    }
    fwrite(buf_.data(), 1, buf_.size(), stdout);
  }

 private:
  void flush_if_big() {
    if (buf_.size() < (1 << 20) || written_ + buf_.size() > limit_) return;
    fwrite(buf_.data(), 1, buf_.size(), stdout);
    written_ += buf_.size();
    buf_.clear();
  }
  std::uint64_t limit_;
  std::uint64_t written_ = 0;
  std::string buf_;
};

void english(Out& out, Rng& rng) {
  const std::vector<std::string> words = make_words(rng, 20000, 1, 4);
  const Zipf zipf(words.size());
  int col = 0;
  bool sentence_start = true;
  while (!out.full()) {
    std::string w = words[zipf.draw(rng)];
    if (rng.below(40) == 0) w = std::to_string(rng.below(rng.below(2) ? 100 : 3000));
    if (sentence_start) w[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(w[0])));
    sentence_start = false;
    const std::uint64_t r = rng.below(100);
    if (r < 6) {
      w += '.';
      sentence_start = true;
    } else if (r < 12)
      w += ',';
    else if (r < 13)
      w += ';';
    if (col + static_cast<int>(w.size()) > 72) {
      out.put('\n');
      col = 0;
    } else if (col > 0) {
      out.put(' ');
      ++col;
    }
    out.put(w);
    col += static_cast<int>(w.size());
    if (sentence_start && rng.below(8) == 0) {
      out.put("\n\n");
      col = 0;
    }
  }
}

// The vocabularies stay well inside the 30000-key tables: real source
// reuses a few thousand names and constants.
void code(Out& out, Rng& rng) {
  const std::vector<std::string> base = make_words(rng, 3000, 1, 3);
  std::vector<std::string> names;
  for (int i = 0; i < 12000; ++i) {
    std::string n = base[rng.below(base.size())];
    if (rng.below(3) == 0) n += "_" + base[rng.below(base.size())];
    if (rng.below(5) == 0) n += std::to_string(rng.below(10));
    names.push_back(n);
  }
  std::vector<std::string> numbers;
  for (int i = 0; i < 5000; ++i) {
    const std::uint64_t k = rng.below(4);
    char b[32];
    if (k == 0)
      std::snprintf(b, sizeof b, "0x%llX", static_cast<unsigned long long>(rng.below(65536)));
    else if (k == 1)
      std::snprintf(b, sizeof b, "%llu.%llu", static_cast<unsigned long long>(rng.below(10)),
                    static_cast<unsigned long long>(rng.below(1000)));
    else
      std::snprintf(b, sizeof b, "%llu",
                    static_cast<unsigned long long>(rng.below(k == 2 ? 16 : 100000)));
    numbers.push_back(b);
  }
  const Zipf name_zipf(names.size());
  const Zipf number_zipf(numbers.size());
  static const char* const kKeywords[] = {"if",     "for",   "return", "int",    "const",
                                          "static", "while", "else",   "struct", "void"};
  static const char* const kOps[] = {
      " = ", " + ", " - ", " * ", " == ", " < ", " && ", ", ", "->", "."};
  auto name = [&] { return names[name_zipf.draw(rng)]; };
  auto number = [&] { return numbers[number_zipf.draw(rng)]; };
  int depth = 0;
  while (!out.full()) {
    std::string line(static_cast<std::size_t>(2 * depth), ' ');
    const std::uint64_t kind = rng.below(10);
    if (kind < 2 && depth < 6) {
      line += std::string(kKeywords[rng.below(10)]) + " (" + name() + kOps[rng.below(10)] +
              number() + ") {";
      ++depth;
    } else if (kind < 4 && depth > 0) {
      line.resize(line.size() - 2);
      line += "}";
      --depth;
    } else if (kind == 4) {
      line += "// " + name() + " " + name() + " " + name() + " " + number();
    } else {
      line += name() + kOps[rng.below(10)] + name() + "(" + name() + ", " + number() + ");";
    }
    out.put(line);
    out.put('\n');
  }
}

void allbytes(Out& out, Rng& rng) {
  const std::vector<std::string> words = make_words(rng, 500, 1, 3);
  while (!out.full()) {
    for (int i = 0; i < 4; ++i) {
      const unsigned char c = static_cast<unsigned char>(rng.below(256));
      out.put(static_cast<char>(std::isalnum(c) ? ' ' : c));
    }
    out.put(words[rng.below(words.size())]);
    out.put(static_cast<char>(rng.below(256)));
  }
}

void distinct(Out& out, Rng& rng) {
  std::vector<std::string> ids;
  for (int i = 0; i < 30000; ++i) {
    std::string id;
    const int len = 5 + static_cast<int>(rng.below(6));
    for (int j = 0; j < len; ++j) id += static_cast<char>('a' + rng.below(26));
    ids.push_back(id + std::to_string(i));
  }
  for (std::size_t i = ids.size() - 1; i > 0; --i) std::swap(ids[i], ids[rng.below(i + 1)]);
  std::size_t k = 0;
  while (!out.full()) {
    out.put(ids[k]);
    out.put(k % 10 == 9 ? '\n' : ' ');
    k = (k + 1) % ids.size();
  }
}

// Sparse numeric data: lines of eight short numbers, most of them 0.
void sparse_numbers(Out& out, Rng& rng) {
  static const char* const kValues[] = {"0", "0", "0", "0", "0", "0", "1", "2", "3", "10"};
  while (!out.full()) {
    for (int i = 0; i < 8; ++i) {
      out.put(kValues[rng.below(10)]);
      out.put(i == 7 ? '\n' : ' ');
    }
  }
}

void maxkeys(Out& out) {
  for (int i = 0; i < 65536; ++i) {
    std::string word;
    for (int b = 0; b < 8; ++b) word += "eEtT"[(i >> (2 * b)) & 3];
    out.put(word + " " + std::string(40, 'L') + word + "\n");
  }
  for (int i = 0; i < 29000; ++i) {
    std::string id(254, 'k');
    std::string number(254, '1');
    for (int j = 0, v = i; j < 6; ++j, v /= 10) {
      id[253 - static_cast<std::size_t>(j)] = static_cast<char>('a' + v % 10);
      number[253 - static_cast<std::size_t>(j)] = static_cast<char>('0' + v % 10);
    }
    out.put(id + " " + number + "\n");
  }
}

void maxshort(Out& out) {
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 29000; ++i) out.put("q" + std::to_string(i) + "z ");
    out.put("\n");
    for (int i = 0; i < 30000; ++i) out.put(std::to_string(100000 + 7 * i) + " ");
    out.put("\n");
    for (int i = 0; i < 29000; ++i) {
      const std::string id = "q" + std::to_string(i) + "z";
      std::string upper = id;
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      out.put(upper + " Q" + id.substr(1) + " " + id.substr(0, id.size() - 1) + "Z ");
    }
    out.put("\n");
  }
}

void maxsplit(Out& out) {
  const auto base36 = [](int v) {
    std::string s;
    do {
      s.insert(s.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"[v % 36]);
      v /= 36;
    } while (v != 0);
    return s;
  };
  std::vector<std::string> ids;
  std::vector<std::string> longs;
  for (int i = 0; i < 27400; ++i) ids.push_back("k" + base36(i));
  for (int i = 0; i < 2600; ++i) longs.push_back("l" + std::string(28, 'a') + base36(i));
  const auto upper = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
  };
  const auto upper_first = [](std::string s) {
    s.front() = static_cast<char>(std::toupper(static_cast<unsigned char>(s.front())));
    return s;
  };
  const auto upper_last = [](std::string s) {
    s.back() = static_cast<char>(std::toupper(static_cast<unsigned char>(s.back())));
    return s;
  };
  std::string first;
  std::string second;
  const auto add = [](std::string* half, const std::string& word) { *half += word + " "; };
  for (const std::string& id : ids) add(&first, id);
  for (const std::string& id : longs) add(&first, id);
  for (int i = 0; i < 30000; ++i) add(&first, std::to_string(1000000 + i));
  for (std::size_t i = 0; i < 14000; ++i) add(&first, upper_first(ids[i]));
  for (const std::string& id : longs) add(&first, upper_first(id));
  for (const std::string& id : ids) add(&second, upper(id));
  for (std::size_t i = 0; i < 14000; ++i) add(&second, upper_last(ids[i]));
  for (const std::string& id : longs) add(&second, upper(id));
  for (const std::string& id : longs) add(&second, upper_last(id));
  for (int i = 0; i < 30000; ++i) add(&second, std::to_string(1000000 + i));
  const std::size_t len = std::max(first.size(), second.size());
  first.resize(len, ' ');
  second.resize(len, ' ');
  out.put(first + "\n" + second + "\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(
        stderr,
        "usage: gen_corpus english|code|allbytes|distinct|numbers|maxkeys|maxshort|maxsplit "
        "MEGABYTES\n");
    return 2;
  }
  const std::string kind = argv[1];
  const bool whole = kind == "maxkeys" || kind == "maxshort" || kind == "maxsplit";
  Out out(whole ? ~std::uint64_t{0} : std::strtoull(argv[2], nullptr, 10) * 1000000ULL);
  Rng rng{0x7A11E5};
  if (kind == "english")
    english(out, rng);
  else if (kind == "code")
    code(out, rng);
  else if (kind == "allbytes")
    allbytes(out, rng);
  else if (kind == "distinct")
    distinct(out, rng);
  else if (kind == "numbers")
    sparse_numbers(out, rng);
  else if (kind == "maxkeys")
    maxkeys(out);
  else if (kind == "maxshort")
    maxshort(out);
  else if (kind == "maxsplit")
    maxsplit(out);
  else {
    std::fprintf(stderr, "gen_corpus: unknown corpus %s\n", argv[1]);
    return 2;
  }
  out.finish();
  return std::fflush(stdout) == 0 ? 0 : 1;
}
