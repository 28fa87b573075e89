// The suite's pieces through its library: the texts of values, names made
// safe, junit.xml, the tally, the order of the case lines and the reasons a
// case gives.

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "case_runner.h"
#include "clean_text.h"
#include "junit_report.h"
#include "progress.h"
#include "report_folder.h"
#include "shared/pose_run.h"
#include "scratch_dir.h"
#include "table_rows.h"
#include "value_text.h"

namespace {

using namespace zor::test::suite;
using test_support::ForEachRow;

TEST(SuiteText, PercentKeepsThreeDigitsBelow1000AndWholePercentsFrom1000On)
{
    const struct {
        float fraction;
        const char* text;
    } rows[] = {{0.156f, "15.6%"}, {0.0227f, "2.27%"}, {9.99f, "999%"}, {10.0f, "1000%"}, {16.53f, "1653%"}};
    ForEachRow(rows, 5, [](const auto& row) { EXPECT_EQ(Percent(row.fraction), row.text); });
}

TEST(SuiteText, RequirementNamesTheConditionAndWhatItAllows)
{
    zor::test::NumericCheck relative;
    relative.threshold = 0.01f;
    zor::test::NumericCheck tolerance;
    tolerance.hasTolerance = true;
    tolerance.tolerance = 0.5f;
    zor::test::NumericCheck both = tolerance;
    both.threshold = 0.01f;
    zor::test::ValueCheck value;
    value.allowed = 0.034616f;
    zor::test::ValueCheck summed;
    summed.allowed = 0.534616f;
    const struct {
        int32_t condition;
        const zor::test::NumericCheck& check;
        const zor::test::ValueCheck& value;
        const char* text;
    } rows[] = {
        {0, relative, value, "= (exact)"},
        {-1, relative, value, "< 1% (±0.034616)"},
        {-1, tolerance, value, "|diff| ≤ 0.5 + 0%"},
        {1, both, summed, "|diff| ≥ 0.5 + 1% (0.534616)"},
    };
    ForEachRow(rows, 4, [](const auto& row) { EXPECT_EQ(Requirement(row.condition, row.check, row.value), row.text); });
}

TEST(SuiteText, PrintableTextEscapesEveryControlCharacterAndBrokenByte)
{
    const struct {
        std::string text;
        std::string printable;
    } rows[] = {
        {"a\x7F" "b", "a\\x7Fb"},
        {"\x01\x1F", "\\x01\\x1F"},
        {"\xC2\x9B" "K", "\\x9BK"},
        {"\n\r\t\\", "\\n\\r\\t\\\\"},
        {"bad\xFF", "bad\\xFF"},
        {"caf\xC3\xA9", "caf\xC3\xA9"},
    };
    ForEachRow(rows, 6, [](const auto& row) { EXPECT_EQ(PrintableText(row.text), row.printable); });
}

TEST(SuiteText, ValidUtf8ReplacesWhatIsNotAShortestCharacter)
{
    const std::string replacement = "\xEF\xBF\xBD";
    const struct {
        std::string text;
        std::string valid;
    } rows[] = {
        {"\xEF\xBF\xBE", replacement + replacement + replacement},  // U+FFFE
        {"\xED\xA0\x80", replacement + replacement + replacement},  // a surrogate
        {"\xC0\xAF", replacement + replacement},                    // overlong "/"
        {"cut\xE2\x82", "cut" + replacement + replacement},
        {"caf\xC3\xA9 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xF0\x9F\x98\x80"},
    };
    ForEachRow(rows, 5, [](const auto& row) { EXPECT_EQ(ValidUtf8(row.text), row.valid); });
}

CaseResult Result(const std::string& name, Verdict verdict, const std::string& reason = "")
{
    CaseResult result;
    result.files.name = name;
    result.verdict = verdict;
    result.reason = reason;
    return result;
}

// One count in the summary's tally and in junit.xml; names and reasons
// there hold no control character XML 1.0 forbids.
TEST(SuiteReport, JunitCountsTheTallyAndKeepsControlBytesOut)
{
    const std::vector<CaseResult> results = {
        Result("a\x01" "b\x10" "c\x1F" "d", Verdict::kPassed),
        Result("failed", Verdict::kFailed),
        Result("broken", Verdict::kError, "why\x0B"),
        Result("broken too", Verdict::kError, "why"),
    };
    const Tally tally = CountVerdicts(results);
    EXPECT_EQ(tally.passed, 1u);
    EXPECT_EQ(tally.failed, 1u);
    EXPECT_EQ(tally.could_not_run, 2u);
    EXPECT_EQ(tally.NotPassed(), 3u);
    const std::string xml = JunitXml(results, tally, 1.5, RunIdentity{}, "", false);
    EXPECT_NE(xml.find("tests=\"4\" failures=\"1\" errors=\"2\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("name=\"a?b?c?d\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("message=\"why?\""), std::string::npos) << xml;
}

// Lines in case order, whatever order the workers finish in.
TEST(SuiteReport, ProgressPrintsTheCasesInTheirOrder)
{
    std::vector<CaseResult> results = {Result("a", Verdict::kPassed), Result("b", Verdict::kFailed),
                                       Result("c", Verdict::kError, "no\nface")};
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    {
        Progress progress(out, nullptr, results);
        progress.Done(2);
        EXPECT_EQ(std::ftell(out), 0L);
        progress.Done(0);
        progress.Done(1);
    }
    std::rewind(out);
    char text[256] = {};
    const size_t length = std::fread(text, 1, sizeof text - 1, out);
    std::fclose(out);
    EXPECT_EQ(std::string(text, length), "passed a (0 ms)\nfailed b (0 ms)\nerror c (0 ms): no\\nface\n");
}

// The reason of a case that could not run names what stopped it; with the
// model loaded once, a passing case leaves its log and picture.
TEST(SuiteCase, EachCaseGetsItsVerdictAndReason)
{
    const test_support::ScratchDir dir;
    const std::string sample = ZOR_SAMPLE_DIR;
    const std::string not_an_image = dir.Write("broken.png", "not an image");
    const std::string no_such_file = dir.Path("missing.nkvalid");
    const std::string fixed = zor::test::shared::ModelFilePath(sample + "/fixed-model");
    const std::string short_result = zor::test::shared::ModelFilePath(ZOR_DRIVER_DATA_DIR "/fixed-138");
    const struct {
        std::string model;
        CaseFiles files;
        Verdict verdict;
        std::string reason;
    } rows[] = {
        {fixed, {"pass", sample + "/face.png", sample + "/face.nkvalid"}, Verdict::kPassed, ""},
        {fixed, {"broken", not_an_image, sample + "/face.nkvalid"}, Verdict::kError, "the image does not decode"},
        {short_result, {"short", sample + "/face.png", sample + "/face.nkvalid"}, Verdict::kError,
         "no face: the network returned 138 values; 139 are needed."},
        {fixed, {"unusable", sample + "/face.png", no_such_file}, Verdict::kError,
         "unusable expectation file: Cannot open *.nkvalid file."},
    };
    ForEachRow(rows, 4, [&](const auto& row) {
        CaseRunner runner(row.model, "");
        ASSERT_TRUE(runner.HoldsModel());
        testing::internal::CaptureStdout();
        const CaseResult result = runner.Run(row.files, dir.Path(""));
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(result.verdict, row.verdict);
        EXPECT_EQ(result.reason, row.reason);
    });
    EXPECT_TRUE(std::ifstream(dir.Path("pass/face.log")).good());
    EXPECT_TRUE(std::ifstream(dir.Path(std::string("pass/") + kPictureName)).good());
}

}  // namespace
