#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using zor::test::LogStream;
using zor::test::ResultValidator;

TEST(Records, RefusedFileLeavesEveryDefault)
{
    auto validator = validator_test::Load("expect.txt");
    EXPECT_FALSE(validator->Loaded());
    EXPECT_EQ(validator->Type(), 0);
    EXPECT_EQ(validator->Threshold(), 1.0f);
    EXPECT_EQ(validator->NumsToCheck(), 18446744073709551615u);
    EXPECT_TRUE(validator->NumericData().empty());
    EXPECT_TRUE(validator->StringData().empty());
    EXPECT_EQ(validator->LogType(), zor::test::VLOG_NONE);
    EXPECT_EQ(validator->OutputlogName(), "");

    validator->SetLogType(static_cast<zor::test::vlogType>(7));
    validator->SetOutputlogName("run.log");
    EXPECT_EQ(validator->LogType(), 7);
    EXPECT_EQ(validator->OutputlogName(), "run.log");
    validator->SetLogType(zor::test::VLOG_NONE);  // keep this test free of log files
}

TEST(Records, InsertStreamRoutesEachCodeToItsSection)
{
    LogStream log;
    const std::string withNul("cut\0tail", 8);
    ResultValidator::InsertStream(-6, "six", &log, true);
    ResultValidator::InsertStream(-5, "five", &log, false);
    ResultValidator::InsertStream(-4, withNul, &log, false);
    ResultValidator::InsertStream(-3, "three", &log, true);
    ResultValidator::InsertStream(-2, "two", &log, false);
    ResultValidator::InsertStream(-1, "one", &log, false);
    ResultValidator::InsertStream(-7, "ignored", &log, true);
    ResultValidator::InsertStream(0, "", &log, false);
    ResultValidator::InsertStream(12, withNul, &log, false);
    ResultValidator::InsertStream(3, "ignored", &log, true);

    EXPECT_EQ(log.systemStream.str(), "    six\n    five\n    " + withNul + "\n");
    EXPECT_EQ(log.checkStream.str(), "    three\n");
    EXPECT_EQ(log.dataStream.str(),
              "    [WARNING] two\n"
              "    one\n"
              "    [PASSED] index: -7.\n"
              "    [FAILURE] index: 0. msg: \n"
              "    [FAILURE] index: 12. msg: cut\n"
              "    [PASSED] index: 3.\n");
}

}  // namespace
