#include "case_runner.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

#include <opencv2/imgcodecs.hpp>

#include "annotation.h"
#include "pose_change.h"
#include "report_folder.h"
#include "shared/log_name.h"
#include "shared/pose_run.h"
#include "safe_file/file_writing.h"

namespace zor::test::suite {
namespace {

using Clock = std::chrono::steady_clock;
using zor::test::safe_file::MakeFolder;
using zor::test::safe_file::RemoveOldFile;
using zor::test::safe_file::WriteWhole;

constexpr int kPictureSide = 256;  // longest side of an annotated picture, at most

// An exception's text without the line end OpenCV puts at its end.
std::string What(const std::exception& e)
{
    std::string what = e.what();
    while (!what.empty() && (what.back() == '\n' || what.back() == ' ')) {
        what.pop_back();
    }
    return what;
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

// Checks the pose as test_facepose's validation does; the validator writes
// the log when it goes out of scope here.
void Validate(const CaseFiles& files, const std::string& log_path, CaseResult& result)
{
    std::string expectation_path = files.expectation;
    zor::test::ResultValidator validator(expectation_path);
    validator.SetLogType(zor::test::VLOG_FULL);
    validator.SetOutputlogName(log_path);
    const auto& messages = validator.SystemMessages();
    const auto file_message = messages.find(zor::test::ERR_FILE);
    const std::string parser_message = file_message != messages.end() ? file_message->second : "";
    using zor::test::CheckRefusal;

    result.check = validator.CheckNumeric({result.pose});
    const auto& expected = validator.NumericData();
    if (validator.Loaded() && !expected.empty() && expected[0].values.size() == 3) {
        result.expected_pose = expected[0].values;
    }
    switch (result.check.refusal) {
    case CheckRefusal::kNone:
        result.verdict = result.check.passed ? Verdict::kPassed : Verdict::kFailed;
        break;
    case CheckRefusal::kNotLoaded:
        result.verdict = Verdict::kError;
        result.reason = "unusable expectation file: " + parser_message;
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
    : m_network(model_path),
      m_baseline(baseline_path.empty() ? nullptr : std::make_unique<SuiteNetwork>(baseline_path))
{
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
        std::vector<std::vector<float>> results;
        try {
            m_network.Detect({image}, results);
            result.pose = zor::test::shared::PoseValues(results);
            if (m_baseline != nullptr) {
                std::vector<std::vector<float>> baseline;
                m_baseline->Detect({image}, baseline);
                result.baseline_pose = zor::test::shared::PoseValues(baseline);
            }
        } catch (const std::exception& e) {
            return stop(result.stages.network, std::string("the network failed: ") + What(e));
        }
        result.stages.network = MillisecondsSince(stage);

        stage = Clock::now();
        if (result.pose.empty()) {
            // test_facepose stops here, before validating: no log either.
            const size_t got = results.empty() ? 0 : results[0].size();
            result.reason = image.empty() ? "the image does not decode"
                                          : "no face: the network returned " + std::to_string(got) +
                                                " values; " + std::to_string(zor::test::shared::kResultLength) +
                                                " are needed";
        } else if (files.expectation.empty()) {
            result.landmarks.assign(results[0].begin(), results[0].begin() + zor::test::shared::kPoseIndex);
            result.verdict = Verdict::kCompared;
        } else {
            try {
                result.landmarks.assign(results[0].begin(), results[0].begin() + zor::test::shared::kPoseIndex);
                Validate(files, log_path, result);
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
