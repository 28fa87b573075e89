#include "case_runner.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

#include <opencv2/imgcodecs.hpp>

#include "annotation.h"
#include "shared/log_name.h"
#include "shared/pose_run.h"
#include "safe_file/file_writing.h"

namespace facepose_suite {
namespace {

using Clock = std::chrono::steady_clock;
using zor::safe_file::MakeFolder;
using zor::safe_file::RemoveOldFile;
using zor::safe_file::WriteWhole;

constexpr char kPictureName[] = "annotated.png";
constexpr int kPictureSide = 256;  // longest side of an annotated picture, at most

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The annotated picture as PNG, compressed lightly: the fastest setting that
// still halves the file.
bool WritePicture(const cv::Mat& picture, const std::string& path)
{
    std::vector<uchar> png;
    try {
        if (!cv::imencode(".png", picture, png,
                          {cv::IMWRITE_PNG_COMPRESSION, 1, cv::IMWRITE_PNG_STRATEGY, cv::IMWRITE_PNG_STRATEGY_RLE})) {
            return false;
        }
    } catch (const cv::Exception&) {
        return false;
    }
    return WriteWhole(path, std::string(png.begin(), png.end()));
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
        result.verdict = Verdict::kError;
        result.reason = "unusable expectation file: Missing validation file or rvType not match.";
        break;
    case CheckRefusal::kTooFewResults:
        result.verdict = Verdict::kError;
        result.reason = "unusable expectation file: Size not match! Output result must larger than \"Nums to Check\"";
        break;
    }
}

}  // namespace

const char* VerdictText(Verdict verdict)
{
    switch (verdict) {
    case Verdict::kPassed: return "passed";
    case Verdict::kFailed: return "failed";
    default: return "error";
    }
}

CaseRunner::CaseRunner(const std::string& model_path) : m_network(model_path, nullptr) {}

CaseResult CaseRunner::Run(const CaseFiles& files, const std::string& report_dir)
{
    const Clock::time_point start = Clock::now();
    CaseResult result;
    result.files = files;
    const std::string case_dir = report_dir + "/" + files.name;
    if (!MakeFolder(case_dir)) {
        result.reason = "cannot make the folder " + case_dir;
        result.milliseconds = MillisecondsSince(start);
        return result;
    }
    const std::string log_name = facepose::LogNameFor(files.expectation);
    RemoveOldFile(case_dir + "/" + log_name);
    RemoveOldFile(case_dir + "/" + kPictureName);

    Clock::time_point stage = Clock::now();
    const cv::Mat image = facepose::ReadImage(files.image);
    result.stages.read = MillisecondsSince(stage);

    stage = Clock::now();
    std::vector<std::vector<float>> results;
    m_network.Detect({image}, results);
    result.stages.network = MillisecondsSince(stage);
    result.pose = facepose::PoseValues(results);

    stage = Clock::now();
    if (result.pose.empty()) {
        // test_facepose stops here, before validating: no log either.
        const size_t got = results.empty() ? 0 : results[0].size();
        result.reason = image.empty() ? "the image does not decode"
                                      : "no face: the network returned " + std::to_string(got) + " values; " +
                                            std::to_string(facepose::kResultLength) + " are needed";
    } else {
        result.landmarks.assign(results[0].begin(), results[0].begin() + facepose::kPoseIndex);
        Validate(files, case_dir + "/" + log_name, result);
        if (std::filesystem::is_regular_file(case_dir + "/" + log_name)) {
            result.log_file = files.name + "/" + log_name;
        }
    }
    result.stages.check = MillisecondsSince(stage);

    stage = Clock::now();
    if (!image.empty() &&
        WritePicture(Annotate(image, result.landmarks, result.pose, result.expected_pose, kPictureSide),
                     case_dir + "/" + kPictureName)) {
        result.picture_file = files.name + "/" + kPictureName;
    }
    result.stages.picture = MillisecondsSince(stage);
    result.milliseconds = MillisecondsSince(start);
    return result;
}

}  // namespace facepose_suite
