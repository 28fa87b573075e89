#pragma once

// How far each pose angle of a case moved: against its expectation, or
// against the baseline model, signed (new − old), with what it may move.

#include <string>
#include <vector>

#include "case_result.h"

namespace zor::test::suite {

// The tolerance a change between two models gets when the case has no
// expectation to take one from, in degrees.
constexpr float kDefaultChangeAllowance = 1.0f;

struct AngleChange {
    float change = 0.0f;   // signed: actual − expected, or new model − baseline model
    float allowed = 0.0f;  // how far it may move either way, in degrees
    bool past = false;     // beyond what it may move
};

// "yaw", "pitch" and "roll".
extern const char* const kAngleNames[3];

// The three angles against the expectation, as the check compared them
// (`past` is the check's verdict); empty when the check did not compare a
// three-value pose.
std::vector<AngleChange> ExpectationChanges(const CaseResult& result);

// The three angles of the model against the baseline model; the allowance
// is the expectation's, or kDefaultChangeAllowance without one. Empty when
// either model found no pose.
std::vector<AngleChange> BaselineChanges(const CaseResult& result);

// How far the furthest failed value of the check is past its allowance, in
// the values' units (0 when none failed or the check compared nothing).
float HowFarPast(const CaseResult& result);

// The failed value furthest past its allowance, e.g. "pitch +3.15 (allowed ±1)";
// empty when no single value failed.
std::string WorstValueText(const CaseResult& result);

// The change from the baseline model furthest past its allowance, e.g.
// "pitch +2.00 (allowed ±1)"; empty when none is past it.
std::string WorstChangeText(const CaseResult& result);

// The change with its sign and three decimals: "+2.000", "-0.125".
std::string SignedText(float change);

// Failed cases worst first (HowFarPast), then the cases that could not run,
// then the rest; name order within each group.
std::vector<const CaseResult*> WorstFirst(const std::vector<CaseResult>& results);

}  // namespace zor::test::suite
