#pragma once

// How the reports name and print the values of a check.

#include <string>

#include "validator/result_validator.h"

namespace facepose_suite {

// "yaw", "pitch" or "roll" for the values of a lone three-value item (the
// pose); otherwise "item I value J".
std::string ValueName(const zor::test::NumericCheck& check, const zor::test::ItemCheck& item, size_t value);

// "%f", as the validation log prints values.
std::string Number(float value);

// A relative difference in percent with three significant digits ("15.6%"),
// whole percents from 1000% on ("1653%").
std::string Percent(float fraction);

// What the value had to meet: "= (exact)", "< 1%" or "> 1%".
std::string Requirement(int32_t condition, float threshold);

// "expected 3.461568, actual 4.000000, relative difference 15.6%, < 1%".
std::string ValueDescription(const zor::test::ValueCheck& value, int32_t condition, float threshold);

}  // namespace facepose_suite
