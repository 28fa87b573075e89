#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using zor::test::LogStream;
using zor::test::ResultValidator;

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
