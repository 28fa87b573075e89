#pragma once

// What the recorder writes: the condition, the threshold and the tolerance
// it chooses, the expectation file's text, and what a relative threshold
// lets each value move.

#include <string>
#include <vector>

#include "record_request.h"

namespace zor::test::recorder {

// A threshold (percent) or a tolerance (degrees) is a finite number, 0 or
// more: no file written with another one can pass.
bool IsAmount(const std::string& text);

// Why the recorded pose would fail its own file under ">" (a value passes
// only when it differs by at least the threshold and the tolerance, so both
// must be given as 0, the tolerance only where it is written); empty when
// the request is fine.
std::string ConditionRefusal(const RecordRequest& request);

// The tolerance in degrees as written: --tolerance, or the default of 1.
std::string RecordedTolerance(const RecordRequest& request);

// The threshold in percent as written: -t, or 0 beside a tolerance. With
// --portable the threshold alone must let every value move by the
// tolerance: 2%, raised until the value nearest 0 may move by it (a
// relative threshold is harsh on a value near 0), at most 1000%.
std::string RecordedThreshold(const RecordRequest& request, const std::vector<float>& pose);

// The expectation file's text, saying when (`recorded_at`), from which
// model file and which image it was recorded. Nine significant digits read
// back to the same single-precision value.
std::string ExpectationText(const RecordRequest& request, const std::string& model_path, const std::string& pic_path,
                            const std::vector<float>& pose, const std::string& threshold,
                            const std::string& recorded_at);

// With --portable and "<": one line per value saying how far `threshold`
// (percent) lets it move, in degrees ("  pitch -22.500000 may move by 1.125
// degrees"); empty otherwise, where a tolerance or "=" says it.
std::string AllowanceLines(const RecordRequest& request, const std::string& threshold, const std::vector<float>& pose);

// The warning for `output_path` when the allowances let any value move by
// more than 2 degrees; empty otherwise.
std::string AllowanceWarning(const RecordRequest& request, const std::string& threshold,
                             const std::vector<float>& pose, const std::string& output_path);

// The name of the pose value `index` of `count` ("yaw", "pitch", "roll"
// for a pose of three, else "value N").
std::string ValueName(std::size_t index, std::size_t count);

// The current time as ISO 8601 in UTC ("2026-01-31T12:00:00Z").
std::string UtcNow();

}  // namespace zor::test::recorder
