#pragma once

// Runs the cases of one worker: its own network, loaded once.

#include <string>

#include "case_result.h"
#include "network/facepose.h"

namespace zor::test::suite {

// The face-pose network, and whether its model file loaded.
class SuiteNetwork : public zor::vision::Facepose {
public:
    explicit SuiteNetwork(const std::string& model_path) : Facepose(model_path, nullptr) {}

    bool HoldsModel() const { return m_ready && m_sharedObject != nullptr; }
};

class CaseRunner {
public:
    // Loads the model; throws when there is no memory for it.
    explicit CaseRunner(const std::string& model_path);

    // False when the model file did not load (the library said why on
    // standard error): every case would find no face.
    bool HoldsModel() const { return m_network.HoldsModel(); }

    // Runs one case as test_facepose would with -v and writes its validation
    // log and annotated picture into `folder`/<case name>/. Never throws: a
    // stage that throws (no memory included) makes the case an error whose
    // reason names the stage, never another verdict.
    CaseResult Run(const CaseFiles& files, const std::string& folder);

private:
    SuiteNetwork m_network;
};

}  // namespace zor::test::suite
