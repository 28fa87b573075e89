// The recorder's policy through its library: the command line, the
// threshold and tolerance it chooses, what it prints of them, the files it
// refuses to write, the values it replaces on --update and its tally.

#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "expectation_files.h"
#include "expectation_update.h"
#include "labelled_errors.h"
#include "record_request.h"
#include "record_tally.h"
#include "recording_policy.h"
#include "scratch_dir.h"
#include "validator/result_validator.h"

namespace zor::test::recorder {
namespace {

const std::vector<float> kFixedPose = {45.0f, -22.5f, 11.25f};
const std::vector<float> kAstronautPose = {-0.450382f, -7.242918f, 2.848939f};

ParsedCommand Parse(std::vector<std::string> words)
{
    words.insert(words.begin(), "record_facepose");
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    return ParseCommand(static_cast<int>(words.size()), argv.data());
}

TEST(RecordCommand, ReadsWhatCanRunAndRefusesTheRest)
{
    using Kind = ParsedCommand::Kind;
    struct Row {
        std::vector<std::string> words;
        Kind kind;
        const char* error;  // a part of the reason given; "" for the usage text
    };
    const Row rows[] = {
        {{"-m", "x", "-p", "y", "-o", "z"}, Kind::kRecord, ""},
        {{"-m", "x", "-c", "w", "--update", "--all", "--filter", "a", "--verbose"}, Kind::kRecord, ""},
        {{"-m", "x", "-c", "w", "-k", ">", "-t", "0", "--tolerance", "0"}, Kind::kRecord, ""},
        {{"-m", "x", "-p", "y", "-o", "z", "-h"}, Kind::kHelp, ""},
        {{"-m", "x"}, Kind::kBadUsage, ""},
        {{"-m", "x", "-p", "y"}, Kind::kBadUsage, ""},
        {{"-p", "y", "-o", "z"}, Kind::kBadUsage, ""},
        {{"-m", "x", "-p", "y", "-o", "z", "extra"}, Kind::kBadUsage, ""},
        {{"-m", "x", "-p", "y", "-o", "z", "-c", "w"}, Kind::kBadUsage, ""},
        {{"-m", "x", "-p", "y", "-o", "z", "-k", ">="}, Kind::kBadUsage, ""},
        {{"-m", "x", "-p", "y", "-o", "z", "-t", "abc"}, Kind::kBadUsage, ""},
        {{"-m", "x", "-p", "y", "-o", "z", "-t", "nan"}, Kind::kBadUsage, ""},
        {{"-m", "x", "-p", "y", "-o", "z", "-t", "-1"}, Kind::kBadUsage, ""},
        {{"-m", "x", "-p", "y", "-o", "z", "--tolerance", "inf"}, Kind::kBadUsage, ""},
        {{"-m", "x", "-p", "y", "-o", "z", "--tolerance", "1x"}, Kind::kBadUsage, ""},
        {{"-m", "x", "-p", "y", "-o", "z", "--tolerance"}, Kind::kBadUsage, ""},
        {{"-m", "x", "-p", "y", "-o", "z", "--update"}, Kind::kBadUsage, ""},
        {{"-m", "x", "-p", "y", "-o", "z", "--filter", "a"}, Kind::kBadUsage, ""},
        {{"-m", "x", "-c", "w", "--all"}, Kind::kBadUsage, "--all goes with --update"},
        {{"-m", "x", "-c", "w", "--update", "-f"}, Kind::kBadUsage, "keeps each file's own"},
        {{"-m", "x", "-c", "w", "--update", "--tolerance", "2"}, Kind::kBadUsage, "keeps each file's own"},
        {{"-m", "x", "-p", "y", "-o", "z", "-k", ">"}, Kind::kBadUsage, "give -t 0 --tolerance 0."},
    };
    std::size_t run = 0;
    for (const Row& row : rows) {
        std::string line;
        for (const std::string& word : row.words) {
            line += word + " ";
        }
        SCOPED_TRACE(line);
        const ParsedCommand parsed = Parse(row.words);
        EXPECT_EQ(parsed.kind, row.kind);
        EXPECT_NE(parsed.error.find(row.error), std::string::npos) << parsed.error;
        EXPECT_EQ(parsed.error.empty(), *row.error == '\0') << parsed.error;
        ++run;
    }
    EXPECT_EQ(run, 22u);
    const ParsedCommand parsed = Parse({"--model=m", "-pimg", "-o", "out.nkvalid", "-k=", "-t", "1.5", "--portable"});
    EXPECT_EQ(parsed.request.model_dir, "m");
    EXPECT_EQ(parsed.request.pic_path, "img");
    EXPECT_EQ(parsed.request.condition, "=");
    EXPECT_EQ(parsed.request.threshold, "1.5");
    EXPECT_TRUE(parsed.request.portable);
}

// Under ">" the recorded pose passes its own file only when the threshold
// and the tolerance it writes are both 0.
TEST(RecordCommand, GreaterThanNeedsZeroAllowances)
{
    struct Row {
        const char* threshold;
        const char* tolerance;
        bool portable;
        bool refused;
    };
    const Row rows[] = {
        {"1", "", false, true},      {"0", "", false, true},     {"0", "0.1", false, true},
        {"1", "", true, true},       {"0", "0", false, false},   {"0", "", true, false},
        {"", "0", false, true},
    };
    std::size_t run = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string("-t '") + row.threshold + "' --tolerance '" + row.tolerance + "'" +
                     (row.portable ? " --portable" : ""));
        RecordRequest request;
        request.condition = ">";
        request.threshold = row.threshold;
        request.tolerance = row.tolerance;
        request.portable = row.portable;
        EXPECT_EQ(!ConditionRefusal(request).empty(), row.refused);
        request.condition = "<";
        EXPECT_EQ(ConditionRefusal(request), "");
        ++run;
    }
    EXPECT_EQ(run, 7u);
}

TEST(RecordingPolicy, ThresholdLetsTheValueNearestZeroMoveByTheTolerance)
{
    struct Row {
        const char* threshold;
        const char* tolerance;
        bool portable;
        std::vector<float> pose;
        const char* written;
    };
    const Row rows[] = {
        {"", "", false, kFixedPose, "0"},
        {"2.5", "", true, kFixedPose, "2.5"},
        {"", "0.5", true, kFixedPose, "5"},           // 100 * 0.5 / 11.25, rounded up
        {"", "2.25", true, kFixedPose, "20"},
        {"", "0.1", true, kFixedPose, "2"},           // 0.9 is raised to the least, 2
        {"", "0", true, kFixedPose, "2"},
        {"", "", true, {99.0f, -9e7f, 2.25e-5f}, "1000"},  // capped
        {"", "", true, kAstronautPose, "223"},        // the default tolerance of 1 over |-0.45|
    };
    std::size_t run = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string("-t '") + row.threshold + "' --tolerance '" + row.tolerance + "'");
        RecordRequest request;
        request.threshold = row.threshold;
        request.tolerance = row.tolerance;
        request.portable = row.portable;
        EXPECT_EQ(RecordedThreshold(request, row.pose), row.written);
        ++run;
    }
    EXPECT_EQ(run, 8u);
}

TEST(RecordingPolicy, PortableThresholdPrintsWhatEachValueMayMove)
{
    RecordRequest request;
    request.portable = true;
    EXPECT_EQ(AllowanceLines(request, "5", kFixedPose),
              "  yaw 45.000000 may move by 2.250 degrees\n"
              "  pitch -22.500000 may move by 1.125 degrees\n"
              "  roll 11.250000 may move by 0.562 degrees\n");
    EXPECT_EQ(AllowanceWarning(request, "5", kFixedPose, "a.nkvalid"),
              "warning: a.nkvalid: Threshold 5 lets a value move by up to 2.250 degrees (more than 2), so a change "
              "that large passes; without --portable each value may move by the tolerance in degrees.");
    // The astronaut's pitch may move by 223% of 7.24 degrees.
    EXPECT_NE(AllowanceLines(request, "223", kAstronautPose).find("pitch -7.242918 may move by 16.152 degrees"),
              std::string::npos);
    EXPECT_EQ(AllowanceWarning(request, "4", kFixedPose, "a.nkvalid"), "");  // 1.8 degrees at most
    request.condition = "=";
    EXPECT_EQ(AllowanceLines(request, "5", kFixedPose), "");
    EXPECT_EQ(AllowanceWarning(request, "5", kFixedPose, "a.nkvalid"), "");
    request.condition = "<";
    request.portable = false;
    EXPECT_EQ(AllowanceLines(request, "5", kFixedPose), "");
    EXPECT_EQ(AllowanceWarning(request, "5", kFixedPose, "a.nkvalid"), "");
}

// What is written reads back, with the tolerance after the threshold, or
// without one for --portable.
TEST(RecordingPolicy, ExpectationTextReadsBackToItsPose)
{
    test_support::ScratchDir scratch;
    RecordRequest request;
    const std::string text = ExpectationText(request, "m/x.nmodel", "p.png", kFixedPose, "0", "T");
    EXPECT_NE(text.find("# Recorded by record_facepose on T\n#   model: m/x.nmodel\n#   image: p.png\n"),
              std::string::npos);
    EXPECT_NE(text.find("\nThreshold: 0   # percent of each value, for < and >, added to the tolerance\n"
                        "Tolerance: 1   # degrees, for < and >\nValid data:\n< 45 -22.5 11.25\n"),
              std::string::npos);
    const ResultValidator written(scratch.Write("a.nkvalid", text), ValidatorOutput::kQuiet);
    EXPECT_TRUE(written.HasTolerance());
    EXPECT_FLOAT_EQ(written.Tolerance(), 1.0f);
    request.portable = true;
    request.condition = "=";
    const std::string portable = ExpectationText(request, "m", "p", kFixedPose, "5", "T");
    EXPECT_EQ(portable.find("Tolerance"), std::string::npos);
    EXPECT_NE(portable.find("\nThreshold: 5   # percent, for < and >\nValid data:\n= 45 -22.5 11.25\n"),
              std::string::npos);
}

TEST(ExpectationUpdate, ReplacesOnlyTheValuesOfTheFirstDataLine)
{
    const std::vector<float> pose = {1.5f, -2.25f, 0.1f};
    struct Row {
        const char* before;
        const char* after;
    };
    const Row rows[] = {
        {"Type: numeric-match\nThreshold: 3 # hand-set\nTolerance: 2.5\nValid data:\n< 45 -22.5 11.25\n",
         "Type: numeric-match\nThreshold: 3 # hand-set\nTolerance: 2.5\nValid data:\n< 1.5 -2.25 0.100000001\n"},
        {"Type: numeric-match\nValid data: # < 9 9 9\n\n  # note\n\t=\t45 -22.5 11.25   # mine\n> 7 7 7\n",
         "Type: numeric-match\nValid data: # < 9 9 9\n\n  # note\n\t=\t1.5 -2.25 0.100000001   # mine\n> 7 7 7\n"},
        {"Type: numeric-match\r\nValid data:\r\n> 1 2\r\n", "Type: numeric-match\r\nValid data:\r\n> 1.5 -2.25 0.100000001\r\n"},
        {"Type: numeric-match\nValid data:\n< 1 2 3", "Type: numeric-match\nValid data:\n< 1.5 -2.25 0.100000001"},
    };
    std::size_t run = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.before);
        EXPECT_EQ(WithValuesReplaced(row.before, pose).value_or("(nothing)"), row.after);
        ++run;
    }
    EXPECT_EQ(run, 4u);
    EXPECT_FALSE(WithValuesReplaced("Type: numeric-match\nValid data:\n# none\n", pose));
    EXPECT_FALSE(WithValuesReplaced("Type: numeric-match\n< 1 2 3\n", pose));
    EXPECT_EQ(ChangeText({45.0f, -22.5f}, pose),
              "yaw 45.000000 -> 1.500000, pitch -22.500000 -> -2.250000, roll none -> 0.100000");
}

TEST(RecordTally, ClosingLineAndStatus)
{
    Tally tally;
    EXPECT_EQ(SummaryLine(tally, false), "0 recorded, 0 kept (exists; -f to overwrite), 0 could not run");
    EXPECT_EQ(FolderStatus(tally), 0);
    for (int i = 0; i < 3; ++i) {
        tally.Add(Outcome::kWritten);
    }
    tally.Add(Outcome::kKept);
    tally.Add(Outcome::kStillPasses);
    tally.Add(Outcome::kStillPasses);
    EXPECT_EQ(SummaryLine(tally, false), "3 recorded, 1 kept (exists; -f to overwrite), 0 could not run");
    EXPECT_EQ(SummaryLine(tally, true), "3 updated, 2 still pass, 0 could not run");
    EXPECT_EQ(FolderStatus(tally), 0);
    tally.Add(Outcome::kNotRecordedYet);
    EXPECT_EQ(SummaryLine(tally, true), "3 updated, 2 still pass, 0 could not run, 1 not recorded yet (record_facepose -c)");
    EXPECT_EQ(FolderStatus(tally), 0);
    tally.Add(Outcome::kNotWritten);
    EXPECT_EQ(SummaryLine(tally, false), "3 recorded, 1 kept (exists; -f to overwrite), 0 could not run, 1 not written, "
                                         "1 not recorded yet (record_facepose -c)");
    EXPECT_EQ(FolderStatus(tally), 1);
    Tally failed;
    failed.Add(Outcome::kCouldNotRun);
    EXPECT_EQ(SummaryLine(failed, true), "0 updated, 0 still pass, 1 could not run");
    EXPECT_EQ(FolderStatus(failed), 1);
}

TEST(ExpectationFiles, RefusesNamesTheValidatorRefusesAndTheImageItself)
{
    test_support::ScratchDir scratch;
    const std::string image = scratch.Write("face.png", "pixels");
    EXPECT_NE(OutputRefusal(scratch.Path("out.txt"), image).find("Invalid file extension."), std::string::npos);
    EXPECT_NE(OutputRefusal(scratch.Path("out.NKVALID"), image), "");
    EXPECT_EQ(OutputRefusal(scratch.Path("out.nkvalid"), image), "");
    ASSERT_EQ(::link(image.c_str(), scratch.Path("same.nkvalid").c_str()), 0);
    EXPECT_EQ(OutputRefusal(scratch.Path("same.nkvalid"), image), "it is the image itself");
    EXPECT_EQ(OutputRefusal(scratch.Write("copy.nkvalid", "pixels"), image), "");

    const std::string file = scratch.Write("a.nkvalid", "text");
    EXPECT_FALSE(IsReadOnly(file));
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    EXPECT_TRUE(IsReadOnly(file));
    EXPECT_EQ(ReadRegularFile(file).value_or("(nothing)"), "text");
    ASSERT_EQ(::symlink(file.c_str(), scratch.Path("link.nkvalid").c_str()), 0);
    EXPECT_FALSE(ReadRegularFile(scratch.Path("link.nkvalid")));
}

TEST(LabelledErrors, EachLineWrittenMeanwhileNamesTheCase)
{
    testing::internal::CaptureStderr();
    {
        const LabelledErrors labels("record_facepose: cases/a: ");
        std::fputs("No face found in the image.\nlibpng error: Read Error", stderr);
    }
    std::fputs("after\n", stderr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "record_facepose: cases/a: No face found in the image.\n"
              "record_facepose: cases/a: libpng error: Read Error\nafter\n");
}

}  // namespace
}  // namespace zor::test::recorder
