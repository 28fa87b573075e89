#pragma once

// The figures at the top of the report: per angle, how the cases' poses
// moved (against their expectations, or against the baseline model).

#include <string>
#include <vector>

#include "case_result.h"

namespace zor::test::suite {

struct AngleOverview {
    std::vector<float> changes;  // signed, one per case that has the angle, in case order
    double mean = 0.0;
    double median = 0.0;
    float largest = 0.0f;        // the change furthest from 0, signed
    std::string largest_case;    // the first case with it
    size_t past = 0;             // changes past their allowance
    float least_allowed = 0.0f;  // the smallest and largest allowance of the angle
    float most_allowed = 0.0f;
};

struct Overview {
    bool against_baseline = false;
    AngleOverview angles[3];  // yaw, pitch, roll
};

// The overview of `results`: against the baseline model's poses when
// `against_baseline`, else against the expectations.
Overview MakeOverview(const std::vector<CaseResult>& results, bool against_baseline);

}  // namespace zor::test::suite
