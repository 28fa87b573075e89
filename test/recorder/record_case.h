#pragma once

// Recording one case: its image through the network, its pose into its
// expectation file, written whole and read back by the validator first.

#include <string>

#include "record_request.h"
#include "record_tally.h"
#include "shared/case_folder.h"

namespace zor::test::recorder {

// Who a message is about: "record_facepose", and in a case folder the
// case's path after it ("record_facepose: cases/a"), which then also
// starts the lines the network library writes about the case.
struct CaseVoice {
    std::string who;
    bool inFolder = false;
};

// Records the pose that `model_path` finds in `pic_path` into `output_path`:
// kWritten, kKept (the file exists and no -f, also when it appeared while
// the network ran), kCouldNotRun (no pose) or kNotWritten (a name the
// validator refuses, the image itself, not a regular file, a file that
// would not read back, a write that failed). Every message but "kept" is
// printed here.
Outcome RecordCase(const RecordRequest& request, const std::string& model_path, const std::string& pic_path,
                   const std::string& output_path, const CaseVoice& voice);

// Records a case again when its pose no longer passes its expectation file
// (or always, with --all): only the values of the file's data line change,
// every other byte stays. kWritten, kStillPasses (untouched), kCouldNotRun,
// kNotWritten (a read-only file, one the validator cannot use, a write that
// failed: the file is left as it was) or kNotRecordedYet.
Outcome UpdateCase(const RecordRequest& request, const std::string& model_path,
                   const zor::test::shared::CaseFiles& one, const CaseVoice& voice);

}  // namespace zor::test::recorder
