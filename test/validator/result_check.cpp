#include <cmath>
#include <cstdio>
#include <string>

#include "validator/result_validator.h"

namespace zor {
namespace test {

namespace {

constexpr char kRefused[] = "Missing validation file or rvType not match.";
constexpr char kTooFewResults[] = "Size not match! Output result must larger than \"Nums to Check\"";
constexpr char kTooManyResults[] =
    "The runtime value is larger than the value set by \"Nums to Check\", not all the outputs are "
    "checked.";
constexpr char kLengthMismatch[] = "Data length not match!";
constexpr char kConditionUnset[] = "Did not set validate condition >/=/<.";
constexpr char kConditionUnsetPrinted[] = "Error! Forget to set type?";
constexpr char kExceeded[] = "Threshold exceeded. Runtime value: ";
constexpr char kNotFound[] = "String not found. Runtime value: ";

constexpr int32_t kTypeString = 1;
constexpr int32_t kTypeNumeric = 2;

bool IsCondition(int32_t condition)
{
    return condition == 0 || condition == 1 || condition == -1;
}

// |r - e| / |e| in single precision; identical values differ by 0.
float RelativeDifference(float runtime, float expected)
{
    if (runtime == expected) {
        return 0.0f;
    }
    return std::fabs(runtime - expected) / std::fabs(expected);
}

// "=" needs equal values; ">" a relative difference of at least the threshold,
// "<" one of at most the threshold. A NaN fails every condition.
bool ValuePasses(float runtime, float expected, int32_t condition, float threshold)
{
    if (condition == 0) {
        return runtime == expected;
    }
    const float difference = RelativeDifference(runtime, expected);
    return condition > 0 ? difference >= threshold : difference <= threshold;
}

std::string ValueText(const std::vector<float>& values)
{
    std::string text;
    for (const float value : values) {
        if (!text.empty()) {
            text += ' ';
        }
        text += std::to_string(value);
    }
    return text;
}

}  // namespace

bool ResultValidator::Check(const std::vector<std::vector<float>>& results)
{
    m_systemMessages.clear();
    if (!m_loaded || m_type != kTypeNumeric) {
        m_systemMessages.emplace(ERR_MISSING, kRefused);
        return false;
    }
    const uint64_t count = results.size();
    if (m_numsToCheck > count) {
        std::puts(kTooFewResults);
        m_systemMessages.emplace(ERR_SIZE, kTooFewResults);
        return false;
    }
    if (m_numsToCheck < count) {
        m_systemMessages.emplace(ERR_WARNING, kTooManyResults);
    }

    uint64_t failures = 0;
    for (uint64_t i = 0; i < m_numsToCheck; ++i) {
        const int32_t key = static_cast<int32_t>(i);
        const std::vector<float>& runtime = results[i];
        // After a parse there is an expectation for every checked item; an
        // item without one cannot match.
        if (i >= m_numericData.size() || runtime.size() != m_numericData[i].values.size()) {
            std::puts(kLengthMismatch);
            m_systemMessages.emplace(key, kLengthMismatch);
            ++failures;
            continue;
        }
        const DataNumericStruct& expected = m_numericData[i];
        if (runtime.empty()) {
            continue;
        }
        if (!IsCondition(expected.condition)) {
            std::puts(kConditionUnsetPrinted);
            m_systemMessages.emplace(key, kConditionUnset);
            ++failures;
            continue;
        }
        for (std::size_t j = 0; j < runtime.size(); ++j) {
            if (!ValuePasses(runtime[j], expected.values[j], expected.condition, m_threshold)) {
                m_systemMessages.emplace(key, kExceeded + ValueText(runtime));
                ++failures;
                break;
            }
        }
    }
    return failures == 0;
}

bool ResultValidator::Check(const std::vector<std::string>& results)
{
    m_systemMessages.clear();
    if (!m_loaded || m_type != kTypeString) {
        m_systemMessages.emplace(ERR_MISSING, kRefused);
        return false;
    }
    int64_t found = 0;
    for (std::size_t i = 0; i < results.size(); ++i) {
        const auto entry = m_stringData.find(results[i]);
        if (entry != m_stringData.end()) {
            found += entry->second;
        } else {
            m_systemMessages.emplace(static_cast<int32_t>(i), kNotFound + results[i]);
        }
    }
    return found == static_cast<int64_t>(results.size());
}

}  // namespace test
}  // namespace zor
