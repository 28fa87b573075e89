#pragma once

// Runs the cases of one worker: its own network, loaded once.

#include <memory>
#include <string>

#include "case_result.h"
#include "network/facepose.h"

namespace zor::test::suite {

class CaseRunner {
public:
    // Loads the model, and the baseline model unless `baseline_path` is
    // empty; throws when there is no memory for them.
    CaseRunner(const std::string& model_path, const std::string& baseline_path);

    // False when the model file did not load (the library said why on
    // standard error): every case would find no face.
    bool HoldsModel() const;
    // False when there is a baseline model and it did not load.
    bool HoldsBaseline() const;

    // Runs one case on the path test_facepose takes with -v and writes its
    // validation log and annotated picture into `folder`/<case name>/; with a
    // baseline model, the same decoded image goes through it too, and a case
    // without an expectation file is only compared with it. Never throws: a
    // stage that throws (no memory included) makes the case an error whose
    // reason names the stage, never another verdict.
    CaseResult Run(const CaseFiles& files, const std::string& folder);

private:
    zor::vision::Facepose m_network;
    std::unique_ptr<zor::vision::Facepose> m_baseline;  // null without a baseline model
};

}  // namespace zor::test::suite
