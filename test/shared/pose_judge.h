#pragma once

// The second half of the one path from image to verdict: the check of a pose
// against an expectation file, as test_facepose -v does it and
// facepose_suite does it for each case, so that both give the same verdict
// and the same log bytes.

#include <string>
#include <vector>

#include "validator/result_validator.h"

namespace zor::test::shared {

// The source file and line that test_facepose's verdict record names.
struct RecordSource {
    const char* file;
    int line;
};

// What the check of one pose gave.
struct Judgement {
    zor::test::NumericCheck check;     // check.passed is the verdict
    std::vector<float> expected_pose;  // the file's first item when it has three values
    std::string file_problem;          // why the file could not be used, as the parser said
    std::string log_path;              // where the validation log was written
};

// Prints "test: <expectation_path>", reads the expectation file (the
// validator prints its summary), checks `pose` as one result item and writes
// the full validation log when the validator is released before returning.
// The log is named after the expectation file (LogNameFor) and goes into
// `log_dir`, or the working directory when `log_dir` is empty. With
// `verdict_record`, the verdict "Test passed." or "Test failed." goes out as
// one glog INFO record naming that source: opened before the check prints
// its messages and emitted after them, standard output flushed first, so
// that in one joined stream the record stands after the messages.
Judgement JudgePose(const std::string& expectation_path, const std::string& log_dir,
                    const std::vector<float>& pose, const RecordSource* verdict_record);

}  // namespace zor::test::shared
