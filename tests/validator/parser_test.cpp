#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using test_support::ForEachRow;
using testing::ElementsAre;
using validator_test::Load;
using validator_test::ScratchDir;
using Messages = std::map<int32_t, std::string>;

const std::string kRule = "================================================\n";
const std::string kFallBack =
    "The value in \"Nums to Check\" is larger than Valid Data, falling back to the number of Valid Data.";

TEST(Parser, FailuresPrintAndKeepTheirMessageAndLeaveTheValidatorUnloaded)
{
    struct Row {
        std::string name;
        std::string content;
        std::string printed;  // the stored message is this without its line break
    };
    const Row rows[] = {
        {"expect.NKVALID", "Type: string-match\n", "Invalid file extension.\n"},
        {"expect", "Type: string-match\n", "Invalid file extension.\n"},
        {"expect.", "Type: string-match\n", "Invalid file extension.\n"},
        {"empty.nkvalid", "", "Validation type error!"},
        {"blank.nkvalid", "  # nothing\n\t\n", "Validation type error!"},
        {"glued.nkvalid", "Type:numeric-match\n", "Error! unsupported compare type."},
        {"short.nkvalid", "Type:\n", "Error! unsupported compare type."},
        {"bare.nkvalid", "Type\n", "Error! unsupported compare type."},
        {"early.nkvalid", "Valid data\nType: numeric-match\n", "Error! nkvalid format not match.\n"},
        {"data.nkvalid", "Type: numeric-match\n= 1\nValid data\n", "Error! nkvalid format not match.\n"},
        {"sign.nkvalid", "Type: numeric-match\nValid data\n=1.5\n",
         "Error, numeric-match data format not match.\n"},
        {"ge.nkvalid", "Type: numeric-match\nValid data\n>= 1\n", "Error, numeric-match data format not match.\n"},
        {"key.nkvalid", "Type: numeric-match\nValid data\nNums to Check: 1\n",
         "Error, numeric-match data format not match.\n"},
        {"negative.nkvalid", "Type: numeric-match\nTolerance: -0.5\nValid data\n",
         "Error! nkvalid format not match.\n"},
        {"nan.nkvalid", "Tolerance: nan\nType: numeric-match\nValid data\n", "Error! nkvalid format not match.\n"},
        {"inf.nkvalid", "Type: numeric-match\nTolerance: inf\nValid data\n", "Error! nkvalid format not match.\n"},
        {"wide.nkvalid", "Type: numeric-match\nTolerance: 1e39\nValid data\n",  // infinite as a float
         "Error! nkvalid format not match.\n"},
        {"later.nkvalid", "Type: numeric-match\nTolerance: 1\nTolerance: -1\nValid data\n",
         "Error! nkvalid format not match.\n"},
        {"word.nkvalid", "Type: numeric-match\nTolerance: abc\nValid data\n", "Error! nkvalid format not match.\n"},
        {"none.nkvalid", "Type: numeric-match\nTolerance:\nValid data\n", "Error! nkvalid format not match.\n"},
        {"unit.nkvalid", "Type: numeric-match\nTolerance: 1.5deg\nValid data\n", "Error! nkvalid format not match.\n"},
        {"comma.nkvalid", "Type: numeric-match\nTolerance: 1,5\nValid data\n", "Error! nkvalid format not match.\n"},
    };
    ScratchDir dir;
    ForEachRow(rows, 22, [&](const Row& row) {
        std::string printed;
        const auto validator = Load(dir.Write(row.name, row.content), &printed);
        const std::string stored = printed.substr(0, printed.find('\n'));
        EXPECT_EQ(printed, row.printed) << row.name;
        EXPECT_EQ(validator->SystemMessages(), (Messages{{-5, stored}})) << row.name;
        EXPECT_FALSE(validator->Loaded()) << row.name;
    });
}

TEST(Parser, PathsThatAreNoRegularFileCannotBeOpenedAndNeverBlock)
{
    ScratchDir dir;
    ASSERT_EQ(::mkdir(dir.Path("dir.nkvalid").c_str(), 0755), 0);
    ASSERT_EQ(::mkfifo(dir.Path("fifo.nkvalid").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("/dev/null", dir.Path("null.nkvalid").c_str()), 0);
    for (const char* name : {"absent.nkvalid", "dir.nkvalid", "fifo.nkvalid", "null.nkvalid"}) {
        std::string printed;
        const auto validator = Load(dir.Path(name), &printed);
        EXPECT_EQ(printed, "Cannot open *.nkvalid file.\n") << name;
        EXPECT_EQ(validator->SystemMessages(), (Messages{{-5, "Cannot open *.nkvalid file."}})) << name;
        EXPECT_FALSE(validator->Loaded());
    }
}

TEST(Parser, NumericFileFillsMembersAndPrintsSummary)
{
    ScratchDir dir;
    std::string printed;
    const auto validator = Load(dir.Write("run.nkvalid",
                                          "# expectations\n"
                                          "Type: numeric-match-v2\r\n"
                                          "Threshold: 7\n"
                                          "  Nums to Check: 4\n"
                                          "Threshold: 5   # percent\n"
                                          "Valid data: = 9 9\n"
                                          "= 12.5 -3.25 0.5\n"
                                          "\n"
                                          ">\t1  2\r\n"
                                          "<\n"
                                          "= 1 #2\n"),
                                &printed);
    ASSERT_TRUE(validator->Loaded());
    EXPECT_EQ(validator->Type(), 2);
    EXPECT_EQ(validator->Threshold(), 0.05f);
    EXPECT_EQ(validator->NumsToCheck(), 4u);
    EXPECT_TRUE(validator->SystemMessages().empty());
    ASSERT_EQ(validator->NumericData().size(), 4u);
    const int32_t conditions[] = {0, 1, -1, 0};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(validator->NumericData()[i].condition, conditions[i]);
    }
    EXPECT_THAT(validator->NumericData()[0].values, ElementsAre(12.5f, -3.25f, 0.5f));
    EXPECT_THAT(validator->NumericData()[1].values, ElementsAre(1, 0, 2));
    EXPECT_THAT(validator->NumericData()[2].values, ElementsAre(0));
    EXPECT_EQ(printed, kRule + "Type: 2\nThreshold: 0.050000\nValid data:\n= 12.500000 -3.250000 0.500000 \n"
                               "> 1.000000 0.000000 2.000000 \n< 0.000000 \n= 1.000000 \n" + kRule);
}

TEST(Parser, ToleranceStandsAnywhereAmongTheKeysAndIsPrintedAfterTheThreshold)
{
    struct Row {
        std::string header;
        bool hasTolerance;
        float tolerance;
        float threshold;
    };
    const Row rows[] = {
        {"Tolerance: 0.5\nType: numeric-match\n", true, 0.5f, 0.0f},  // no "Threshold": no relative part
        {"Type: numeric-match\nTolerance: 2\nThreshold: 5\nTolerance: 0.25\n", true, 0.25f, 0.05f},
        {"Type: numeric-match\nThreshold: 5\nTolerance:7  # degrees\n", true, 7.0f, 0.05f},
        {"Type: numeric-match\nTolerance: 0\n", true, 0.0f, 0.0f},
        {"Type: numeric-match\r\nTolerance: 1.5 \r\n", true, 1.5f, 0.0f},  // a CRLF line
        {"Type: numeric-match\nThreshold: 5\n", false, 0.0f, 0.05f},
        {"Type: numeric-match\n", false, 0.0f, 1.0f},
    };
    ScratchDir dir;
    ForEachRow(rows, 7, [&](const Row& row) {
        const auto validator = Load(dir.Write("t.nkvalid", row.header + "Valid data\n= 1\n"));
        ASSERT_TRUE(validator->Loaded()) << row.header;
        EXPECT_EQ(validator->HasTolerance(), row.hasTolerance) << row.header;
        EXPECT_EQ(validator->Tolerance(), row.tolerance) << row.header;
        EXPECT_EQ(validator->Threshold(), row.threshold) << row.header;
    });

    std::string printed;
    const auto validator = Load(dir.Write("p.nkvalid", rows[1].header + "Valid data\n= 1\n"), &printed);
    EXPECT_EQ(printed, kRule + "Type: 2\nThreshold: 0.050000\nTolerance: 0.250000\nValid data:\n= 1.000000 \n" + kRule);
    // Parsing another file forgets the tolerance.
    EXPECT_TRUE(validator->ValidationFileParser(dir.Write("q.nkvalid", "Type: numeric-match\nValid data\n= 1\n")));
    EXPECT_FALSE(validator->HasTolerance());
    EXPECT_EQ(validator->Tolerance(), 0.0f);
}

TEST(Parser, StringFileKeepsDistinctTrimmedLinesInByteOrder)
{
    ScratchDir dir;
    std::string printed;
    const auto validator = Load(dir.Write("s.nkvalid",
                                          "Type: string-match\nValid data\n"
                                          "right turn  # note\nleft\nType: numeric-match\n"
                                          "\tleft \nLeft\r\n"),
                                &printed);
    ASSERT_TRUE(validator->Loaded());
    EXPECT_EQ(validator->Type(), 1);
    EXPECT_EQ(validator->StringData(), (std::map<std::string, int32_t>{
                                           {"Left\r", 1}, {"Type: numeric-match", 1}, {"left", 1}, {"right turn", 1}}));
    EXPECT_EQ(validator->NumsToCheck(), 4u);
    EXPECT_EQ(validator->SystemMessages(), (Messages{{-5, kFallBack}}));  // kept, not printed
    EXPECT_EQ(printed, kRule + "Type: 1\nThreshold: 1.000000\nValid data:\nLeft\r\nType: numeric-match\nleft\n"
                               "right turn\n" + kRule);
}

TEST(Parser, NumsToCheckFallsBackToTheDataCountWhenLargerOrNotGiven)
{
    struct Row {
        std::string header;
        uint64_t expected;
        bool fellBack;
    };
    const Row rows[] = {
        {"Nums to Check: 0", 2, false},
        {"Nums to Check: 1", 1, false},
        {"Nums to Check: 2", 2, false},
        {"Nums to Check: 3", 2, true},
        {"Nums to Check: -1", 2, true},
        {"Nums to Check:", 2, false},           // too short to hold a value: 0
        {"Nums to Check:5", 2, true},           // the value starts right after the colon
        {"Nums to Check: 4294967297", 2, true},  // beyond 32 bits: not cut to 1
        {"Nums to Check: -4294967295", 2, true},
        {"Nums to Check: 99999999999999999999", 2, true},
        {"Threshold", 2, true},
    };
    ScratchDir dir;
    ForEachRow(rows, 11, [&](const Row& row) {
        const auto validator =
            Load(dir.Write("n.nkvalid", "Type: numeric-match\n" + row.header + "\nValid data\n= 1\n= 2\n"));
        ASSERT_TRUE(validator->Loaded()) << row.header;
        EXPECT_EQ(validator->NumsToCheck(), row.expected) << row.header;
        EXPECT_EQ(validator->SystemMessages().size(), row.fellBack ? 1u : 0u) << row.header;
    });
    const auto headerOnly = Load(dir.Write("h.nkvalid", "Type: numeric-match\nThreshold: x\n"));
    EXPECT_TRUE(headerOnly->Loaded());
    EXPECT_EQ(headerOnly->Threshold(), 0.0f);
    EXPECT_EQ(headerOnly->NumsToCheck(), 0u);
    EXPECT_EQ(headerOnly->SystemMessages(), (Messages{{-5, kFallBack}}));
}

TEST(Parser, BadNumericLineKeepsEarlierRecordsAndHeaderValues)
{
    ScratchDir dir;
    std::string printed;
    const auto validator =
        Load(dir.Write("b.nkvalid", "Type: numeric-match\nNums to Check: 9\nValid data\n= 1\n< 2 3\n=4\n= 5\n"),
             &printed);
    EXPECT_FALSE(validator->Loaded());
    EXPECT_EQ(printed, "Error, numeric-match data format not match.\n");  // no summary
    EXPECT_EQ(validator->NumericData().size(), 2u);
    EXPECT_EQ(validator->NumsToCheck(), 9u);  // not fixed up
}

TEST(Parser, SummaryOfAnUnsetTypeNamesIt)
{
    const auto validator = Load("expect.txt");
    EXPECT_EQ(validator_test::CaptureOutput([&] { validator->PrintFileInfo(); }),
              kRule + "Type: 0\nThreshold: 1.000000\nValid data:\nError! invalid m_type.\n" + kRule);
}

}  // namespace
