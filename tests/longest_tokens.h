// A short text of the longest tokens, numbers running into identifiers,
// and its report written out, for the tests that cut it every way.
#ifndef TALLY_TESTS_LONGEST_TOKENS_H_
#define TALLY_TESTS_LONGEST_TOKENS_H_

#include <string>

namespace tally {

inline const std::string kLongest = "x " + std::string(254, 'K') + " 12" + std::string(252, '7') +
                                    "ab\n" + std::string(200, 'k') + std::string(54, 'K') + ".";

inline const std::string kLongestReport =
    "1 5 769\n"
    "Total 11 different characters, 5 most used characters:\n"
    "No. 0: K\t\t308\n"
    "No. 1: 7\t\t252\n"
    "No. 2: k\t\t200\n"
    "No. 3:  \t\t2\n"
    "No. 4: \\n\t\t1\n"
    "\n"
    "Total 3 different identifiers, 3 most used identifiers:\n"
    "No. 0: " +
    std::string(254, 'k') +
    "\t\t2\n"
    "No. 1: x\t\t1\n"
    "No. 2: ab\t\t1\n"
    "\n"
    "Total 1 different numbers, 1 most used numbers:\n"
    "No. 0: 12" +
    std::string(252, '7') + "\t\t1\n";

}  // namespace tally

#endif  // TALLY_TESTS_LONGEST_TOKENS_H_
