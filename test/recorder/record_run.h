#pragma once

// The two ways of recording: one image into one file, or a case folder.

#include "record_request.h"

namespace zor::test::recorder {

// One image into one file. Status 0 when it was written, 1 when it was not
// (kept, or a file that cannot be written), 2 when the network gave no pose;
// a missing model file or image ends the process with status 1.
int RecordSingle(const RecordRequest& request);

// Every case of a case folder (those whose name holds --filter): each
// sub-folder's one image into its one .nkvalid file (or, when it has none
// yet, one named after the image); with --update, the cases whose
// expectation no longer passes. Goes on past a case that cannot be recorded
// and ends with the tally. Status 1 when a case could not be recorded (or
// updated), when the folder cannot be read or the model file is missing;
// else 0.
int RecordFolder(const RecordRequest& request);

}  // namespace zor::test::recorder
