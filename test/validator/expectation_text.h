#pragma once

// Writing expectation files: the text that the parser reads back.

#include <string>
#include <vector>

namespace zor {
namespace test {

// The header of an expectation file. Every field that is empty is left out.
struct ExpectationHeader {
    std::vector<std::string> comments;  // lines before the keys, each written after "# "
    std::string type;                   // "numeric-match" or "string-match"
    std::string numsToCheck;            // the "Nums to Check" value as written
    std::string threshold;              // the "Threshold" value as written, in percent
    std::string thresholdComment;       // written after the threshold, after "   # "
    std::string tolerance;              // the "Tolerance" value as written, in the values' units
    std::string toleranceComment;       // written after the tolerance, after "   # "
};

// The header lines through "Valid data:".
std::string ExpectationHeaderText(const ExpectationHeader& header);

// One numeric data line: the condition ("=", ">" or "<"), then every value
// with nine significant digits, which read back to the same float.
std::string NumericLineText(const std::string& condition, const std::vector<float>& values);

}  // namespace test
}  // namespace zor
