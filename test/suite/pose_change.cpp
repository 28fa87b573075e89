#include "pose_change.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "value_text.h"

namespace zor::test::suite {
namespace {

// How far a value that failed is past what it was allowed: for "=" and "<"
// beyond the allowance, for ">" short of it.
float PastBy(const zor::test::ValueCheck& value, int32_t condition)
{
    const float distance = std::fabs(value.actual - value.expected);
    return condition > 0 ? value.allowed - distance : distance - value.allowed;
}

int Group(const CaseResult& result)
{
    switch (result.verdict) {
    case Verdict::kFailed: return 0;
    case Verdict::kError: return 1;
    default: return 2;
    }
}

}  // namespace

const char* const kAngleNames[3] = {"yaw", "pitch", "roll"};

std::vector<AngleChange> ExpectationChanges(const CaseResult& result)
{
    const zor::test::NumericCheck& check = result.check;
    if (check.refusal != zor::test::CheckRefusal::kNone || check.items.size() != 1 ||
        check.items[0].values.size() != 3) {
        return {};
    }
    std::vector<AngleChange> changes;
    for (const zor::test::ValueCheck& value : check.items[0].values) {
        changes.push_back({value.actual - value.expected, value.allowed, !value.passed});
    }
    return changes;
}

std::vector<AngleChange> BaselineChanges(const CaseResult& result)
{
    if (result.pose.size() != 3 || result.baseline_pose.size() != 3) {
        return {};
    }
    const std::vector<AngleChange> expected = ExpectationChanges(result);
    std::vector<AngleChange> changes;
    for (size_t i = 0; i < 3; ++i) {
        const float change = result.pose[i] - result.baseline_pose[i];
        const float allowed = expected.empty() ? kDefaultChangeAllowance : expected[i].allowed;
        changes.push_back({change, allowed, std::fabs(change) > allowed});
    }
    return changes;
}

float HowFarPast(const CaseResult& result)
{
    float worst = 0.0f;
    for (const zor::test::ItemCheck& item : result.check.items) {
        for (const zor::test::ValueCheck& value : item.values) {
            if (!value.passed) {
                worst = std::max(worst, PastBy(value, item.condition));
            }
        }
    }
    return worst;
}

std::string WorstValueText(const CaseResult& result)
{
    const zor::test::ItemCheck* worst_item = nullptr;
    size_t worst_value = 0;
    float worst = -1.0f;
    for (const zor::test::ItemCheck& item : result.check.items) {
        for (size_t j = 0; j < item.values.size(); ++j) {
            const zor::test::ValueCheck& value = item.values[j];
            if (!value.passed && PastBy(value, item.condition) > worst) {
                worst = PastBy(value, item.condition);
                worst_item = &item;
                worst_value = j;
            }
        }
    }
    if (worst_item == nullptr) {
        return "";
    }
    const zor::test::ValueCheck& value = worst_item->values[worst_value];
    char text[96];
    std::snprintf(text, sizeof text, " %+.2f (%s%g)", static_cast<double>(value.actual - value.expected),
                  worst_item->condition > 0 ? "needed beyond ±" : "allowed ±", static_cast<double>(value.allowed));
    return ValueName(result.check, *worst_item, worst_value) + text;
}

std::string WorstChangeText(const CaseResult& result)
{
    const std::vector<AngleChange> changes = BaselineChanges(result);
    size_t worst = changes.size();
    for (size_t i = 0; i < changes.size(); ++i) {
        if (changes[i].past && (worst == changes.size() || std::fabs(changes[i].change) - changes[i].allowed >
                                                               std::fabs(changes[worst].change) - changes[worst].allowed)) {
            worst = i;
        }
    }
    if (worst == changes.size()) {
        return "";
    }
    char text[96];
    std::snprintf(text, sizeof text, "%s %+.2f (allowed ±%g)", kAngleNames[worst],
                  static_cast<double>(changes[worst].change), static_cast<double>(changes[worst].allowed));
    return text;
}

std::string SignedText(float change)
{
    char text[32];
    std::snprintf(text, sizeof text, "%+.3f", static_cast<double>(change));
    return text;
}

std::vector<const CaseResult*> WorstFirst(const std::vector<CaseResult>& results)
{
    std::vector<const CaseResult*> order;
    for (const CaseResult& result : results) {
        order.push_back(&result);
    }
    std::stable_sort(order.begin(), order.end(), [](const CaseResult* a, const CaseResult* b) {
        if (Group(*a) != Group(*b)) {
            return Group(*a) < Group(*b);
        }
        return Group(*a) == 0 && HowFarPast(*a) > HowFarPast(*b);
    });
    return order;
}

}  // namespace zor::test::suite
