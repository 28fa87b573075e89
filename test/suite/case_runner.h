#pragma once

// Runs the cases of one worker: its own network, loaded once.

#include <string>

#include "case_result.h"
#include "network/facepose.h"

namespace facepose_suite {

class CaseRunner {
public:
    explicit CaseRunner(const std::string& model_path);

    // Runs one case as test_facepose would with -v and writes its validation
    // log and annotated picture into `report_dir`/<case name>/.
    CaseResult Run(const CaseFiles& files, const std::string& report_dir);

private:
    zor::vision::Facepose m_network;
};

}  // namespace facepose_suite
