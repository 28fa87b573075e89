#include "validator/expectation_text.h"

#include <cstdio>

namespace zor {
namespace test {

std::string ExpectationHeaderText(const ExpectationHeader& header)
{
    std::string text;
    for (const std::string& comment : header.comments) {
        text += "# " + comment + "\n";
    }
    if (!header.type.empty()) {
        text += "Type: " + header.type + "\n";
    }
    if (!header.numsToCheck.empty()) {
        text += "Nums to Check: " + header.numsToCheck + "\n";
    }
    if (!header.threshold.empty()) {
        text += "Threshold: " + header.threshold;
        text += header.thresholdComment.empty() ? "\n" : "   # " + header.thresholdComment + "\n";
    }
    if (!header.tolerance.empty()) {
        text += "Tolerance: " + header.tolerance;
        text += header.toleranceComment.empty() ? "\n" : "   # " + header.toleranceComment + "\n";
    }
    return text + "Valid data:\n";
}

std::string NumericLineText(const std::string& condition, const std::vector<float>& values)
{
    std::string text = condition;
    for (const float value : values) {
        char number[32];
        std::snprintf(number, sizeof number, " %.9g", static_cast<double>(value));
        text += number;
    }
    return text + "\n";
}

}  // namespace test
}  // namespace zor
