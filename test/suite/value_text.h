#pragma once

// How the reports name and print the values of a check.

#include <string>

#include "validator/result_validator.h"

namespace zor::test::suite {

// "yaw", "pitch" or "roll" for the values of a lone three-value item (the
// pose); otherwise "item I value J".
std::string ValueName(const zor::test::NumericCheck& check, const zor::test::ItemCheck& item, size_t value);

// "%f", as the validation log prints values.
std::string Number(float value);

// A relative difference in percent with three significant digits ("15.6%"),
// whole percents from 1000% on ("1653%").
std::string Percent(float fraction);

// The value's difference as the check compared it, with the sign of
// actual - expected: abs(actual - expected) ("+%f") when the file has a
// "Tolerance" line, else the relative difference ("-15.6%").
std::string DifferenceText(const zor::test::ValueCheck& value, const zor::test::NumericCheck& check);

// What the value had to meet: "= (exact)"; with a "Tolerance" line
// "|diff| ≤ 0.5 + 0%" ("≥" for ">"), followed by the sum in the value's
// units when the threshold is not 0 ("|diff| ≤ 0.5 + 1% (0.534616)");
// without one "< 1% (±0.034616)", the threshold and what it allows the value.
std::string Requirement(int32_t condition, const zor::test::NumericCheck& check, const zor::test::ValueCheck& value);

// "expected 3.461568, actual 4.000000, relative difference +15.6%, threshold < 1% (±0.034616)", or with a
// "Tolerance" line "expected 3.461568, actual 4.000000, difference +0.538432, allowed |diff| ≤ 0.5 + 0%".
std::string ValueDescription(const zor::test::ValueCheck& value, int32_t condition,
                             const zor::test::NumericCheck& check);

}  // namespace zor::test::suite
