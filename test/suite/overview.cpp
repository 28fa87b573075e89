#include "overview.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "pose_change.h"

namespace zor::test::suite {
namespace {

double Median(std::vector<float> values)
{
    std::sort(values.begin(), values.end());
    const size_t half = values.size() / 2;
    return values.size() % 2 == 1 ? values[half] : (static_cast<double>(values[half - 1]) + values[half]) / 2.0;
}

}  // namespace

Overview MakeOverview(const std::vector<CaseResult>& results, bool against_baseline)
{
    Overview overview;
    overview.against_baseline = against_baseline;
    for (const CaseResult& result : results) {
        const std::vector<AngleChange> changes =
            against_baseline ? BaselineChanges(result) : ExpectationChanges(result);
        for (size_t i = 0; i < changes.size(); ++i) {
            AngleOverview& angle = overview.angles[i];
            const AngleChange& change = changes[i];
            if (angle.changes.empty()) {
                angle.least_allowed = angle.most_allowed = change.allowed;
            }
            angle.least_allowed = std::min(angle.least_allowed, change.allowed);
            angle.most_allowed = std::max(angle.most_allowed, change.allowed);
            if (angle.changes.empty() || std::fabs(change.change) > std::fabs(angle.largest)) {
                angle.largest = change.change;
                angle.largest_case = result.files.name;
            }
            angle.past += change.past ? 1 : 0;
            angle.changes.push_back(change.change);
        }
    }
    for (AngleOverview& angle : overview.angles) {
        if (!angle.changes.empty()) {
            angle.mean = std::accumulate(angle.changes.begin(), angle.changes.end(), 0.0) /
                         static_cast<double>(angle.changes.size());
            angle.median = Median(angle.changes);
        }
    }
    return overview;
}

}  // namespace zor::test::suite
