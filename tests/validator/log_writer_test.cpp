#include <sstream>

#include <gtest/gtest.h>

#include "test_support.h"
#include "validator/log_sections.h"

namespace {

using test_support::ForEachRow;
using validator_test::CaptureOutput;
using validator_test::Load;
using validator_test::ReadFile;
using validator_test::ScratchDir;
using zor::test::ResultValidator;
using zor::test::vlogType;
using Batch = std::vector<std::vector<float>>;

const std::string kHeads = "[System message]\n[Check message]\n[Valid Data]\n";

class LogWriterTest : public testing::Test {
protected:
    std::unique_ptr<ResultValidator> Make(const std::string& content)
    {
        return Load(m_dir.Write("e.nkvalid", content));
    }
    // Releases `validator` with log kind `type` and the log name `name`;
    // gives what was printed.
    std::string Release(std::unique_ptr<ResultValidator> validator, vlogType type, const std::string& name)
    {
        validator->SetLogType(type);
        validator->SetOutputlogName(name);
        return CaptureOutput([&] { validator.reset(); });
    }
    std::string Release(std::unique_ptr<ResultValidator> validator, vlogType type)
    {
        return Release(std::move(validator), type, LogPath());
    }
    std::string LogPath() const { return m_dir.Path("run.log"); }
    ScratchDir m_dir;
};

// Counts that agree: no partial-log warning; a failed item shows all its values.
TEST_F(LogWriterTest, FailedItemLogsEveryRuntimeValue)
{
    auto failed = Make("Type: numeric-match\nNums to Check: 1\nThreshold: 5\nValid data\n= 12.5 -3.25 0.5\n");
    ASSERT_FALSE(failed->Check(Batch{{12.5f, -3.25f, 40}}));
    Release(std::move(failed), zor::test::VLOG_FULL);
    EXPECT_EQ(ReadFile(LogPath()), kHeads +
                                       "    Total validation num: 1.\n"
                                       "    [FAILURE] index: 0. msg: Threshold exceeded. Runtime value: "
                                       "12.500000 -3.250000 40.000000\n");
}

TEST_F(LogWriterTest, CheckMessagesAndResultLinesFollowTheLogKind)
{
    const std::string tooMany =
        "The runtime value is larger than the value set by \"Nums to Check\", not all the outputs are checked.";
    const std::string full =
        kHeads +
        "    [WARNING] This validation log only output part of the results\n"
        "    Total validation num: 5.\n"
        "    [WARNING] " + tooMany + "\n"
        "    [PASSED] index: 0.\n"
        "    [FAILURE] index: 1. msg: Threshold exceeded. Runtime value: 9.000000\n"
        "    [PASSED] index: 2.\n"
        "    [PASSED] index: 3.\n"
        "    [FAILURE] index: 4. msg: Threshold exceeded. Runtime value: -9.500000\n"
        "    [PASSED] index: 5.\n";
    std::string failedOnly = full;
    for (const char* passed : {"    [PASSED] index: 0.\n", "    [PASSED] index: 2.\n", "    [PASSED] index: 3.\n",
                               "    [PASSED] index: 5.\n"}) {
        failedOnly.erase(failedOnly.find(passed), std::string(passed).size());
    }
    const struct {
        vlogType type;
        std::string log;
        bool reported;
    } rows[] = {
        {zor::test::VLOG_FULL, full, true},
        {zor::test::VLOG_FAILED_ONLY, failedOnly, true},
        {static_cast<vlogType>(7),
         "[System message]\n    Unsupported log type.\n[Check message]\n[Valid Data]\n"
         "    [WARNING] This validation log only output part of the results\n    Total validation num: 5.\n",
         false},
    };
    ForEachRow(rows, 3, [&](const auto& row) {
        auto validator = Make("Type: numeric-match\nNums to Check: 5\nValid data\n= 0\n= 1\n= 2\n= 3\n= 4\n= 5\n");
        ASSERT_FALSE(validator->Check(Batch{{0}, {9}, {2}, {3}, {-9.5f}, {5}}));
        const std::string printed = Release(std::move(validator), row.type);
        EXPECT_EQ(ReadFile(LogPath()), row.log) << row.type;
        EXPECT_EQ(printed, row.reported ? "Log written to " + LogPath() + ".\n" : "") << row.type;
    });
}

TEST_F(LogWriterTest, UnusableExpectationFileLogsParserMessageAndUnsetCount)
{
    EXPECT_EQ(Release(Load(m_dir.Path("absent.nkvalid")), zor::test::VLOG_FULL),
              "Log written to " + LogPath() + ".\n");
    EXPECT_EQ(ReadFile(LogPath()), "[System message]\n    Cannot open *.nkvalid file.\n[Check message]\n"
                                   "[Valid Data]\n    Total validation num: 18446744073709551615.\n");
}

TEST_F(LogWriterTest, NoLogWithoutKindAndReportedFailuresToOpenOrWrite)
{
    EXPECT_EQ(Release(Make("Type: string-match\nValid data\na\n"), zor::test::VLOG_NONE), "");
    EXPECT_FALSE(std::filesystem::exists(LogPath()));

    auto unopened = Make("Type: string-match\n");
    unopened->SetLogType(zor::test::VLOG_FULL);
    unopened->SetOutputlogName(m_dir.Path("missing-dir/run.log"));
    EXPECT_EQ(CaptureOutput([&] { EXPECT_FALSE(unopened->LogWriter()); }), "Failed to open log file!\n");
    unopened->SetLogType(zor::test::VLOG_NONE);

    // A device is never written as a log (write failures: the bad-input matrix).
    EXPECT_EQ(Release(Make("Type: string-match\n"), zor::test::VLOG_FULL, "/dev/full"), "Failed to open log file!\n");
}

// A section whose text could not be composed (its stream failed for want of
// memory) makes the log unwritable instead of leaving it short.
TEST(LogSectionsTest, FailedSectionStreamFailsTheLog)
{
    for (const bool failed : {false, true}) {
        zor::test::LogStream log;
        log.dataStream << "    Total validation num: 1.\n";
        if (failed) {
            log.checkStream.setstate(std::ios::badbit);
        }
        std::ostringstream out;
        EXPECT_EQ(zor::test::WriteLogSections(log, out), !failed);
    }
}

}  // namespace
