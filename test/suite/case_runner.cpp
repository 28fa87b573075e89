#include "case_runner.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <utility>

#include <opencv2/imgcodecs.hpp>

#include "annotation.h"
#include "pose_change.h"
#include "report_folder.h"
#include "shared/log_name.h"
#include "shared/model_loaded.h"
#include "shared/pose_judge.h"
#include "shared/pose_run.h"
#include "safe_file/file_writing.h"

namespace zor::test::suite {
namespace {

using Clock = std::chrono::steady_clock;
using zor::test::safe_file::MakeFolder;
using zor::test::safe_file::RemoveOldFile;
using zor::test::safe_file::WriteWhole;

constexpr int kPictureSide = 256;  // longest side of an annotated picture, at most

// `text` without the line end OpenCV puts at the end of its exceptions' texts.
std::string TrimmedEnd(std::string what)
{
    while (!what.empty() && (what.back() == '\n' || what.back() == ' ')) {
        what.pop_back();
    }
    return what;
}

std::string What(const std::exception& e)
{
    return TrimmedEnd(e.what());
}

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The annotated picture as PNG, compressed lightly: the fastest setting that
// still halves the file. False when it cannot be written; throws what OpenCV
// throws.
bool WritePicture(const cv::Mat& picture, const std::string& path)
{
    std::vector<uchar> png;
    return cv::imencode(".png", picture, png,
                        {cv::IMWRITE_PNG_COMPRESSION, 1, cv::IMWRITE_PNG_STRATEGY, cv::IMWRITE_PNG_STRATEGY_RLE}) &&
           WriteWhole(path, std::string(png.begin(), png.end()));
}

// The verdict of a case whose pose was checked: the check's, or an error
// when the expectation file could not be used.
void TakeJudgement(zor::test::shared::Judgement&& judgement, CaseResult& result)
{
    using zor::test::CheckRefusal;
    result.check = std::move(judgement.check);
    result.expected_pose = std::move(judgement.expected_pose);
    switch (result.check.refusal) {
    case CheckRefusal::kNone:
        result.verdict = result.check.passed ? Verdict::kPassed : Verdict::kFailed;
        break;
    case CheckRefusal::kNotLoaded:
        result.verdict = Verdict::kError;
        result.reason = "unusable expectation file: " + judgement.file_problem;
        break;
    case CheckRefusal::kNotNumeric:
    case CheckRefusal::kTooFewResults:
        result.verdict = Verdict::kError;
        result.reason = std::string("unusable expectation file: ") + zor::test::RefusalText(result.check.refusal);
        break;
    }
}

}  // namespace

CaseRunner::CaseRunner(const std::string& model_path, const std::string& baseline_path)
    : m_network(model_path, nullptr),
      m_baseline(baseline_path.empty() ? nullptr : std::make_unique<zor::vision::Facepose>(baseline_path, nullptr))
{
}

bool CaseRunner::HoldsModel() const
{
    return zor::test::shared::ModelLoaded(m_network);
}

bool CaseRunner::HoldsBaseline() const
{
    return m_baseline == nullptr || zor::test::shared::ModelLoaded(*m_baseline);
}

CaseResult CaseRunner::Run(const CaseFiles& files, const std::string& folder)
{
    const Clock::time_point start = Clock::now();
    CaseResult result;
    result.files = files;
    Clock::time_point stage = start;
    // Ends the case as an error: the reason, and the time of the stage that
    // stopped it.
    const auto stop = [&](double& stage_time, const std::string& reason) {
        stage_time = MillisecondsSince(stage);
        result.verdict = Verdict::kError;
        result.reason = reason;
        result.milliseconds = MillisecondsSince(start);
        return result;
    };
    try {
        const std::string case_dir = folder + "/" + files.name;
        if (!MakeFolder(case_dir)) {
            return stop(result.stages.read, "cannot make the folder " + case_dir);
        }
        const std::string log_name = zor::test::shared::LogNameFor(files.expectation);
        const std::string log_path = case_dir + "/" + log_name;
        RemoveOldFile(log_path);
        RemoveOldFile(case_dir + "/" + kPictureName);

        cv::Mat image;
        try {
            image = zor::test::shared::ReadImage(files.image);
        } catch (const std::exception& e) {
            return stop(result.stages.read, std::string("cannot read the image: ") + What(e));
        }
        result.stages.read = MillisecondsSince(stage);

        stage = Clock::now();
        const zor::test::shared::Detection detection = zor::test::shared::DetectPose(m_network, image);
        zor::test::shared::Detection baseline;
        if (m_baseline != nullptr && !detection.failure) {
            baseline = zor::test::shared::DetectPose(*m_baseline, image);
        }
        const zor::test::shared::Detection* const detections[] = {&detection, &baseline};
        for (const zor::test::shared::Detection* failed : detections) {
            if (failed->failure) {
                std::ostringstream why;
                zor::test::shared::WriteMissingPose(why, *failed);
                return stop(result.stages.network, TrimmedEnd(why.str()));
            }
        }
        if (m_baseline != nullptr) {
            result.baseline_pose = baseline.Pose();
        }
        result.pose = detection.Pose();
        result.stages.network = MillisecondsSince(stage);

        stage = Clock::now();
        if (result.pose.empty()) {
            // test_facepose stops here, before validating: no log either.
            std::ostringstream why;
            zor::test::shared::WriteMissingPose(why, detection);
            result.reason = image.empty() ? "the image does not decode" : "no face: " + why.str();
        } else if (files.expectation.empty()) {
            const std::vector<float>& first = detection.results[0];
            result.landmarks.assign(first.begin(), first.begin() + zor::test::shared::kPoseIndex);
            result.verdict = Verdict::kCompared;
        } else {
            try {
                const std::vector<float>& first = detection.results[0];
                result.landmarks.assign(first.begin(), first.begin() + zor::test::shared::kPoseIndex);
                TakeJudgement(zor::test::shared::JudgePose(files.expectation, case_dir, result.pose, nullptr),
                              result);
            } catch (const std::exception& e) {
                result.check = {};
                result.expected_pose.clear();
                return stop(result.stages.check, std::string("the check failed: ") + What(e));
            }
            if (!std::filesystem::is_regular_file(log_path)) {
                return stop(result.stages.check, "cannot write the validation log " + log_path);
            }
            result.log_file = files.name + "/" + log_name;
        }
        for (const AngleChange& change : BaselineChanges(result)) {
            result.changed = result.changed || change.past;
        }
        result.stages.check = MillisecondsSince(stage);

        stage = Clock::now();
        if (!image.empty()) {
            const std::string picture_path = case_dir + "/" + kPictureName;
            try {
                if (!WritePicture(Annotate(image, result.landmarks, result.pose, result.expected_pose, kPictureSide),
                                  picture_path)) {
                    return stop(result.stages.picture, "cannot write the picture " + picture_path);
                }
            } catch (const std::exception& e) {
                return stop(result.stages.picture, std::string("cannot draw the picture: ") + What(e));
            }
            result.picture_file = files.name + "/" + kPictureName;
        }
        result.stages.picture = MillisecondsSince(stage);
    } catch (const std::exception& e) {
        return stop(result.stages.picture, std::string("unexpected failure: ") + What(e));
    }
    result.milliseconds = MillisecondsSince(start);
    return result;
}

}  // namespace zor::test::suite
