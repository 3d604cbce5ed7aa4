// The plain model. It shares no code with the program on purpose.
#include "model.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace {

const std::size_t kLimit = 30000;
const std::size_t kTooLong = 255;

using Table = std::vector<std::pair<std::string, std::uint64_t>>;

bool is_letter(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool is_digit(unsigned char c) {
  return c >= '0' && c <= '9';
}

// Returns false when the key is new and the table is full.
bool add(Table& table, const std::string& key) {
  for (auto& entry : table) {
    if (entry.first == key) {
      ++entry.second;
      return true;
    }
  }
  if (table.size() == kLimit) return false;
  table.emplace_back(key, 1);
  return true;
}

std::string header(const char* lead, std::size_t n, const char* what) {
  std::size_t m = n < 5 ? n : 5;
  return lead + ("Total " + std::to_string(n)) + " different " + what + ", " + std::to_string(m) +
         " most used " + what + ":\n";
}

// Lists the five largest counts, the first index winning ties.
std::string ranked(const std::vector<std::pair<std::string, std::uint64_t>>& entries) {
  std::string out;
  std::vector<bool> taken(entries.size(), false);
  for (std::size_t k = 0; k < 5 && k < entries.size(); ++k) {
    std::size_t best = 0;
    bool found = false;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (!taken[i] && (!found || entries[i].second > entries[best].second)) {
        best = i;
        found = true;
      }
    }
    taken[best] = true;
    out += "No. " + std::to_string(k) + ": " + entries[best].first + "\t\t" +
           std::to_string(entries[best].second) + "\n";
  }
  return out;
}

}  // namespace

ModelResult model_run(const unsigned char* data, std::size_t size, std::size_t fail_at) {
  // Reads hand out the bytes before fail_at, then fail.
  const bool fails = fail_at < size;
  const std::size_t limit = fails ? fail_at : size;
  ModelResult read_error{
      "", std::string("tally: cannot read standard input: ") + std::strerror(EIO) + "\n", 1};
  std::uint64_t chars[256] = {};
  std::uint64_t lines = 0;
  std::uint64_t tokens = 0;
  Table words;
  Table numbers;
  std::size_t i = 0;
  while (i < limit) {
    unsigned char c = data[i];
    if (!is_letter(c) && !is_digit(c)) {
      ++chars[c];
      if (c == '\n') ++lines;
      ++i;
      continue;
    }
    const bool word = is_letter(c);
    std::string token;
    while (i < limit && (is_digit(data[i]) || (word && is_letter(data[i])))) {
      unsigned char t = data[i];
      ++chars[t];
      if (word && t >= 'A' && t <= 'Z') t = static_cast<unsigned char>(t + 32);
      token += static_cast<char>(t);
      ++i;
      if (token.size() == kTooLong) {
        return {"", (word ? "Word " : "Number ") + token + " too long!! Exit.\n", 1};
      }
    }
    if (fails && i == limit) return read_error;  // the token may go on
    ++tokens;
    if (!add(word ? words : numbers, token)) {
      return {"",
              std::string("Too many different ") + (word ? "identifiers" : "numbers") +
                  " (limit 30000)!! Exit.\n",
              1};
    }
  }

  if (fails) return read_error;

  std::vector<std::pair<std::string, std::uint64_t>> seen;
  for (int code = 0; code < 256; ++code) {
    if (chars[code] == 0) continue;
    std::string key = code == '\n'   ? "\\n"
                      : code == '\t' ? "\\t"
                                     : std::string(1, static_cast<char>(code));
    seen.emplace_back(key, chars[code]);
  }
  std::string out =
      std::to_string(lines) + " " + std::to_string(tokens) + " " + std::to_string(size) + "\n";
  out += header("", seen.size(), "characters") + ranked(seen);
  out += header("\n", words.size(), "identifiers") + ranked(words);
  out += header("\n", numbers.size(), "numbers") + ranked(numbers);
  return {out, "", 0};
}
