// record_facepose: runs the face-pose network on an image and records its pose
// as an expectation file for test_facepose, or does so for every case of a
// case folder (one sub-folder per case, holding an image and, once recorded,
// its expectation file), or, with --update, accepts a changed pose into the
// files whose expectation it no longer passes.
//
// Exit status: 0 when every expectation file was written (in a case folder:
// recorded, kept or still passing; also after -h); 1 when one could not be;
// 2 when the network gave no pose for the one image of -p; 3 when standard
// output could not be written; 255 on bad usage.

#include <exception>
#include <iostream>

#include "record_request.h"
#include "record_run.h"
#include "shared/exit_status.h"
#include "shared/output_check.h"

int main(int argc, char** argv)
{
    using zor::test::recorder::ParsedCommand;
    zor::test::shared::OpenStandardDescriptors();
    zor::test::shared::CheckOutputAtExit("record_facepose");
    const ParsedCommand parsed = zor::test::recorder::ParseCommand(argc, argv);
    if (parsed.kind == ParsedCommand::Kind::kHelp) {
        std::cout << zor::test::recorder::UsageText() << std::flush;
        return zor::test::shared::kExitDone;
    }
    if (parsed.kind == ParsedCommand::Kind::kBadUsage) {
        if (parsed.error.empty()) {
            std::cout << zor::test::recorder::UsageText() << std::flush;
        } else {
            std::cerr << "record_facepose: " << parsed.error << std::endl;
        }
        return zor::test::shared::kExitUsage;
    }
    try {
        return parsed.request.cases_dir.empty() ? zor::test::recorder::RecordSingle(parsed.request)
                                                : zor::test::recorder::RecordFolder(parsed.request);
    } catch (const std::exception& e) {
        std::cerr << "record_facepose: the run stopped: " << e.what() << std::endl;
        return 1;
    }
}
