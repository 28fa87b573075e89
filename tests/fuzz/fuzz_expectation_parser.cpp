// Fuzz target: the expectation-file parser as test_facepose reaches it. The
// input is the file's content; it is written to a *.nkvalid file, a
// validator is constructed from that path (which parses the file and prints
// the summary) and released again without a log.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_support.h"
#include "validator/result_validator.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::SilenceStdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string path = fuzz::ScratchPath("case.nkvalid");
    fuzz::WriteFile(path, data, size);

    zor::test::ResultValidator validator(path);
    // What the parser promises whatever the file holds.
    const bool hasFileMessage = validator.SystemMessages().count(zor::test::ERR_FILE) == 1;
    if (validator.SystemMessages().size() > 1 || (!validator.Loaded() && !hasFileMessage)) {
        std::abort();
    }
    if (validator.Loaded()) {
        const uint64_t entries =
            std::max(validator.NumericData().size(), validator.StringData().size());
        if ((validator.Type() != 1 && validator.Type() != 2) || validator.NumsToCheck() > entries ||
            (validator.Type() == 1 && !validator.NumericData().empty()) ||
            (validator.Type() == 2 && !validator.StringData().empty()) ||
            (validator.HasTolerance() && !(validator.Tolerance() >= 0.0f && std::isfinite(validator.Tolerance())))) {
            std::abort();
        }
    }
    return 0;
}
