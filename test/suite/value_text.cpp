#include "value_text.h"

#include <cstdio>

namespace zor::test::suite {

std::string ValueName(const zor::test::NumericCheck& check, const zor::test::ItemCheck& item, size_t value)
{
    static const char* const kPose[] = {"yaw", "pitch", "roll"};
    if (check.items.size() == 1 && item.values.size() == 3) {
        return kPose[value];
    }
    return "item " + std::to_string(item.index) + " value " + std::to_string(value);
}

std::string Number(float value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%f", static_cast<double>(value));
    return text;
}

std::string Percent(float fraction)
{
    char text[64];
    const double percent = 100.0 * static_cast<double>(fraction);
    // Whole percents from 1000% on, where "%g" would switch to an exponent.
    std::snprintf(text, sizeof text, percent >= 1000.0 ? "%.0f%%" : "%.3g%%", percent);
    return text;
}

std::string DifferenceText(const zor::test::ValueCheck& value, const zor::test::NumericCheck& check)
{
    const std::string sign = value.actual < value.expected ? "-" : "+";
    return sign + (check.hasTolerance ? Number(value.difference) : Percent(value.relativeDifference));
}

std::string Requirement(int32_t condition, const zor::test::NumericCheck& check, const zor::test::ValueCheck& value)
{
    if (condition == zor::test::COND_EQUAL) {
        return "= (exact)";
    }
    if (!check.hasTolerance) {
        return std::string(zor::test::ConditionText(condition)) + " " + Percent(check.threshold) + " (±" +
               Number(value.allowed) + ")";
    }
    char tolerance[64];
    std::snprintf(tolerance, sizeof tolerance, "%g", static_cast<double>(check.tolerance));
    const std::string text =
        std::string(condition == zor::test::COND_GREATER ? "|diff| ≥ " : "|diff| ≤ ") + tolerance + " + " + Percent(check.threshold);
    return check.threshold == 0.0f ? text : text + " (" + Number(value.allowed) + ")";
}

std::string ValueDescription(const zor::test::ValueCheck& value, int32_t condition,
                             const zor::test::NumericCheck& check)
{
    const std::string values = "expected " + Number(value.expected) + ", actual " + Number(value.actual);
    if (check.hasTolerance) {
        return values + ", difference " + DifferenceText(value, check) + ", allowed " +
               Requirement(condition, check, value);
    }
    return values + ", relative difference " + DifferenceText(value, check) + ", threshold " +
           Requirement(condition, check, value);
}

}  // namespace zor::test::suite
