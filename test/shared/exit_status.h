#pragma once

// The exit statuses of test_facepose, facepose_suite and record_facepose.

namespace zor::test::shared {

// test_facepose: a complete run, whatever the verdict; facepose_suite: every
// case passed; record_facepose: every file written.
constexpr int kExitDone = 0;
// test_facepose and record_facepose: the model file or the image is missing.
constexpr int kExitMissingInput = 1;
// facepose_suite: a case failed or could not run, or the run could not start.
constexpr int kExitFailed = 1;
// The network returned fewer values than the pose needs, or failed.
constexpr int kExitShortResult = 2;
// Standard output could not be written.
constexpr int kExitOutputLost = 3;
// Bad usage (exit(-1) as the parent sees it).
constexpr int kExitUsage = 255;

}  // namespace zor::test::shared
