#pragma once

// What one case of a suite gave.

#include <string>
#include <vector>

#include "shared/case_folder.h"
#include "validator/result_validator.h"

namespace zor::test::suite {

using zor::test::shared::CaseFiles;

enum class Verdict {
    kFailed,  // the check ran and failed
    kError,   // the case could not run: no face, unreadable image, unusable expectation file
    kPassed,
    kCompared,  // no expectation file: compared with the baseline model only
};

const char* VerdictText(Verdict verdict);

// Milliseconds spent per stage of one case.
struct StageTimes {
    double read = 0;      // reading the image
    double network = 0;   // the network
    double check = 0;     // parsing the expectation, the check, writing the log
    double picture = 0;   // drawing and writing the annotated picture
};

// A case as the previous run reported it.
struct PreviousCase {
    bool present = false;     // the previous run was given and had the case
    std::string verdict;      // "passed", "failed", "error" or "compared"
    std::vector<float> pose;  // its pose; empty without a face
};

struct CaseResult {
    CaseFiles files;
    Verdict verdict = Verdict::kError;
    std::string reason;                  // why the case could not run
    std::vector<float> landmarks;        // 68 (x, y) pairs in image pixels; empty without a face
    std::vector<float> pose;             // yaw, pitch, roll in degrees; empty without a face
    std::vector<float> expected_pose;    // the expectation's first item when it has three values
    std::vector<float> baseline_pose;    // the baseline model's pose; empty without one or without a face
    bool changed = false;                // the models differ by more than the case allows
    PreviousCase previous;               // the case in the run compared with (--previous)
    zor::test::NumericCheck check;       // every value compared
    std::string log_file;                // the validation log, relative to the report folder; empty: none
    std::string picture_file;            // annotated.png, relative to the report folder; empty: none
    StageTimes stages;
    double milliseconds = 0;             // the whole case
};

// How many cases passed, failed and could not run: the one count that the
// summary line, junit.xml, report.html and the progress line all show.
struct Tally {
    size_t passed = 0;
    size_t failed = 0;
    size_t could_not_run = 0;
    size_t compared = 0;  // without an expectation, against the baseline model only

    void Add(Verdict verdict);
    size_t Total() const { return passed + failed + could_not_run + compared; }
    size_t NotPassed() const { return failed + could_not_run; }
};

Tally CountVerdicts(const std::vector<CaseResult>& results);

}  // namespace zor::test::suite
