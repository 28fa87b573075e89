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

// Each condition and its text.
constexpr struct {
    int32_t condition;
    const char* text;
} kConditions[] = {{COND_EQUAL, "="}, {COND_GREATER, ">"}, {COND_LESS, "<"}};

bool IsCondition(int32_t condition)
{
    for (const auto& known : kConditions) {
        if (known.condition == condition) {
            return true;
        }
    }
    return false;
}

// |r - e| / |e| in single precision; identical values differ by 0.
float RelativeDifference(float runtime, float expected)
{
    if (runtime == expected) {
        return 0.0f;
    }
    return std::fabs(runtime - expected) / std::fabs(expected);
}

// abs(r - e) in single precision, as the relative difference; identical
// values differ by 0.
float Difference(float runtime, float expected)
{
    if (runtime == expected) {
        return 0.0f;
    }
    return std::fabs(runtime - expected);
}

// What "<" and ">" allow a value to differ by in its own units: the
// tolerance plus the threshold's share of abs(expected) (none when the
// threshold is 0, also for an infinite expected value).
float Allowed(float expected, float threshold, float tolerance)
{
    return tolerance + (threshold == 0.0f ? 0.0f : threshold * std::fabs(expected));
}

// "=" needs equal values. Without an absolute tolerance, ">" needs a
// relative difference of at least the threshold and "<" one of at most the
// threshold; with one, ">" needs abs(r - e) of at least tolerance +
// threshold * abs(e) and "<" one of at most that, and an expected value
// that is not finite fails both. A NaN fails every condition.
bool ValuePasses(float runtime, float expected, int32_t condition, const NumericCheck& check)
{
    if (condition == COND_EQUAL) {
        return runtime == expected;
    }
    if (check.hasTolerance) {
        if (!std::isfinite(expected)) {
            return false;
        }
        const float difference = Difference(runtime, expected);
        const float allowed = Allowed(expected, check.threshold, check.tolerance);
        return condition == COND_GREATER ? difference >= allowed : difference <= allowed;
    }
    const float difference = RelativeDifference(runtime, expected);
    return condition == COND_GREATER ? difference >= check.threshold : difference <= check.threshold;
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

const char* RefusalText(CheckRefusal refusal)
{
    switch (refusal) {
    case CheckRefusal::kNotLoaded:
    case CheckRefusal::kNotNumeric: return kRefused;
    case CheckRefusal::kTooFewResults: return kTooFewResults;
    default: return "";
    }
}

const char* ConditionText(int32_t condition)
{
    for (const auto& known : kConditions) {
        if (known.condition == condition) {
            return known.text;
        }
    }
    return "?";
}

bool ConditionFromText(std::string_view text, int32_t& condition)
{
    for (const auto& known : kConditions) {
        if (text == known.text) {
            condition = known.condition;
            return true;
        }
    }
    return false;
}

bool ResultValidator::Check(const std::vector<std::vector<float>>& results)
{
    return CheckNumeric(results).passed;
}

NumericCheck ResultValidator::CheckNumeric(const std::vector<std::vector<float>>& results)
{
    NumericCheck check;
    check.threshold = m_threshold;
    check.hasTolerance = m_hasTolerance;
    check.tolerance = m_tolerance;
    m_systemMessages.clear();
    if (!m_loaded || m_type != TYPE_NUMERIC) {
        m_systemMessages.emplace(ERR_MISSING, kRefused);
        check.refusal = m_loaded ? CheckRefusal::kNotNumeric : CheckRefusal::kNotLoaded;
        return check;
    }
    const uint64_t count = results.size();
    if (m_numsToCheck > count) {
        std::puts(kTooFewResults);
        m_systemMessages.emplace(ERR_SIZE, kTooFewResults);
        check.refusal = CheckRefusal::kTooFewResults;
        return check;
    }
    if (m_numsToCheck < count) {
        m_systemMessages.emplace(ERR_WARNING, kTooManyResults);
    }

    for (uint64_t i = 0; i < m_numsToCheck; ++i) {
        const std::vector<float>& runtime = results[i];
        ItemCheck& item = check.items.emplace_back();
        item.index = i;
        // After a parse there is an expectation for every checked item; an
        // item without one cannot match.
        if (i >= m_numericData.size() || runtime.size() != m_numericData[i].values.size()) {
            std::puts(kLengthMismatch);
            item.message = kLengthMismatch;
            if (i < m_numericData.size()) {
                item.condition = m_numericData[i].condition;
            }
            continue;
        }
        const DataNumericStruct& expected = m_numericData[i];
        item.condition = expected.condition;
        if (runtime.empty()) {
            item.passed = true;
            continue;
        }
        if (!IsCondition(expected.condition)) {
            std::puts(kConditionUnsetPrinted);
            item.message = kConditionUnset;
            continue;
        }
        item.passed = true;
        for (std::size_t j = 0; j < runtime.size(); ++j) {
            ValueCheck& value = item.values.emplace_back();
            value.expected = expected.values[j];
            value.actual = runtime[j];
            value.relativeDifference = RelativeDifference(runtime[j], expected.values[j]);
            value.difference = Difference(runtime[j], expected.values[j]);
            value.allowed = Allowed(expected.values[j], m_threshold, check.tolerance);
            value.passed = ValuePasses(runtime[j], expected.values[j], expected.condition, check);
            item.passed = item.passed && value.passed;
        }
        if (!item.passed) {
            item.message = kExceeded + ValueText(runtime);
        }
    }
    check.passed = true;
    for (const ItemCheck& item : check.items) {
        if (!item.passed) {
            m_systemMessages.emplace(static_cast<int32_t>(item.index), item.message);
            check.passed = false;
        }
    }
    return check;
}

bool ResultValidator::Check(const std::vector<std::string>& results)
{
    m_systemMessages.clear();
    if (!m_loaded || m_type != TYPE_STRING) {
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
