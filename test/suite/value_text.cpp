#include "value_text.h"

#include <cstdio>

namespace facepose_suite {

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

std::string Requirement(int32_t condition, float threshold)
{
    const std::string sign = zor::test::ConditionText(condition);
    return condition == 0 ? "= (exact)" : sign + " " + Percent(threshold);
}

std::string ValueDescription(const zor::test::ValueCheck& value, int32_t condition, float threshold)
{
    return "expected " + Number(value.expected) + ", actual " + Number(value.actual) + ", relative difference " +
           Percent(value.relativeDifference) + ", threshold " + Requirement(condition, threshold);
}

}  // namespace facepose_suite
