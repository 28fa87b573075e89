#include "driver_run.h"

#include <cstdio>
#include <vector>

#include "shared/exit_status.h"
#include "shared/pose_judge.h"
#include "shared/pose_run.h"

namespace zor::test::driver {
namespace {

constexpr char kProgram[] = "test_facepose";

// The verdict record names test_facepose.cpp and line 118 as its source,
// wherever the statement stands: scripts that read the record match it.
constexpr zor::test::shared::RecordSource kVerdictRecord = {"test_facepose.cpp", 118};

}  // namespace

int RunDriver(const Arguments& arg_val)
{
    const std::string model_path = zor::test::shared::ModelFilePath(arg_val.model_dir);
    zor::test::shared::RequireInputFiles(model_path, arg_val.pic_path);

    zor::test::shared::PoseRun run(model_path, arg_val.pic_path);
    if (run.FirstResultLength() >= 0) {
        std::printf("Data length %d\n", static_cast<int>(run.FirstResultLength()));
    }
    const std::vector<float> pose_row = run.Pose(kProgram);
    if (pose_row.empty()) {
        return zor::test::shared::kExitShortResult;
    }
    // Single-precision products, widened to double only for printing.
    std::printf("value: result %f, %f, %f\n", static_cast<double>(pose_row[0]), static_cast<double>(pose_row[1]),
                static_cast<double>(pose_row[2]));

    if (arg_val.has_valid) {
        zor::test::shared::JudgePose(arg_val.valid_path, "", pose_row, &kVerdictRecord);
    }
    return zor::test::shared::kExitDone;
}

}  // namespace zor::test::driver
