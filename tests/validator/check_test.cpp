#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using test_support::ForEachRow;
using validator_test::CaptureOutput;
using validator_test::Load;
using validator_test::ScratchDir;
using Batch = std::vector<std::vector<float>>;
using Messages = std::map<int32_t, std::string>;

const std::string kRefused = "Missing validation file or rvType not match.";
const std::string kTooFew = "Size not match! Output result must larger than \"Nums to Check\"";
const std::string kTooMany =
    "The runtime value is larger than the value set by \"Nums to Check\", not all the outputs are checked.";
constexpr float kNan = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

class CheckTest : public testing::Test {
protected:
    std::unique_ptr<zor::test::ResultValidator> Make(const std::string& content)
    {
        return Load(m_dir.Write("e.nkvalid", content));
    }
    ScratchDir m_dir;
};

TEST_F(CheckTest, RefusesUnloadedOrOtherTypeAndRemovesParserMessages)
{
    const auto unloaded = Load(m_dir.Write("e.txt", ""));
    const auto numeric = Make("Type: numeric-match\nValid data\n= 1\n");
    const auto strings = Make("Type: string-match\nValid data\na\n");
    ASSERT_FALSE(strings->SystemMessages().empty());  // the parser's fall-back message
    const std::string printed = CaptureOutput([&] {
        EXPECT_FALSE(unloaded->Check(Batch{}));
        EXPECT_FALSE(unloaded->Check(std::vector<std::string>{}));
        EXPECT_FALSE(numeric->Check(std::vector<std::string>{"a"}));
        EXPECT_FALSE(strings->Check(Batch{{1}}));
    });
    EXPECT_EQ(printed, "");
    for (const auto* validator : {unloaded.get(), numeric.get(), strings.get()}) {
        EXPECT_EQ(validator->SystemMessages(), (Messages{{-4, kRefused}}));
    }
}

TEST_F(CheckTest, ComparesResultCountWithNumsToCheck)
{
    const auto two = Make("Type: numeric-match\nValid data\n= 1\n= 5\n");
    EXPECT_EQ(CaptureOutput([&] { EXPECT_FALSE(two->Check(Batch{{1}})); }), kTooFew + "\n");
    EXPECT_EQ(two->SystemMessages(), (Messages{{-3, kTooFew}}));

    const auto one = Make("Type: numeric-match\nNums to Check: 1\nValid data\n= 1\n= 5\n");
    EXPECT_TRUE(one->Check(Batch{{1}, {2}}));  // item 1 would fail but is not examined
    EXPECT_EQ(one->SystemMessages(), (Messages{{-2, kTooMany}}));

    const auto none = Make("Type: numeric-match\nNums to Check: 0\n");
    EXPECT_TRUE(none->Check(Batch{{1}, {2}}));
    EXPECT_EQ(none->SystemMessages(), (Messages{{-2, kTooMany}}));
}

TEST_F(CheckTest, ConditionsAroundTheTolerance)
{
    struct Row {
        int32_t condition;
        float expected;
        float runtime;
        bool passes;
    };
    const Row rows[] = {
        {-1, 4, 5, true},     {-1, 4, 6, true},       {-1, 4, 7, false},    {1, 4, 5, false},
        {1, 4, 6, true},      {1, 4, 7, true},        {-1, -4, -5, true},   {-1, -4, -7, false},
        {1, -4, -7, true},    {1, -4, -5, false},     {-1, 0, 0, true},     {1, 0, 0, false},
        {0, 0, 0, true},      {0, 0, -0.0f, true},    {-1, 0, 1, false},    {1, 0, 1, true},
        {0, 1, kNan, false},  {0, kNan, kNan, false}, {-1, 4, kNan, false}, {1, 4, kNan, false},
        {-1, kNan, 4, false}, {1, kNan, 4, false},    {-1, kInf, kInf, true}, {1, 1, kInf, true},
        {-1, 1, kInf, false}, {-1, kInf, 1, false},   {1, kInf, 1, false},
    };
    ForEachRow(rows, 27, [&](const Row& row) {
        const auto validator = Make("Type: numeric-match\nThreshold: 50\nValid data\n" +
                                    std::string(zor::test::ConditionText(row.condition)) + " " +
                                    std::to_string(row.expected) + "\n");
        ASSERT_EQ(validator->Threshold(), 0.5f);
        EXPECT_EQ(validator->Check(Batch{{row.runtime}}), row.passes)
            << row.condition << ' ' << row.expected << ' ' << row.runtime;
        EXPECT_EQ(validator->SystemMessages().size(), row.passes ? 0u : 1u);
    });
}

TEST_F(CheckTest, AbsoluteToleranceAddsToTheThresholdsShareOfTheExpectedValue)
{
    struct Row {
        std::string header;
        int32_t condition;
        float expected;
        float runtime;
        bool passes;
    };
    const std::string half = "Tolerance: 0.5\n";             // 0.5 + 0% of the expected value
    const std::string mixed = "Threshold: 10\nTolerance: 0.5\n";  // 0.5 + 10%: 1.5 for 10 and -10
    const std::string wide = "Threshold: 1\nTolerance: 0.5\n";
    const Row rows[] = {
        {half, -1, 10, 10.5f, true},  // on the edge
        {half, -1, 10, 10.500001f, false},
        {half, -1, 10, 9.5f, true},
        {half, -1, 0, -0.5f, true},  // a value at 0 may move by the tolerance
        {half, 1, 10, 10.5f, true},
        {half, 1, 10, 10.25f, false},
        {half, 0, 10, 10.25f, false},  // "=" is unchanged
        {half, -1, 10, kNan, false},
        {half, 1, 10, kNan, false},
        {half, 0, kInf, kInf, true},  // equal infinities under "="
        {half, -1, kInf, kInf, false},  // an expected value that is not finite fails "<" and ">"
        {half, 1, -kInf, 45, false},
        {wide, -1, kInf, 45, false},  // 1% of inf allows inf, still no pass
        {mixed, -1, -10, -11.5f, true},
        {mixed, -1, -10, -8.4f, false},
        {mixed, 1, -10, -11.5f, true},
        {mixed, 1, -10, -11.4f, false},
    };
    ForEachRow(rows, 17, [&](const Row& row) {
        const auto validator = Make("Type: numeric-match\n" + row.header + "Valid data\n" +
                                    zor::test::ConditionText(row.condition) + " " + std::to_string(row.expected) + "\n");
        zor::test::NumericCheck check;
        CaptureOutput([&] { check = validator->CheckNumeric(Batch{{row.runtime}}); });
        EXPECT_EQ(check.passed, row.passes)
            << row.header << row.condition << ' ' << row.expected << ' ' << row.runtime;
        EXPECT_TRUE(check.hasTolerance);
        EXPECT_EQ(check.tolerance, 0.5f);
    });

    const auto validator = Make("Type: numeric-match\n" + mixed + "Valid data\n< -10 4\n");
    zor::test::NumericCheck check;
    CaptureOutput([&] { check = validator->CheckNumeric(Batch{{-12, 4}}); });
    ASSERT_EQ(check.items.size(), 1u);
    ASSERT_EQ(check.items[0].values.size(), 2u);
    EXPECT_EQ(check.items[0].values[0].difference, 2.0f);
    EXPECT_EQ(check.items[0].values[0].allowed, 1.5f);
    EXPECT_EQ(check.items[0].values[0].relativeDifference, 0.2f);
    EXPECT_FALSE(check.items[0].values[0].passed);
    EXPECT_TRUE(check.items[0].values[1].passed);
    EXPECT_EQ(validator->SystemMessages(), (Messages{{0, "Threshold exceeded. Runtime value: -12.000000 4.000000"}}));
}

TEST_F(CheckTest, RecordsEveryFailedItemWithTheDetailsOfItsValues)
{
    const auto validator = Make("Type: numeric-match\nValid data\n= 1.5 2\n= 1 2\n= 3\n= 4\n< 5\n");
    const Batch results = {{1.5f, -2}, {1, 2, 3}, {3}, {4}, {11}};
    std::string printed = CaptureOutput([&] { EXPECT_FALSE(validator->Check(results)); });
    EXPECT_EQ(printed, "Data length not match!\n");
    const Messages messages = {{0, "Threshold exceeded. Runtime value: 1.500000 -2.000000"},
                               {1, "Data length not match!"},
                               {4, "Threshold exceeded. Runtime value: 11.000000"}};
    EXPECT_EQ(validator->SystemMessages(), messages);

    zor::test::NumericCheck check;
    CaptureOutput([&] { check = validator->CheckNumeric(results); });
    EXPECT_FALSE(check.passed);
    EXPECT_EQ(check.threshold, 1.0f);  // no "Threshold" line: the default
    EXPECT_FALSE(check.hasTolerance);
    ASSERT_EQ(check.items.size(), 5u);
    for (const auto& item : check.items) {
        const auto message = messages.find(static_cast<int32_t>(item.index));
        EXPECT_EQ(item.passed, message == messages.end()) << item.index;
        EXPECT_EQ(item.message, item.passed ? "" : message->second) << item.index;
    }
    const auto& first = check.items[0].values;
    ASSERT_EQ(first.size(), 2u);
    EXPECT_TRUE(first[0].passed);
    EXPECT_EQ(first[1].expected, 2.0f);
    EXPECT_EQ(first[1].actual, -2.0f);
    EXPECT_EQ(first[1].relativeDifference, 2.0f);
    EXPECT_EQ(first[1].difference, 4.0f);
    EXPECT_EQ(first[1].allowed, 2.0f);  // the threshold's share of the expected value
    EXPECT_FALSE(first[1].passed);
    EXPECT_TRUE(check.items[1].values.empty());
    EXPECT_EQ(check.items[4].condition, -1);
    ASSERT_EQ(check.items[4].values.size(), 1u);
    EXPECT_EQ(check.items[4].values[0].relativeDifference, 1.2f);

    // A new call replaces the messages of the one before.
    EXPECT_FALSE(validator->Check(Batch{{1.5f, 2}, {1}, {3}, {4}, {5}}));
    EXPECT_EQ(validator->SystemMessages(), (Messages{{1, "Data length not match!"}}));
    EXPECT_TRUE(validator->Check(Batch{{1.5f, 2}, {1, 2}, {3}, {4}, {5}}));
    EXPECT_TRUE(validator->SystemMessages().empty());
}

TEST_F(CheckTest, StringCheckNeedsEveryResultAmongTheExpectedStrings)
{
    const auto one = Make("Type: string-match\nValid data\na\n");
    EXPECT_FALSE(one->Check(std::vector<std::string>{"a", "b", "a"}));
    EXPECT_EQ(one->SystemMessages(), (Messages{{1, "String not found. Runtime value: b"}}));
    EXPECT_FALSE(one->Check(std::vector<std::string>{"A", "a "}));
    EXPECT_EQ(one->SystemMessages().size(), 2u);
    EXPECT_TRUE(one->Check(std::vector<std::string>{}));
    EXPECT_TRUE(one->SystemMessages().empty());

    const auto two = Make("Type: string-match\nValid data\na\nb\n");
    EXPECT_TRUE(two->Check(std::vector<std::string>{"a", "b", "a"}));
    EXPECT_TRUE(two->SystemMessages().empty());
}

}  // namespace
