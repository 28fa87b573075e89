#include "record_case.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <vector>

#include "expectation_files.h"
#include "expectation_update.h"
#include "labelled_errors.h"
#include "recording_policy.h"
#include "safe_file/atomic_file.h"
#include "shared/pose_run.h"
#include "validator/result_validator.h"

namespace zor::test::recorder {
namespace {

namespace fs = std::filesystem;

void Say(const CaseVoice& voice, const std::string& text)
{
    std::cerr << voice.who << ": " << text << std::endl;
}

zor::test::ValidatorOutput ReadBackOutput(const RecordRequest& request)
{
    return request.verbose ? zor::test::ValidatorOutput::kPrinted : zor::test::ValidatorOutput::kQuiet;
}

// The pose the network finds, or nothing after saying why not. In a case
// folder the library's own lines are labelled with the case.
std::vector<float> FindPose(const std::string& model_path, const std::string& pic_path, const CaseVoice& voice)
{
    std::unique_ptr<zor::test::shared::PoseRun> run;
    {
        std::optional<LabelledErrors> labels;
        if (voice.inFolder) {
            labels.emplace(voice.who + ": ");
        }
        run = std::make_unique<zor::test::shared::PoseRun>(model_path, pic_path);
    }
    return run->Pose(voice.who.c_str());
}

// Writes `text` to `output_path` whole, after the validator read it back and
// found that `pose` passes it; replaces an existing file only when `replace`.
Outcome WriteChecked(const RecordRequest& request, const std::string& output_path, const std::string& text,
                     const std::vector<float>& pose, bool replace, const CaseVoice& voice)
{
    zor::test::safe_file::AtomicFile file(output_path, ".nkvalid");
    if (!file.Open()) {
        Say(voice, "cannot write " + output_path + ": " + std::strerror(errno));
        return Outcome::kNotWritten;
    }
    file.Stream() << text;
    if (!file.Close()) {
        Say(voice, "cannot write " + output_path);
        return Outcome::kNotWritten;
    }
    zor::test::ResultValidator validator(file.TemporaryPath(), ReadBackOutput(request));
    if (!validator.Check(std::vector<std::vector<float>>{pose})) {
        Say(voice, output_path + " would not read back to the pose it records; not written.");
        return Outcome::kNotWritten;
    }
    if (!file.Commit(replace)) {
        if (errno == EEXIST && !replace) {
            return Outcome::kKept;
        }
        Say(voice, "cannot write " + output_path + ": " + std::strerror(errno));
        return Outcome::kNotWritten;
    }
    return Outcome::kWritten;
}

}  // namespace

Outcome RecordCase(const RecordRequest& request, const std::string& model_path, const std::string& pic_path,
                   const std::string& output_path, const CaseVoice& voice)
{
    const std::string refusal = OutputRefusal(output_path, pic_path);
    if (!refusal.empty()) {
        Say(voice, output_path + ": " + refusal + "; not written.");
        return Outcome::kNotWritten;
    }
    std::error_code error;
    const fs::file_status existing = fs::symlink_status(output_path, error);
    if (fs::exists(existing) && !fs::is_regular_file(existing)) {
        Say(voice, output_path + " is not a regular file; it is left as it is.");
        return Outcome::kNotWritten;
    }
    if (fs::exists(existing) && !request.force) {
        return Outcome::kKept;
    }
    const std::vector<float> pose = FindPose(model_path, pic_path, voice);
    if (pose.empty()) {
        return Outcome::kCouldNotRun;
    }
    const std::string threshold = RecordedThreshold(request, pose);
    const Outcome outcome = WriteChecked(
        request, output_path, ExpectationText(request, model_path, pic_path, pose, threshold, UtcNow()), pose,
        request.force, voice);
    if (outcome == Outcome::kWritten) {
        std::cout << "Recorded " << output_path << ".\n" << AllowanceLines(request, threshold, pose) << std::flush;
        const std::string warning = AllowanceWarning(request, threshold, pose, output_path);
        if (!warning.empty()) {
            Say(voice, warning);
        }
    }
    return outcome;
}

Outcome UpdateCase(const RecordRequest& request, const std::string& model_path,
                   const zor::test::shared::CaseFiles& one, const CaseVoice& voice)
{
    if (one.expectation.empty()) {
        Say(voice, "no expectation file to update; record it with record_facepose -c.");
        return Outcome::kNotRecordedYet;
    }
    const std::vector<float> pose = FindPose(model_path, one.image, voice);
    if (pose.empty()) {
        Say(voice, "no pose; " + one.expectation + " is left as it was.");
        return Outcome::kCouldNotRun;
    }
    const std::optional<std::string> text = ReadRegularFile(one.expectation);
    zor::test::ResultValidator current(one.expectation, ReadBackOutput(request));
    if (!text || !current.Loaded() || current.NumericData().empty()) {
        Say(voice, one.expectation + " cannot be read as a numeric expectation file; it is left as it was.");
        return Outcome::kNotWritten;
    }
    if (current.Check(std::vector<std::vector<float>>{pose}) && !request.all) {
        return Outcome::kStillPasses;
    }
    const std::optional<std::string> updated = WithValuesReplaced(*text, pose);
    if (!updated) {
        Say(voice, one.expectation + " has no data line; it is left as it was.");
        return Outcome::kNotWritten;
    }
    if (IsReadOnly(one.expectation)) {
        Say(voice, one.expectation + " is read-only; it is left as it was.");
        return Outcome::kNotWritten;
    }
    const Outcome outcome = WriteChecked(request, one.expectation, *updated, pose, true, voice);
    if (outcome == Outcome::kWritten) {
        std::cout << "Updated " << one.expectation << ": " << ChangeText(current.NumericData()[0].values, pose)
                  << std::endl;
    }
    return outcome;
}

}  // namespace zor::test::recorder
