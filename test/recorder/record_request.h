#pragma once

// The command line of record_facepose, read into a request.

#include <string>

namespace zor::test::recorder {

// What to record, and how.
struct RecordRequest {
    std::string model_dir;
    std::string pic_path;     // with output_path: one image into one file
    std::string output_path;
    std::string cases_dir;    // instead: every case of a case folder
    std::string filter;       // with cases_dir: only the cases whose name holds it
    std::string condition = "<";
    std::string threshold;    // empty: the default (RecordedThreshold)
    std::string tolerance;    // empty: the default (RecordedTolerance)
    bool portable = false;    // no "Tolerance" line: one relative threshold
    bool force = false;       // replace expectation files that exist
    bool update = false;      // re-record the cases whose expectation no longer passes
    bool all = false;         // with update: every case, passing or not
    bool verbose = false;     // print the validator's summary of each file read back
};

// How the command line reads.
struct ParsedCommand {
    enum class Kind {
        kRecord,    // `request` holds what to do
        kHelp,      // -h: print the usage text, status 0
        kBadUsage,  // `error` says why, or, when empty, the usage text does
    };
    Kind kind = Kind::kBadUsage;
    RecordRequest request;
    std::string error;
};

ParsedCommand ParseCommand(int argc, char** argv);

// The usage text, ending with a newline.
std::string UsageText();

}  // namespace zor::test::recorder
